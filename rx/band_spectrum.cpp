#include "rx/band_spectrum.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "rx/fft.h"

namespace quavel {

namespace {

// The average's memory, in spectra (6 s): long enough that a station at its weakest copyable
// level stands clear of the noise's own scatter, short enough to find it within a few seconds.
constexpr double kAverageFrames = 24.0;
// The floor around a frequency is a low quantile of the averaged bins within kFloorSpanHz of it,
// taken every kFloorStepBins and interpolated between. A low quantile keeps the floor on the noise
// where stations fill part of the span; kFloorBias is where that quantile of the averaged noise
// lies against its mean (set by the spread of an average over kAverageFrames half-overlapping
// spectra), so that the floor reads the noise's mean power.
constexpr double kFloorSpanHz = 250.0;
constexpr int kFloorStepBins = 16;
constexpr double kFloorQuantile = 0.3;
constexpr double kFloorBias = 0.90;
// Tone spacings: 8 Hz at 1 and 2 Quavel/sec, 16 Hz at 4.
constexpr std::array<double, 2> kSpacingsHz = {8.0, 16.0};
// Tone sets reach this far either side of tone 5 (four 16 Hz spacings, and the bins a spacing
// beyond that are looked at too).
constexpr double kReachHz = 88.0;
// The most a tone counts for, in median tones.
constexpr double kToneCap = 3.0;
// How much the energy a spacing beyond either end of a tone set counts against it: a set one
// spacing off a station loses one of its tones and pays for it twice over.
constexpr double kBeyondWeight = 2.0;

int bin_of(double hz) {
    return static_cast<int>(std::lround(hz / BandSpectrum::kBinHz));
}

} // namespace

BandSpectrum::BandSpectrum() {
    for (uint32_t i = 0; i < kSize; ++i)
        window_[i] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / kSize));
    reset(from_hz_, to_hz_);
}

void BandSpectrum::reset(double from_hz, double to_hz) {
    from_hz_ = std::clamp(std::min(from_hz, to_hz), kReachHz + 8.0, 4000.0 - kReachHz - 8.0);
    to_hz_ = std::clamp(std::max(from_hz, to_hz), from_hz_, 4000.0 - kReachHz - 8.0);
    input_.fill(0);
    filled_ = 0;
    since_hop_ = 0;
    latest_.fill(0.0f);
    average_.fill(0.0f);
    floor_.fill(0.0f);
    profile_.fill(0.0f);
    frames_ = 0;
}

std::size_t BandSpectrum::push(std::span<const int16_t> samples) {
    std::size_t made = 0;
    for (const int16_t s : samples) {
        // input_ is a ring: the oldest sample sits where the next one goes.
        input_[filled_ % kSize] = s;
        ++filled_;
        if (filled_ == 2 * kSize) filled_ = kSize;
        if (++since_hop_ < kHop) continue;
        since_hop_ = 0;
        if (filled_ < kSize) continue;
        analyse();
        ++made;
    }
    return made;
}

void BandSpectrum::analyse() {
    const uint32_t oldest = filled_ % kSize;
    double window_power = 0.0;
    for (uint32_t i = 0; i < kSize; ++i) {
        const float w = window_[i];
        window_power += static_cast<double>(w) * w;
        fft_[2 * i + 1] = w * static_cast<float>(input_[(oldest + i) % kSize]) / 32768.0f;
        fft_[2 * i + 2] = 0.0f;
    }
    fft_forward(fft_, kSize);
    // Scaled so that white noise of variance v reads v in every bin.
    const double scale = 1.0 / window_power;
    const double memory = std::min(static_cast<double>(frames_ + 1), kAverageFrames);
    for (uint32_t k = 0; k < kBins; ++k) {
        const double re = fft_[2 * k + 1];
        const double im = fft_[2 * k + 2];
        latest_[k] = static_cast<float>((re * re + im * im) * scale);
        average_[k] += static_cast<float>((latest_[k] - average_[k]) / memory);
    }
    ++frames_;
    update_floor();

    profile_.fill(0.0f);
    if (frames_ < kWarmUpFrames) return;
    const int from = bin_of(from_hz_);
    const int to = bin_of(to_hz_);
    for (int c = from; c <= to; ++c) {
        double best = 0.0;
        for (const double spacing : kSpacingsHz)
            best = std::max(best, excess_at(c, spacing));
        profile_[static_cast<std::size_t>(c)] = static_cast<float>(best);
    }
}

