// Steady carriers taken out of the weak-signal receiver's baseband before it looks for a signal:
// a carrier in the passband matches a single-tone symbol at every moment, so left in, it draws
// the search and the squelch to itself and outweighs the tone it sits near.
//
// Every half second a spectrum of the last four seconds (0.24 Hz bins) is searched for lines far
// above the noise floor with nothing at 1, 2 or 4 Hz either side. A symbol of the mode is a tone
// under a bell one symbol long, so even a tone repeated symbol after symbol (as the idle is)
// carries sidebands at the symbol rate, 6 dB down; a carrier has none. A line found twice in a
// row gets a notch: a narrow adaptive filter that follows the carrier's amplitude, phase and
// frequency and subtracts it, taking a fraction of a hertz from what is next to it. A notch whose
// line has not been seen for two seconds is dropped.
//
// Allocation-free after construction.
#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <span>

#include "rx/weak_fft.h"

namespace quavel {

class CarrierCanceller {
public:
    static constexpr uint32_t kWindow = 2048; // the most samples a spectrum spans
    static constexpr uint32_t kHop = 125;     // samples between spectra
    static constexpr int kMaxNotches = 4;

    explicit CarrierCanceller(double rate_hz);

    void reset();
    // The mode's symbol rate where it is known (1, 2 or 4 a second; 0: any of them). Known, a
    // spectrum need span only two symbols to tell a carrier from a repeated symbol, so the first
    // look comes sooner (half a second at 4 a second). Takes effect at the next reset.
    void set_symbol_rate(double per_second);
    // The baseband moved by `hz` (the front end's reference moved the other way): the notches
    // follow. The history behind the spectrum is kept in a frame that does not move, so AFC's
    // small steps do not delay finding a carrier; a move of more than a few hertz (the operator
    // retuning) starts it afresh.
    void shift(double hz);

    std::complex<float> take(std::complex<float> x);

    // Frequencies (Hz, in the frame of last_made_hz()) where a line is not taken for a carrier,
    // within `width_hz`: the tones of a signal being copied. A strong signal can send one tone
    // often enough that its sidebands fall below the test for a while, and notching it would
    // cut the signal; a carrier between its tones is still taken out. At most kToneCount
    // frequencies are kept; an empty span spares nothing.
    void spare(std::span<const double> hz, double width_hz);

    // The notches in place, for tests and displays: how many, and each one's frequency in Hz.
    int notches() const;
    double notch_hz(int i) const;
    // Notches made since the last reset, and where the last one was made (Hz).
    uint64_t notches_made() const { return made_; }
    double last_made_hz() const { return last_made_hz_; }
    // Samples taken since the last reset, and how many had been taken before the sample the
    // last notch was first applied to: what came out before it still has that carrier.
    uint64_t taken() const { return taken_; }
    uint64_t last_made_at() const { return last_made_at_; }
    // The last notch's carrier as it was first measured: its complex amplitude in the sample
    // before the one at last_made_at(), turning by `omega` radians a sample, and how many samples
    // up to that one the measurement spanned. A reader that kept what came out before the notch
    // can take the same carrier out of it.
    struct Line {
        std::complex<double> amplitude{};
        double omega = 0.0;
        uint32_t span = 0;
    };
    const Line& last_made_line() const { return last_made_line_; }

private:
    struct Notch {
        bool active = false;
        double omega = 0.0; // radians per sample
        std::complex<double> carrier{};
        int missed = 0;   // looks in a row without its line
        uint32_t age = 0; // samples since it was made
    };
    struct Candidate {
        double hz = 0.0;
        bool valid = false;
    };

    void look();
    // The windowed amplitude at `hz` over the last `length` samples (turned on to the newest).
    std::complex<double> amplitude_at(double hz, uint32_t length) const;
    // A line's frequency near `hz` to a small fraction of a bin.
    double refine(double hz, uint32_t length, double bin_hz) const;

    double rate_hz_;
    double symbol_rate_ = 0.0;
    uint32_t first_window_ = 1024; // the shortest spectrum, before the history is full
    WeakFft fft_;
    std::array<std::complex<float>, kWindow> history_{};
    std::array<std::complex<float>, kWindow> spectrum_{};
    std::array<float, kWindow> power_{};
    std::array<float, kWindow> sorted_{};
    std::array<float, kWindow> window_{};
    uint32_t head_ = 0;
    uint32_t filled_ = 0;
    uint32_t since_look_ = 0;
    double moved_hz_ = 0.0; // the baseband's moves since the history's frame was set
    double turn_ = 0.0;     // the rotation of the newest sample into that frame, radians
    double turn_step_ = 0.0;
    uint64_t made_ = 0;
    double last_made_hz_ = 0.0;
    uint64_t taken_ = 0;
    uint64_t last_made_at_ = 0;
    Line last_made_line_{};
    std::array<Notch, kMaxNotches> notches_{};
    std::array<double, 9> spared_{};
    std::size_t spared_count_ = 0;
    double spared_width_hz_ = 0.0;
    std::array<Candidate, kMaxNotches> candidates_{}; // lines seen once, last look
};

} // namespace quavel
