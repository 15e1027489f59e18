// What 'quavel-modem rx --band --json' prints: one JSON object a line, one line of a station's
// text each, e.g.
//   {"time_s":12.34,"station":3,"freq_hz":1234.5,"speed":2,"snr_db":-12.3,"text":"CQ DE G4ABC"}
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quavel::perf {

struct BandLine {
    double time_s = 0.0; // where in the audio the line ended
    uint32_t station = 0;
    double freq_hz = 0.0;
    uint32_t speed = 0;
    std::optional<double> snr_db; // null: not known
    std::string text;
};

// One object of the flat form above (keys in any order, unknown keys skipped); nothing when the
// line is not such an object or lacks time_s, station, freq_hz, speed or text.
std::optional<BandLine> parse_band_line(std::string_view json);

// Every line of the tool's output; `bad` counts the lines that could not be read.
std::vector<BandLine> parse_band_output(std::string_view out, std::size_t& bad);

// Lines as the tool prints them (time to 0.01 s, frequency and SNR to 0.1), by station and
// then in time order: so one receiver's lines can be held to another's line by line.
std::vector<BandLine> as_printed(const std::vector<BandLine>& lines);

// Whether `tool` (as_printed) holds the same lines as `library` (as_printed): the same
// stations, frequencies, speeds, texts and SNRs known or not, each line at most `block_s`
// later than the library's (the tool hands the receiver whole blocks), never earlier.
bool same_lines(const std::vector<BandLine>& tool, const std::vector<BandLine>& library,
                double block_s);

} // namespace quavel::perf
