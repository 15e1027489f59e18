// The weak-signal receiver: a second receiver for the same air format, built to copy as close to
// what the signal allows as it can. Unlike the classic receiver it knows the transmitted
// waveforms exactly and uses them as matched filters; it finds the symbol timing and frequency
// from many symbols' worth of evidence instead of one, and follows them with loops that move
// by a fraction of a symbol at a time, so a symbol can never be decoded twice or skipped.
//
//  - WeakFrontEnd mixes the 8000 samples/s audio to complex baseband at 500 samples/s around
//    the tuned centre frequency.
//  - WeakSearch keeps, for 16 trial starts over a symbol and trial frequencies within +-24 Hz
//    of the tuned centre, a running average of the best symbol metric; its peak is where a
//    signal lies.
//  - The tracker decides one symbol per symbol length at its timing and frequency: the nine tone
//    correlations (WeakCorrelator), the noise between them (WeakNoise), the 45 metrics of
//    WeakSymbols under the model the channel suits (WeakModelChoice), the largest wins. From the
//    same symbol it measures how far its frequency (first half against second) and timing (early
//    against late) are off and corrects both through second-order loops (WeakFrequencyLoop,
//    WeakTimingLoop), which also follow a drifting signal and a sample-clock error without a
//    standing lag.
//  - The squelch (WeakSquelch) averages, over the last few symbols, how far the winning metric
//    stands above the runner-up, in units of the noise power. It opens on a signal within a few
//    symbols and then also releases the few symbols that led up to the opening, so a
//    transmission's first characters are not lost.
//  - WeakRelock moves the tracker to the search's peak when a clearly better signal lies there.
//
// Qt-free and allocation-free after construction (it is large: keep it on the heap).
#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "modem/tuning.h"
#include "rx/weak_correlator.h"
#include "rx/weak_frequency_loop.h"
#include "rx/weak_front_end.h"
#include "rx/weak_model_choice.h"
#include "rx/weak_noise.h"
#include "rx/weak_relock.h"
#include "rx/weak_search.h"
#include "rx/weak_squelch.h"
#include "rx/weak_symbols.h"
#include "rx/weak_timing_loop.h"

namespace quavel {

class WeakReceiver {
public:
    struct Config {
        uint32_t speed = 2;        // 1, 2 or 4
        CentreHz centre_hz = 1000; // where the operator tuned: tone 5's frequency
        bool squelch = true;
    };

    WeakReceiver();

    // Starts afresh at a speed and tuning: all state is forgotten.
    void reset(const Config& config);
    // The operator moved the tuning: search around `centre_hz`. A move of a few hertz onto the
    // frequency already being copied (as AFC makes) keeps the lock.
    void retune(CentreHz centre_hz);
    void set_squelch(bool on);

    // Audio at 8000 samples/s, any count. Writes the symbols decided (1..45, in air order) to
    // `out` and returns how many; a span of 8 is always enough for a call of at most 2048 samples.
    // Symbols beyond the span's end are dropped and counted in dropped().
    size_t push(std::span<const int16_t> samples, std::span<uint8_t> out);
    // Symbols decided for printing that push found no room for in `out`, since the reset.
    uint64_t dropped() const { return dropped_; }

    // Copying a signal: the squelch is open (also reported with the squelch switched off).
    bool locked() const { return squelch_.open(); }
    // Where it copies: tone 5's frequency in Hz.
    double frequency_hz() const { return front_end_.reference_hz() + frequency_.offset_hz(); }

    // For measurements: the squelch's statistic (see above) and the timing, in baseband samples
    // since the last reset, of the next symbol to decide.
    double confidence() const { return squelch_.confidence(); }
    double next_symbol_start() const { return position_; }
    // How the symbols are being decided now.
    WeakModel model() const { return model_choice_.model(); }

    // The SNR of the signal being copied, in dB in 2500 Hz (its mean power over the noise's in
    // 2500 Hz, as a spot reports it): from its symbols' energy above the noise, averaged over the
    // last 16 copied. Empty until 4 symbols of a signal have been copied, and once it is gone.
    std::optional<double> snr_db() const;

private:
    static constexpr uint32_t kRingSamples = WeakCorrelator::kRingSamples;

