// Character error rate and the SNR at which a measured curve crosses a given rate.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

namespace quavel::perf {

// Levenshtein distance: the fewest insertions, deletions and substitutions that turn `sent`
// into `received`. O(|sent| x |received|) time, O(|received|) memory.
std::size_t edit_distance(std::string_view sent, std::string_view received);

// One point of a curve: the errors over the characters sent in all runs at one SNR.
struct CerPoint {
    double snr_db = 0.0;
    double cer = 0.0;
};

// Where a curve sampled in increasing SNR last comes down through `threshold`: between the
// highest point above it and the point after that, interpolated linearly in log10(CER) (linearly
// in CER when the lower point is 0). Nothing when the curve never comes down to the threshold
// (an error floor), or when even its lowest point is at or below it (not bracketed).
struct Crossing {
    enum class Kind { At, Floor, BelowRange } kind = Kind::Floor;
    double snr_db = 0.0; // for At
};
Crossing snr_at_cer(std::span<const CerPoint> curve, double threshold);

} // namespace quavel::perf
