#include "rx/demodulator.h"

#include <algorithm>
#include <cmath>

#include "rx/fft.h"

namespace quavel {

namespace {

// Samples beyond these are clipped by the sound card's converter: the waterfall shows it.
constexpr int kOverloadLimit = 32500;
// The normalised middle half peaks at 1 / 0.025 = 40; a floor on the peak keeps silence from
// being divided by zero.
constexpr float kPeakFloor = 0.01f;
constexpr double kNormaliseScale = 0.025;
constexpr float kNoMinimum = 10000.0f;
// The history of two symbol lengths is spread over the scope's columns.
constexpr uint32_t kColumns = kScopeColumns;

// Slide in the new symbol decimated to 4000/s, window it into the work spectrum.
bool load_work_spectrum(DemodulatorState& st, std::span<const int16_t> source,
                        const SpeedProfile& p) {
    const uint32_t N = p.N;
    const uint32_t H = p.H;
    std::copy(st.analysis.begin() + H, st.analysis.begin() + N, st.analysis.begin());
    // No anti-alias filter: the band of interest lies far below 2000 Hz.
    for (uint32_t k = 0; k < H; ++k)
        st.analysis[H + k] = source[2 * k];

    bool overload = false;
    for (uint32_t k = 0; k < N; ++k) {
        const int s = st.analysis[k];
        if (s > kOverloadLimit || s < -kOverloadLimit) overload = true;
        st.work[2 * k + 1] = static_cast<float>(s) * p.analysis_window[k + 1];
        st.work[2 * k + 2] = 0.0f;
    }
    return overload;
}

// Keep float indices L..U, the receive passband; the negative frequencies go too, so
// the inverse transform's real part is the band-limited signal.
void band_limit(DemodulatorState& st, uint32_t N, const Tuning& t) {
    const uint32_t end = 2 * N;
    const uint32_t low = std::clamp<uint32_t>(t.band_low, 1, end + 1);
    const uint32_t high = std::clamp<uint32_t>(t.band_high, low - 1, end);
    std::fill(st.work.begin() + 1, st.work.begin() + low, 0.0f);
    std::fill(st.work.begin() + high + 1, st.work.begin() + end + 1, 0.0f);
}

// The middle half of the band-limited analysis buffer, scaled so that its
// peak is 40, becomes the newer half of the history.
void normalise_into_history(DemodulatorState& st, const SpeedProfile& p) {
    const uint32_t N = p.N;
    const uint32_t H = p.H;
    const uint32_t first = N / 4 - 1;
    float peak = kPeakFloor;
    for (uint32_t j = 0; j < H; ++j) {
        const float v = st.work[2 * (first + j) + 1];
        st.new_half[j] = v;
        if (v > peak) peak = v;
    }
    st.normalise_peak = peak;
    const float divisor = static_cast<float>(kNormaliseScale * peak);
    for (uint32_t j = 0; j < H; ++j)
        st.new_half[j] /= divisor;

    std::copy(st.history.begin() + H, st.history.begin() + 2 * H, st.history.begin());
    std::copy(st.new_half.begin(), st.new_half.begin() + H, st.history.begin() + H);
}

// The energy across the history, column by column, averaged over four columns; the
// quietest column of each symbol length marks a gap between symbols.
void scan_scope(DemodulatorState& st, const SpeedProfile& p, ReceiveDisplays* displays) {
    const uint32_t C = p.N / kColumns;
    if (displays != nullptr) displays->clear_scope();
    float min1 = kNoMinimum;
    float min2 = kNoMinimum;
    st.first_minimum = -1;
    st.second_minimum = -1;
    for (uint32_t c = 0; c < kColumns; ++c) {
        float e = 0.0f;
        // Every fifth pair of values is enough to see the dip.
        for (uint32_t i = 0; i <= C - 1; i += 5) {
            const double a = st.history[c * C + i];
            const double b = st.history[c * C + i + 1];
            e = static_cast<float>(e + (a * a + b * b));
        }
        st.scope_average[st.scope_position] = e;
        st.scope_position = (st.scope_position + 1) % 4;
        const double sum = static_cast<double>(st.scope_average[0]) + st.scope_average[1] +
                           st.scope_average[2] + st.scope_average[3];
        const float v = static_cast<float>(sum * 0.25 * p.scope_gain);
        if (displays != nullptr) displays->scope_column(static_cast<int>(c), v);
        if (c < kColumns / 2) {
            if (v < min1) {
                min1 = v;
                st.first_minimum = static_cast<int>(c);
            }
        } else if (v < min2) {
            min2 = v;
            st.second_minimum = static_cast<int>(c);
        }
    }
}

// One symbol length of the history from `start`, shaped by the symbol window and
// zero-padded to M points, transformed.
void transform_symbol(DemodulatorState& st, const SpeedProfile& p, uint32_t start) {
    std::fill(st.symbol_spectrum.begin(), st.symbol_spectrum.end(), 0.0f);
    const uint32_t H = p.H;
    for (uint32_t k = 0; k < H; ++k) {
        st.symbol_spectrum[2 * k + 1] = st.history[start + k] * p.symbol_window[k];
    }
    fft_forward(st.symbol_spectrum, p.spectrum_length);
}

// The magnitudes of the symbol-spectrum points of the passband, counted from its
// lower edge; the tone bin ranges index these.
void band_magnitudes(DemodulatorState& st, const SpeedProfile& p, const Tuning& t,
                     ReceiveDisplays* displays) {
    const bool half = p.speed == 1; // the symbol spectrum has N/2 points there
    const uint32_t lo = half ? t.half_band_low : t.band_low;
    const uint32_t hi = std::min(half ? t.half_band_high : t.band_high, 2 * p.spectrum_length);
    if (displays != nullptr) displays->clear_spectrum();
    st.band_magnitude.fill(0.0f);
    uint32_t k = 0;
    for (; lo >= 1 && lo + 2 * k <= hi && k < kMaxBandMagnitudes; ++k) {
        const double re = st.symbol_spectrum[lo + 2 * k];
        const double im = st.symbol_spectrum[lo + 2 * k + 1];
        st.band_magnitude[k] = static_cast<float>(std::sqrt(re * re + im * im));
        if (displays != nullptr) {
            displays->spectrum_line(static_cast<int>(k), st.band_magnitude[k], p.spectrum_scale);
        }
    }
    st.band_count = k;
}

// The auto-sync rule may move the slice by about a whole symbol from one step to the next,
// when the gap between symbols sits near the history's columns 0 and 64, where the rule cannot
// tell the gap at the start of a symbol from the one at its end. Measured from the last slice
// decoded, a slice less than half a symbol on is that symbol again, and one more than one and a
// half symbols on has stepped over the symbol between them, which starts a symbol length
// earlier (by then within one scope column of the history's start).
enum class SliceStep { again, next, stepped_over };

SliceStep slice_step(const DemodulatorState& st, uint32_t start, uint32_t H) {
    if (!st.slice_known) return SliceStep::next;
    const int64_t on = static_cast<int64_t>(start) - st.decoded_slice;
    if (2 * on < static_cast<int64_t>(H)) return SliceStep::again;
    if (2 * on > 3 * static_cast<int64_t>(H)) return SliceStep::stepped_over;
    return SliceStep::next;
}

ToneDecision decide_slice(DemodulatorState& st, const SpeedProfile& p, const Tuning& t,
                          uint32_t start, ReceiveDisplays* displays) {
    transform_symbol(st, p, start);
    band_magnitudes(st, p, t, displays);
    return pick_tones(st, p.single_tone_ratio);
}

} // namespace

uint32_t auto_sync_position(int first_minimum, int second_minimum, uint32_t N, uint32_t current) {
    if (first_minimum <= 0 || second_minimum < 0) return current;
    const int apart = second_minimum - first_minimum;
    if (apart <= 60 || apart >= 68) return current;
    return static_cast<uint32_t>(first_minimum) * N / kColumns;
}

ToneDecision pick_tones(DemodulatorState& st, float single_tone_ratio) {
    for (int t = 0; t < kToneCount; ++t) {
        const BinRange& r = kToneBins[t];
        float peak = 0.0f;
        for (int32_t i = r.low; i <= r.high; ++i) {
            if (st.band_magnitude[i] > peak) {
                peak = st.band_magnitude[i];
                st.peak_bin[t] = i;
            }
        }
        st.tone_peak[t] = peak;
    }

    ToneDecision d;
    int s = -1;
    float p1 = 0.0f;
    for (int t = 0; t < kToneCount; ++t) {
        if (st.tone_peak[t] > p1) {
            p1 = st.tone_peak[t];
            s = t;
        }
    }
    if (s < 0) {
        // Not a trace of any tone: take it as the idle symbol, and give AFC nothing to go on.
        d.silent = true;
        return d;
    }
    int u = s;
    float p2 = 0.0f;
    for (int t = 0; t < kToneCount; ++t) {
        if (t != s && st.tone_peak[t] > p2) {
            p2 = st.tone_peak[t];
            u = t;
        }
    }
    if (p1 > single_tone_ratio * p2) u = s;
    d.a = std::min(s, u);
    d.b = std::max(s, u);
    d.strongest = s;
    d.strongest_peak_bin = st.peak_bin[s];
    return d;
}

StepDecisions demodulate(DemodulatorState& st, std::span<const int16_t> source, SpeedProfile& p,
                         const Tuning& t, bool auto_sync, ReceiveDisplays* displays,
                         float waterfall_sensitivity) {
    const uint32_t N = p.N;
    const uint32_t C = N / kColumns;
    StepDecisions out;
    if (source.size() < N) {
        out.symbols[0].silent = true;
        out.count = 1;
        return out;
    }

    // The displays show intermediate values, so drawing and processing interleave.
    if (displays != nullptr) displays->scroll_waterfall(p);
    st.overload = load_work_spectrum(st, source, p);
    fft_forward(st.work, N);
    if (displays != nullptr) {
        if (st.overload) {
            displays->overload_line();
        } else {
            displays->waterfall_line(st.work, p, t, waterfall_sensitivity);
        }
    }
    band_limit(st, N, t);
    fft_inverse(st.work, N);
    normalise_into_history(st, p);
    // Saturates: it is only ever compared with positions within the last two symbols.
    st.decoded_slice = std::max(st.decoded_slice - static_cast<int32_t>(p.H),
                                -2 * static_cast<int32_t>(kMaxSymbolSamples));
    scan_scope(st, p, displays);
    if (auto_sync) {
        p.sync_position =
            auto_sync_position(st.first_minimum, st.second_minimum, N, p.sync_position);
    }
    // A position set by hand beyond the first symbol length would run the slice off the
    // history.
    p.sync_position = std::min(p.sync_position, (kColumns / 2 - 1) * C);
    if (displays != nullptr) displays->sync_marker(p.sync_position, C);

    const SliceStep step = slice_step(st, p.sync_position, p.H);
    if (step == SliceStep::stepped_over) {
        const uint32_t missed = p.sync_position > p.H ? p.sync_position - p.H : 0;
        out.symbols[out.count++] = decide_slice(st, p, t, missed, nullptr);
    }
    // The slice at the sync position is always drawn, even when it is not decoded again.
    const ToneDecision shown = decide_slice(st, p, t, p.sync_position, displays);
    if (step != SliceStep::again) {
        out.symbols[out.count++] = shown;
        st.decoded_slice = static_cast<int32_t>(p.sync_position);
        st.slice_known = true;
    }
    return out;
}

} // namespace quavel
