#include "rx/carrier_canceller.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quavel {

namespace {

// Lines are looked for out to where the front end's low-pass is 6 dB down: a strong carrier
// beyond the tones still leaks into the receiver's short part-symbol correlations, draws its
// lock and opens its squelch. The noise floor they are measured against is taken where the
// low-pass is flat, so that its skirt does not pull the floor down.
constexpr double kFloorHz = 100.0;
constexpr double kReachHz = 230.0;
constexpr float kAboveFloor = 316.0f;     // a line 25 dB above the median bin
constexpr float kKeptAboveFloor = 100.0f; // a notched line, 20 dB above it
constexpr float kSidebandBelow = 0.02f;   // sidebands 17 dB under the line at most
constexpr double kSymbolRates[] = {1.0, 2.0, 4.0};
constexpr double kSameLineHz = 0.5;
constexpr int kDropAfter = 8;   // looks (two seconds)
constexpr double kGain = 0.005; // the notch's amplitude step: about 0.4 Hz wide at 500/s
constexpr double kFrequencyGain = kGain * kGain / 4.0;
constexpr double kRetuneHz = 5.0; // moves larger than AFC's start the history afresh

} // namespace

CarrierCanceller::CarrierCanceller(double rate_hz) : rate_hz_(rate_hz) {
    for (uint32_t i = 0; i < kWindow; ++i)
        window_[i] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / kWindow));
    reset();
}

void CarrierCanceller::set_symbol_rate(double per_second) {
    symbol_rate_ = per_second;
    // Two symbols, so that the sidebands at the symbol rate fall on the window's second zeros.
    first_window_ = 1024;
    if (per_second > 0.0) {
        const double wanted = 2.0 * rate_hz_ / per_second;
        while (first_window_ > 64 && first_window_ / 2 >= wanted)
            first_window_ /= 2;
    }
}

void CarrierCanceller::reset() {
    head_ = 0;
    filled_ = 0;
    since_look_ = 0;
    made_ = 0;
    last_made_hz_ = 0.0;
    taken_ = 0;
    last_made_at_ = 0;
    last_made_line_ = {};
    moved_hz_ = 0.0;
    turn_ = 0.0;
    turn_step_ = 0.0;
    notches_ = {};
    candidates_ = {};
    spared_count_ = 0;
}

void CarrierCanceller::shift(double hz) {
    for (Notch& n : notches_)
        n.omega += 2.0 * std::numbers::pi * hz / rate_hz_;
    moved_hz_ += hz;
    if (std::abs(hz) > kRetuneHz) {
        filled_ = 0;
        since_look_ = 0;
        candidates_ = {};
        moved_hz_ = 0.0;
    }
    turn_step_ = -2.0 * std::numbers::pi * moved_hz_ / rate_hz_;
}

std::complex<float> CarrierCanceller::take(std::complex<float> x) {
    turn_ = std::remainder(turn_ + turn_step_, 2.0 * std::numbers::pi);
    history_[head_] = std::complex<float>(std::complex<double>(x) * std::polar(1.0, turn_));
    head_ = (head_ + 1) % kWindow;
    filled_ = std::min(filled_ + 1, kWindow);
    if (++since_look_ >= kHop && filled_ >= first_window_) {
        since_look_ = 0;
        look();
    }
    std::complex<double> y(x);
    for (Notch& n : notches_) {
        if (!n.active) continue;
        const std::complex<double> predicted = n.carrier * std::polar(1.0, n.omega);
        const std::complex<double> error = y - predicted;
        n.carrier = predicted + kGain * error;
        n.omega +=
            kFrequencyGain * (error * std::conj(predicted)).imag() / (std::norm(predicted) + 1e-12);
        y = error;
    }
    ++taken_;
    return std::complex<float>(y);
}

int CarrierCanceller::notches() const {
    return static_cast<int>(
        std::count_if(notches_.begin(), notches_.end(), [](const Notch& n) { return n.active; }));
}

double CarrierCanceller::notch_hz(int i) const {
    for (const Notch& n : notches_) {
        if (n.active && i-- == 0) return n.omega * rate_hz_ / (2.0 * std::numbers::pi);
    }
    return 0.0;
}

std::complex<double> CarrierCanceller::amplitude_at(double hz, uint32_t length) const {
    const double omega = 2.0 * std::numbers::pi * hz / rate_hz_;
    const uint32_t step = kWindow / length; // the Hann window of `length` from the long one
    std::complex<double> sum{};
    double weight = 0.0;
    for (uint32_t i = 0; i < length; ++i) {
        const std::complex<double> x(history_[(head_ + kWindow - length + i) % kWindow]);
        const double w = window_[i * step];
        sum += w * x * std::polar(1.0, -omega * i);
        weight += w;
    }
    // Turned on to the newest sample and back from the history's frame into the baseband's.
    return sum / weight * std::polar(1.0, omega * (length - 1) - turn_);
}

double CarrierCanceller::refine(double hz, uint32_t length, double bin_hz) const {
    // The parabola through three bins leans towards the larger neighbour (the window's main
    // lobe is not a parabola in log power); measured directly a quarter of a bin either side,
    // twice over, a line's peak is found to a few thousandths of a bin.
    for (double step = bin_hz / 4.0; step > bin_hz / 32.0; step /= 4.0) {
        const double a = std::log(std::norm(amplitude_at(hz - step, length)) + 1e-30);
        const double b = std::log(std::norm(amplitude_at(hz, length)) + 1e-30);
        const double c = std::log(std::norm(amplitude_at(hz + step, length)) + 1e-30);
        const double curve = a - 2.0 * b + c;
        if (curve >= 0.0) break;
        hz += step * std::clamp(0.5 * (a - c) / curve, -1.0, 1.0);
    }
    return hz;
}

