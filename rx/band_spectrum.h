// The band-activity receiver's view of the whole stretch it copies: a power spectrum of the audio
// every 256 ms (4096 points at 8000 samples/s, Hann window: bins 1.95 Hz apart), averaged over a
// few seconds, and a noise floor under it taken from the quieter part of the spectrum around
// each frequency (the rig's passband need not be flat). Where the nine tones of a station, at
// either tone spacing, stand together above that floor, a station may lie.
//
// Allocation-free after construction.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace quavel {

class BandSpectrum {
public:
    static constexpr uint32_t kSize = 4096; // FFT points
    static constexpr uint32_t kHop = 2048;  // samples between spectra
    static constexpr double kBinHz = 8000.0 / kSize;
    static constexpr uint32_t kBins = kSize / 2; // 0 .. 4000 Hz

    BandSpectrum();

    // Forgets the audio and the averages; looks for stations with tone 5 within from..to Hz.
    void reset(double from_hz, double to_hz);

    // Audio at 8000 samples/s, any count. Returns how many new spectra it completed.
    std::size_t push(std::span<const int16_t> samples);
    // Spectra completed since the reset.
    uint64_t frames() const { return frames_; }

    // The latest spectrum, unaveraged, one power per bin (0..kBins-1, bin k at k * kBinHz), in
    // the square of full-scale units: what a waterfall draws.
    std::span<const float> latest() const { return latest_; }
    // The averaged spectrum and the noise floor under it, per bin as latest().
    std::span<const float> average() const { return average_; }
    std::span<const float> floor() const { return floor_; }

    // How far the energy of a station's tone set with tone 5 at `centre_hz` stands above the
    // noise floor, as a fraction of the floor's energy in the same bins (0: noise; a station at
    // its weakest copyable level makes about 0.3), best of the two tone spacings.
    double excess(double centre_hz) const;

    struct Peak {
        double centre_hz = 0.0;
        double excess = 0.0;
    };
    // A place already looked after, and how near to it another may not lie.
    struct Taken {
        double hz = 0.0;
        double apart_hz = 0.0;
    };
    // The strongest place within from..to (and within the stretch looked at) whose excess
    // reaches `threshold` (for an average of a full memory; higher while it is younger) and that
    // lies far enough from every place in `taken`; excess 0 if none.
    Peak strongest(double threshold, std::span<const Taken> taken, double from_hz = 0.0,
                   double to_hz = 4000.0) const;

    // Averages this many spectra before the floor and excess mean anything.
    static constexpr uint64_t kWarmUpFrames = 8;

private:
    double raised(double threshold) const;
    void analyse();
    void update_floor();
    double excess_at(int centre_bin, double spacing_hz) const;

    double from_hz_ = 200.0;
    double to_hz_ = 2800.0;
    std::array<float, kSize> window_{};
    std::array<int16_t, kSize> input_{}; // the latest kSize samples, oldest first once full
    uint32_t filled_ = 0;                // samples in input_ (kSize once it has filled)
    uint32_t since_hop_ = 0;
    std::array<float, 2 * kSize + 1> fft_{};
    std::array<float, kBins> latest_{};
    std::array<float, kBins> average_{};
    std::array<float, kBins> floor_{};
    std::array<float, kBins> sorted_{};
    std::array<float, kBins> profile_{}; // excess per bin (best spacing), for strongest()
    uint64_t frames_ = 0;
};

} // namespace quavel
