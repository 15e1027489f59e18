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
//    correlations, the 45 metrics of WeakSymbols, the largest wins. From the same symbol it
//    measures how far its timing (early against late) and frequency (first half against second)
//    are off and corrects both through second-order loops, which also follow a sample-clock
//    error and a drifting signal without a standing lag.
//  - The squelch averages, over the last few symbols, how far the winning metric stands above the
//    runner-up, in units of the noise power (measured on trial frequencies half-way between the
//    tones). It opens on a signal within a few symbols and then also releases the few symbols
//    that led up to the opening, so a transmission's first characters are not lost.
//
// Qt-free and allocation-free after construction (it is large: keep it on the heap).
#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <span>

#include "modem/tuning.h"
#include "rx/weak_front_end.h"
#include "rx/weak_search.h"
#include "rx/weak_symbols.h"

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
    // `out` and returns how many; a span of 8 is always enough for a call of at most 2048 samples
    // (symbols beyond the span's end are dropped).
    size_t push(std::span<const int16_t> samples, std::span<uint8_t> out);

    // Copying a signal: the squelch is open (also reported with the squelch switched off).
    bool locked() const { return open_; }
    // Where it copies: tone 5's frequency in Hz.
    double frequency_hz() const { return front_end_.reference_hz() + offset_hz_; }

    // For measurements: the squelch's statistic (see above) and the timing, in baseband samples
    // since the last reset, of the next symbol to decide.
    double confidence() const { return confidence_; }
    double next_symbol_start() const { return position_; }
    // How the symbols are being decided now.
    WeakModel model() const { return static_cast<WeakModel>(model_); }

private:
    static constexpr uint32_t kRingSamples = 16 * kWeakMaxSymbolSamples; // 16 symbols at speed 1
    static constexpr int kHeldBack = 6; // symbols held while the squelch is closed
    // The timing curve: starts half a sample apart over a trial start of the search either side
    // of the tracked one (+-32 baseband samples at speed 1, +-8 at speed 4).
    static constexpr int kMaxTimingShifts = 4 * kWeakMaxSymbolSamples / WeakSearch::kStarts + 1;
    static constexpr double kTimingStep = 0.5;

    struct Held {
        uint8_t symbol = 0;
        double statistic = 0.0;
    };

    void take(std::span<const std::complex<float>> baseband, std::span<uint8_t> out,
              std::size_t& written);
    bool ready() const;
    void search_step();
    // Returns whether the replay stopped short where a signal ended (replay_floor_).
    bool lock(const WeakSearch::Peak& peak, bool replay, int fit_latest = 0, bool anywhere = false);
    void decide(std::span<uint8_t> out, std::size_t& written);
    void check_relock();
    // The held symbols at the end that stand above the noise.
    int trailing_signal() const;
    // The squelch closed, its average and held symbols cleared.
    void restart_squelch();
    // After the front end took a carrier out: search afresh if it may have drawn the lock.
    void forget_a_carrier();
    // Where the tracker is in the search's terms, and the search's average there.
    struct Place {
        int start = 0;
        int frequency = 0;
        double value = 0.0;
    };
    Place place() const;
    void track_alias(int64_t start, double fraction,
                     const std::array<std::complex<float>, kToneCount>& z, double weight);
    std::complex<double> correlate(int64_t start, double offset_hz, uint32_t from,
                                   uint32_t to) const;
    void emit(uint8_t symbol, std::span<uint8_t> out, std::size_t& written);
    const std::complex<float>& at(int64_t index) const {
        return ring_[static_cast<std::size_t>(index) % kRingSamples];
    }

    Config config_;
    WeakSymbols symbols_;
    WeakFrontEnd front_end_;
    uint64_t notches_seen_ = 0; // the front end's carrier notches already acted on
    WeakSearch search_;
    std::array<std::complex<float>, kRingSamples> ring_{};
    std::array<std::complex<float>, kRingSamples> window_{};
    std::array<std::complex<float>, 2048 / kWeakDecimation + 1> scratch_{};
    int64_t received_ = 0;        // baseband samples so far
    int64_t next_search_ = 0;     // where the next search window ends
    double centroid_gap_s_ = 0.5; // between the weighted centres of a symbol's two halves

    // Tracker.
    bool tracking_ = false;
    bool training_ = false;    // deciding held symbols only to settle the loops
    double position_ = 0.0;    // start of the next symbol to decide, in baseband samples
    double timing_rate_ = 0.0; // baseband samples per symbol beyond the nominal length
    double offset_hz_ = 0.0;   // tone 5's frequency above the front end's reference
    double drift_hz_ = 0.0;    // per symbol
    std::array<double, kMaxTimingShifts> timing_curve_{}; // best metric / noise at each shift
    int timing_shifts_ = kMaxTimingShifts;                // in use
    // The tone correlations at whole-sample starts around the tracked one.
    std::array<std::array<std::complex<float>, kToneCount>, kMaxTimingShifts / 2 + 2> shifted_{};
    int relock_votes_ = 0;
    int timing_doubt_ = 0;        // wide pairs still to come before the timing is trusted again
    int narrow_run_ = 0;          // single tones and narrow pairs in a row
    double replayed_until_ = 0.0; // where the audio ended at the last lock
    int lock_fit_ = 0;            // symbols the last lock was fitted by
    // How well the symbols fit a tone spacing lower, where the tracker is, and higher, each
    // relative to the tracker's own fit, averaged over the last symbols by their confidence
    // (all 1 after a lock or a move: no preference yet).
    std::array<double, 3> alias_{};

    // Squelch.
    double noise_ = 0.0; // noise power per baseband sample, running average
    bool noise_known_ = false;
    double tone_noise_ = 0.0; // the same away from the decided tones (WeakLevels)
    double tone_snr_ = 0.0;   // a single tone's SNR in its correlation (WeakLevels), averaged
    // The models' margins (best - second best) / noise, averaged; the model in use.
    std::array<double, kWeakModels> model_margin_{};
    int model_ = 0;
    int margin_model_ = 0; // the best of the models chosen by their margins
    // How much of the symbols' energy the winners take in, less their freedom, in noise powers,
    // averaged: locked, tone by tone, and locked over each half on its own.
    std::array<double, 3> fit_{};
    double confidence_ = 0.0;
    bool open_ = false;
    std::array<Held, kHeldBack> held_{};
    int held_count_ = 0;
    // After a strong signal, symbols without it are held (in held_) until a clear one.
    bool muted_ = false;
    int64_t replay_floor_ = 0; // where a signal ended: no lock replays symbols before it
};

} // namespace quavel