void CarrierCanceller::look() {
    uint32_t length = first_window_;
    while (length * 2 <= filled_)
        length *= 2;
    const uint32_t step = kWindow / length;
    for (uint32_t i = 0; i < length; ++i)
        spectrum_[i] = history_[(head_ + kWindow - length + i) % kWindow] * window_[i * step];
    fft_.forward(std::span(spectrum_.data(), length));
    const double bin_hz = rate_hz_ / length;
    const auto within = [&](std::size_t k, double hz) {
        const auto bins =
            std::min<std::size_t>(static_cast<std::size_t>(hz / bin_hz), length / 2 - 1);
        return k <= bins || k >= length - bins;
    };
    const auto inside = [&](std::size_t k) { return within(k, kReachHz); };
    std::size_t counted = 0;
    for (std::size_t k = 0; k < length; ++k) {
        power_[k] = std::norm(spectrum_[k]);
        if (within(k, kFloorHz)) sorted_[counted++] = power_[k];
    }
    const auto middle = sorted_.begin() + static_cast<std::ptrdiff_t>(counted / 2);
    std::nth_element(sorted_.begin(), middle,
                     sorted_.begin() + static_cast<std::ptrdiff_t>(counted));
    const float floor = std::max(*middle, 1e-20f);

    for (Notch& n : notches_)
        ++n.missed;
    std::array<Candidate, kMaxNotches> seen{};
    int found = 0;
    for (std::size_t k = 0; k < length && found < kMaxNotches; ++k) {
        if (!inside(k)) continue;
        const float p = power_[k];
        const float before = power_[(k + length - 1) % length];
        const float after = power_[(k + 1) % length];
        if (p < kKeptAboveFloor * floor || p < before || p <= after) continue;
        // The line's frequency between the bins, from the parabola through the log powers.
        const double a = std::log(std::max(before, 1e-30f));
        const double b = std::log(p);
        const double c = std::log(std::max(after, 1e-30f));
        const double curve = a - 2.0 * b + c;
        const double delta = curve < 0.0 ? std::clamp(0.5 * (a - c) / curve, -0.5, 0.5) : 0.0;
        const double index = k < length / 2 ? double(k) : double(k) - double(length);
        const double hz = refine((index + delta) * bin_hz, length, bin_hz);
        if (std::any_of(
                spared_.begin(), spared_.begin() + static_cast<std::ptrdiff_t>(spared_count_),
                [&](double t) { return std::abs(t - (hz + moved_hz_)) < spared_width_hz_; }))
            continue;
        // A line already notched is kept while it stands out, whatever lies beside it: a signal
        // that comes up around a carrier puts its own energy where the carrier's sidebands
        // would be.
        bool known = false;
        for (Notch& n : notches_) {
            const double notch_at = n.omega * rate_hz_ / (2.0 * std::numbers::pi) - moved_hz_;
            if (n.active && std::abs(notch_at - hz) < kSameLineHz) {
                n.missed = 0;
                known = true;
                n.omega = 2.0 * std::numbers::pi * (hz + moved_hz_) / rate_hz_;
            }
        }
        if (known || p < kAboveFloor * floor) continue;
        // Nothing at the symbol rates either side, measured where they fall (the window's zeros
        // lie a whole number of bins from a pure line, so a carrier leaves nothing there).
        const double line = std::norm(amplitude_at(hz, length));
        bool sidebands = false;
        for (const double rate : kSymbolRates) {
            if (symbol_rate_ > 0.0 && rate != symbol_rate_ && rate != 2.0 * symbol_rate_) continue;
            for (const double side : {hz - rate, hz + rate})
                sidebands =
                    sidebands || std::norm(amplitude_at(side, length)) > kSidebandBelow * line;
        }
        if (sidebands) continue;
        seen[static_cast<std::size_t>(found++)] = {hz, true};
    }
    for (Notch& n : notches_)
        if (n.active && n.missed >= kDropAfter) n = Notch{};
    // A line seen in two looks in a row gets a notch where there is room.
    for (const Candidate& s : seen) {
        if (!s.valid) continue;
        const bool again =
            std::any_of(candidates_.begin(), candidates_.end(), [&](const Candidate& c) {
                return c.valid && std::abs(c.hz - s.hz) < kSameLineHz;
            });
        if (!again) continue;
        for (Notch& n : notches_) {
            if (n.active) continue;
            const double omega = 2.0 * std::numbers::pi * (s.hz + moved_hz_) / rate_hz_;
            // The spectrum's newest sample is the one about to pass the notches, which predict
            // each sample from the one before: the carrier is turned back a sample.
            n = Notch{true, omega, amplitude_at(s.hz, length) * std::polar(1.0, -omega), 0};
            last_made_line_ = {n.carrier, omega, filled_ - 1};
            ++made_;
            last_made_hz_ = s.hz + moved_hz_;
            last_made_at_ = taken_;
            break;
        }
    }
    candidates_ = seen;
}

void CarrierCanceller::spare(std::span<const double> hz, double width_hz) {
    spared_count_ = std::min(hz.size(), spared_.size());
    std::copy(hz.begin(), hz.begin() + static_cast<std::ptrdiff_t>(spared_count_), spared_.begin());
    spared_width_hz_ = width_hz;
}

} // namespace quavel
