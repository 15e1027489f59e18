// One place of the band-activity receiver: while it is being tried, three weak-signal receivers
// (one per speed) copy it side by side and keep what they decide; once one of them holds a
// signal and clearly outscores the other two, that speed is the station's, its kept symbols
// print and only its receiver runs on. The text is cut into lines for the listener.
//
// Made once (it holds three receivers: keep it on the heap), opened and closed many times.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "interfaces/text_pane.h"
#include "rx/band_receiver.h"
#include "rx/decoder.h"
#include "rx/weak_receiver.h"

namespace quavel {

class BandChannel : private TextSink {
public:
    // Symbols a receiver must have copied of a signal before its speed can be taken.
    static constexpr uint32_t kSpeedSymbols = 4;
    // How far its squelch statistic must stand above each other speed's.
    static constexpr double kSpeedLead = 1.5;
    // A place is given up when no speed took it within this much audio.
    static constexpr double kTrialS = 20.0;
    // Pairs of symbols (not both idle) that tell whether a receiver gives each symbol twice, and
    // the share of equal pairs that says it does.
    static constexpr int kPairsToTell = 2;
    static constexpr double kDoubledShare = 0.4;
    // Spectra the tone set's place must have held still for (0.75 s), and how near a receiver
    // must copy to it, in tone spacings.
    static constexpr int kSteadySpectra = 3;
    static constexpr double kNearSpacings = 0.75;

    BandChannel();
    ~BandChannel() override;
    BandChannel(const BandChannel&) = delete;
    BandChannel& operator=(const BandChannel&) = delete;

    // Starts trying the place with tone 5 at `centre_hz`, the audio given next beginning at
    // `start_s` seconds into the band's audio.
    void open(uint32_t id, double centre_hz, double start_s, bool squelch);
    void close() { open_ = false; }
    bool is_open() const { return open_; }
    bool trying() const { return open_ && station_.speed == 0; }
    // One of its receivers holds a signal now.
    bool holding() const;

    // Where the spectrum now shows the tone set of the place being tried (once per spectrum).
    // A speed is taken only once that has held still for a while, and only for a receiver that
    // copies there: a receiver can lock a few spacings off a station and copy garbage steadily.
    void guide(double peak_hz);

    // The audio following what it was given, at most 2048 samples, ending `end_s` seconds in.
    void push(std::span<const int16_t> samples, double end_s, BandListener& listener);
    // Hands the unfinished line to the listener (nothing if it is empty).
    void end_line(BandListener& listener);

    const BandStation& station() const { return station_; }
    double opened_s() const { return opened_s_; }
    // Where it was opened: tone 5's frequency its receivers search around.
    double place_hz() const { return place_hz_; }
    // Audio time its speed was found.
    double chosen_s() const { return chosen_s_; }
    // Audio time the receiver last held the signal (the time it was opened until then).
    double locked_s() const { return locked_s_; }
    // Audio time up to which this place's audio has been given.
    double fed_s() const { return fed_s_; }
    // Unfinished line's length and where its last character arrived.
    std::size_t line_length() const { return line_.size(); }

private:
    void insert(std::string_view text) override; // the decoder's characters
    // Receiver i holds a signal of its own speed, as far as can be told yet.
    bool candidate(std::size_t i) const;
    // Receiver i (speed 2 or 4) copies a signal of a slower speed: it gives each symbol twice.
    bool too_fast(std::size_t i) const;
    bool told_not_too_fast(std::size_t i) const;
    enum class Pairs { untold, equal, unequal };
    Pairs pairs_equal(std::size_t i) const;
    void choose(std::size_t speed_index, BandListener& listener);
    void print(uint8_t symbol);

    static constexpr std::size_t kKept = 256; // symbols kept per speed while trying

    std::array<std::unique_ptr<WeakReceiver>, 3> receivers_;
    std::array<std::array<uint8_t, kKept>, 3> kept_{};
    std::array<std::size_t, 3> kept_count_{};
    std::array<uint32_t, 3> held_symbols_{}; // symbols copied since each receiver last locked
    std::size_t chosen_ = 0;                 // the receiver that runs once the speed is found
    bool open_ = false;
    BandStation station_;
    double opened_s_ = 0.0;
    double place_hz_ = 0.0;
    double peak_hz_ = 0.0; // the spectrum's latest word on where the tone set lies
    int steady_ = 0;       // spectra it has held still for
    double chosen_s_ = 0.0;
    double locked_s_ = 0.0;
    double fed_s_ = 0.0;
    DecoderState decoder_;
    BandListener* listener_ = nullptr; // while a push prints
    std::string line_;
    BandStation line_station_; // as it was when the line's latest character came
};

} // namespace quavel