void BandSpectrum::update_floor() {
    const int lo = std::max(1, bin_of(from_hz_ - kReachHz - kFloorSpanHz));
    const int hi = std::min(static_cast<int>(kBins) - 1, bin_of(to_hz_ + kReachHz + kFloorSpanHz));
    const int span = bin_of(kFloorSpanHz);
    // The floor at every kFloorStepBins-th bin, then a straight line between them.
    int previous = -1;
    float previous_value = 0.0f;
    for (int c = lo;; c = std::min(c + kFloorStepBins, hi)) {
        const int a = std::max(lo, c - span);
        const int b = std::min(hi, c + span);
        const auto first = average_.begin() + a;
        const auto count = static_cast<std::size_t>(b - a + 1);
        std::copy(first, first + static_cast<std::ptrdiff_t>(count), sorted_.begin());
        const auto nth = sorted_.begin() +
                         static_cast<std::ptrdiff_t>(kFloorQuantile * static_cast<double>(count));
        std::nth_element(sorted_.begin(), nth,
                         sorted_.begin() + static_cast<std::ptrdiff_t>(count));
        const float value = static_cast<float>(*nth / kFloorBias);
        if (previous < 0) {
            for (int k = 0; k <= c; ++k)
                floor_[static_cast<std::size_t>(k)] = value;
        } else {
            for (int k = previous + 1; k <= c; ++k) {
                const float t = static_cast<float>(k - previous) / static_cast<float>(c - previous);
                floor_[static_cast<std::size_t>(k)] = previous_value + t * (value - previous_value);
            }
        }
        previous = c;
        previous_value = value;
        if (c == hi) break;
    }
    for (int k = hi + 1; k < static_cast<int>(kBins); ++k)
        floor_[static_cast<std::size_t>(k)] = previous_value;
}

double BandSpectrum::excess_at(int centre_bin, double spacing_hz) const {
    // A station spreads its energy over all nine tones; a carrier, or the edge of a strong
    // neighbour that two or three of the tones happen to meet, puts it in a few. So each tone
    // counts for at most kToneCap times the median tone. A tone set placed a spacing or more off
    // a station has one of the station's tones just beyond its ends, where a set in the right
    // place has noise: up to a median tone's worth there counts against it.
    const double centre_hz = centre_bin * kBinHz;
    const auto above = [&](int n, double& noise) {
        const int k = bin_of(centre_hz + n * spacing_hz);
        double energy = 0.0;
        noise = 0.0;
        for (int j = k - 1; j <= k + 1; ++j) {
            energy += average_[static_cast<std::size_t>(j)];
            noise += floor_[static_cast<std::size_t>(j)];
        }
        return energy - noise;
    };
    std::array<double, 9> tones{};
    double noise = 0.0;
    for (int n = -4; n <= 4; ++n) {
        double f = 0.0;
        tones[static_cast<std::size_t>(n + 4)] = above(n, f);
        noise += f;
    }
    if (noise <= 0.0) return 0.0;
    std::array<double, 9> sorted = tones;
    std::nth_element(sorted.begin(), sorted.begin() + 4, sorted.end());
    const double median = std::max(0.0, sorted[4]);
    double sum = 0.0;
    for (const double t : tones)
        sum += std::min(t, kToneCap * median);
    double beyond = 0.0;
    for (const int n : {-5, 5}) {
        double f = 0.0;
        beyond += std::clamp(above(n, f), 0.0, median);
    }
    return std::max(0.0, (sum - kBeyondWeight * beyond) / noise);
}

double BandSpectrum::excess(double centre_hz) const {
    const int c = bin_of(centre_hz);
    if (frames_ < kWarmUpFrames || c < bin_of(from_hz_) || c > bin_of(to_hz_)) return 0.0;
    return profile_[static_cast<std::size_t>(c)];
}

BandSpectrum::Peak BandSpectrum::strongest(double threshold, std::span<const Taken> taken,
                                           double from_hz, double to_hz) const {
    Peak best;
    if (frames_ < kWarmUpFrames) return best;
    threshold = raised(threshold);
    const int from = std::max(bin_of(from_hz_), bin_of(from_hz));
    const int to = std::min(bin_of(to_hz_), bin_of(to_hz));
    for (int c = from; c <= to; ++c) {
        const double value = profile_[static_cast<std::size_t>(c)];
        if (value < threshold || value <= best.excess) continue;
        const double hz = c * kBinHz;
        if (std::any_of(taken.begin(), taken.end(),
                        [&](const Taken& t) { return std::abs(t.hz - hz) < t.apart_hz; }))
            continue;
        best = {.centre_hz = hz, .excess = value};
    }
    return best;
}

} // namespace quavel

namespace quavel {

double BandSpectrum::raised(double threshold) const {
    // A younger average scatters more, and its largest excess over the whole band much more.
    return threshold * kAverageFrames / std::min(static_cast<double>(frames_), kAverageFrames);
}

} // namespace quavel
