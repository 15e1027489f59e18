// Band activity: every station of the mode in a stretch of the passband copied at once, each at
// its own speed, found without being told where or how fast.
//
//  - BandSpectrum watches the whole stretch: a power spectrum of the audio every 256 ms, averaged
//    over a few seconds and set against the noise floor around it, and finds where the energy of
//    a tone set stands above that floor and no station is being copied yet.
//  - There a BandChannel is opened: three weak-signal receivers, one per speed, tuned to the
//    place and fed the last seconds of audio again (the history is kept), so what the station sent
//    before it was found is copied too. The speed whose receiver locks and clearly outscores the
//    others is the station's; its held symbols print and the other two receivers are let go.
//  - Each station's text is cut into lines (a pause of 3 s, 60 characters, a line break or the
//    end) and handed to a BandListener with the station's frequency, speed and SNR, as it comes.
//  - A place where no receiver locked is left alone for a while; a station silent for a while is
//    dropped, and two channels that come to copy the same signal are merged into the older one.
//
// Qt-free. Every channel and buffer is made once, by the constructor; nothing is allocated while
// receiving apart from a station's line text, which is reserved ahead. Large: keep it on the heap.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "rx/band_spectrum.h"

namespace quavel {

class BandChannel;

struct BandConfig {
    double from_hz = 200.0; // the stretch copied: where tone 5 of a station may lie
    double to_hz = 2800.0;
    bool squelch = true; // the weak receivers' squelch (off only for measurements)
};

// A station being copied (or, while `speed` is 0, a place being tried).
struct BandStation {
    uint32_t id = 0;              // from 1, never reused within a reset
    double freq_hz = 0.0;         // tone 5's audio frequency
    uint32_t speed = 0;           // 1, 2 or 4 once found; 0 while still being tried
    bool locked = false;          // its receiver holds the signal now
    double heard_s = 0.0;         // audio time of its latest character
    std::optional<double> snr_db; // in 2500 Hz, while locked
};

// A line of a station's text, ended.
struct BandLine {
    const BandStation& station; // as it was when the line's last character came
    double time_s = 0.0;        // seconds into the audio where the line ended
    std::string_view text;      // without the line break
};

class BandListener {
public:
    virtual ~BandListener() = default;
    // Characters of a station as they print (its speed is known by then).
    virtual void text(const BandStation& station, std::string_view text) {
        (void)station;
        (void)text;
    }
    // A line of a station's text ended (see above).
    virtual void line(const BandLine& line) { (void)line; }
    // A station is no longer copied (silent a while, or found to be another's signal).
    virtual void gone(uint32_t station_id) { (void)station_id; }
};

class BandReceiver {
public:
    static constexpr std::size_t kMaxChannels = 24; // stations and places tried at once
    static constexpr std::size_t kLineCharacters = 60;
    static constexpr double kLinePauseS = 3.0;
    static constexpr double kHistoryS =
        12.0; // audio kept to copy a station from before it was found

    BandReceiver();
    ~BandReceiver();
    BandReceiver(const BandReceiver&) = delete;
    BandReceiver& operator=(const BandReceiver&) = delete;

    // Starts afresh on a stretch of the passband (from_hz < to_hz, both within 100..3900 Hz; other
    // values are held to it): every station is forgotten, without being told gone.
    void reset(const BandConfig& config);
    const BandConfig& config() const { return config_; }

    // Audio at 8000 samples/s, any count; what it completes goes to `listener` before it returns.
    void push(std::span<const int16_t> samples, BandListener& listener);
    // The audio has ended: every station's unfinished line goes out.
    void finish(BandListener& listener);

    // The stations being copied now (places still being tried left out), lowest frequency first.
    // Valid until the next push, finish or reset.
    std::span<const BandStation> stations() const;
    // The whole stretch's spectrum, for a waterfall.
    const BandSpectrum& spectrum() const { return spectrum_; }
    // Seconds of audio received since the reset.
    double time_s() const { return static_cast<double>(samples_) / 8000.0; }

private:
    // One stretch of audio of at most one spectrum hop, ending on a hop.
    void take(std::span<const int16_t> samples, BandListener& listener);
    void open_channels(BandListener& listener);
    void close_channels(BandListener& listener);
    // The places a new or moved trial keeps away from, in taken_: the stations, and (with
    // `rested`) the places resting.
    void list_taken(bool rested);
    // Moves each place being tried to where the spectrum shows its tone set really lies, as the
    // average sees more of it, and tells the trial where that is.
    void recentre(BandListener& listener);
    // Gives a newly opened channel the audio kept since `from_s`.
    void replay(BandChannel& channel, double from_s, BandListener& listener);
    void list_stations();

    BandConfig config_;
    BandSpectrum spectrum_;
    std::vector<std::unique_ptr<BandChannel>> channels_; // kMaxChannels, made once
    std::vector<int16_t> history_;                       // ring of the latest kHistoryS of audio
    uint64_t samples_ = 0;
    uint32_t next_id_ = 1;
    std::vector<BandStation> listed_;
    // Places where no receiver locked, or a station was copied until it went silent: not tried
    // again until `until_s`, and then only with the audio after `heard_s` (no line twice).
    struct Rested {
        double freq_hz = 0.0;
        double until_s = 0.0;
        double heard_s = 0.0;
    };
    std::vector<Rested> rested_;             // at most kMaxChannels * 2, reserved
    std::vector<BandSpectrum::Taken> taken_; // scratch: where a new channel must keep away from
};

} // namespace quavel