    void take(std::span<const std::complex<float>> baseband, std::span<uint8_t> out,
              std::size_t& written);
    bool ready() const;
    void search_step();
    // Returns whether the replay stopped short where a signal ended (replay_floor_).
    bool lock(const WeakSearch::Peak& peak, bool replay, int fit_latest = 0, bool anywhere = false);
    // One symbol at the tracker's timing and frequency: decided, the loops moved on, and what
    // the squelch lets through written to `out`.
    void decide(std::span<uint8_t> out, std::size_t& written);
    // The symbol under every model, and the one the channel suits taken.
    WeakDecision decide_models();
    // Scores the tone set a whole spacing either side and moves to one that fits better.
    void follow_alias(int64_t start, double fraction, double weight);
    // Moves the timing curve and loop on by the symbol; returns the correction to the next
    // symbol's start (baseband samples). While in doubt of the timing, `decision` may be
    // replaced by the same symbol's decision at a start nearby that fits clearly better.
    double follow_timing(int64_t start, double fraction, double statistic, double weight,
                         WeakDecision& decision);
    // Carries out what the squelch decided of a symbol.
    void apply(const WeakSquelch::Verdict& verdict, std::span<uint8_t> out, std::size_t& written);
    void check_relock();
    // While a signal that has sent text is copied, a line on one of its own tones is not taken
    // for a carrier.
    void spare_own_tones();
    // After the front end took a carrier out: search afresh if it may have drawn the lock.
    void forget_a_carrier();
    // Where the tracker is in the search's terms, and the search's average there.
    struct Place {
        int start = 0;
        int frequency = 0;
        double value = 0.0;
    };
    Place place() const;
    void emit(uint8_t symbol, std::span<uint8_t> out, std::size_t& written);

    Config config_;
    WeakSymbols symbols_;
    WeakFrontEnd front_end_;
    uint64_t notches_seen_ = 0; // the front end's carrier notches already acted on
    WeakSearch search_;
    WeakCorrelator correlator_; // the baseband ring
    std::array<std::complex<float>, kRingSamples> window_{};
    std::array<std::complex<float>, 2048 / kWeakDecimation + 1> scratch_{};
    int64_t next_search_ = 0;     // where the next search window ends
    double centroid_gap_s_ = 0.5; // between the weighted centres of a symbol's two halves

    // Tracker.
    bool tracking_ = false;
    bool training_ = false; // deciding held symbols only to settle the loops
    double position_ = 0.0; // start of the next symbol to decide, in baseband samples
    WeakFrequencyLoop frequency_;
    WeakAliasWatch alias_;
    WeakTimingLoop timing_;
    WeakTimingDoubt timing_doubt_;
    WeakRelock relock_;
    double replayed_until_ = 0.0; // where the audio ended at the last lock
    double fitted_until_ = 0.0;   // where the symbols the last lock was fitted by end
    int lock_fit_ = 0;            // symbols of a signal the last lock was fitted by
    int64_t replay_floor_ = 0;    // where a signal ended: no lock replays symbols before it

    // The symbol being decided, kept here so that nothing is built per symbol.
    WeakToneCorrelations tones_;
    WeakBetweenTones between_{};
    // Its tone correlations at whole-sample starts around the tracked one.
    std::array<std::array<std::complex<float>, kToneCount>, WeakTimingLoop::kMaxShifts / 2 + 2>
        shifted_{};

    WeakNoise noise_;
    WeakModelChoice model_choice_;
    WeakSquelch squelch_;
    uint64_t dropped_ = 0;
    // The symbols the open squelch has printed (bit s - 1 for symbol s). Two symbols other than
    // the idle show that what it copies is a signal: a steady carrier is copied as one symbol
    // over and over (the idle, or a single tone off the middle), and its line must not be
    // spared.
    uint64_t printed_ = 0;
    bool printed_text() const;
    // The copied symbols' energy above the noise, in noise powers, averaged (snr_db()), against
    // the power three spacings below tone 1 and above tone 9, averaged, where even a strong
    // signal's skirts have faded (the quieter side: a neighbour may lie on the other).
    double snr_above_ = 0.0;
    int snr_symbols_ = 0;
    std::array<double, 2> snr_far_{};
    int snr_far_symbols_ = 0;
};

} // namespace quavel
