#include "band_lines.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace quavel::perf {

namespace {

class Reader {
public:
    explicit Reader(std::string_view s) : s_(s) {}

    void space() {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_])))
            ++i_;
    }
    bool take(char c) {
        space();
        if (i_ < s_.size() && s_[i_] == c) {
            ++i_;
            return true;
        }
        return false;
    }
    bool at_end() {
        space();
        return i_ == s_.size();
    }
    // A string with JSON's escapes; \u escapes beyond ASCII become '?' (the mode has none).
    std::optional<std::string> string() {
        if (!take('"')) return std::nullopt;
        std::string out;
        while (i_ < s_.size()) {
            const char c = s_[i_++];
            if (c == '"') return out;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (i_ == s_.size()) return std::nullopt;
            const char e = s_[i_++];
            switch (e) {
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'u': {
                if (i_ + 4 > s_.size()) return std::nullopt;
                const std::string hex(s_.substr(i_, 4));
                i_ += 4;
                char* end = nullptr;
                const long code = std::strtol(hex.c_str(), &end, 16);
                if (end != hex.c_str() + 4) return std::nullopt;
                out += code < 128 ? static_cast<char>(code) : '?';
                break;
            }
            default:
                out += e;
                break; // \" \\ \/
            }
        }
        return std::nullopt;
    }
    // A number, or null (nothing); false when it is neither.
    bool number_or_null(std::optional<double>& value) {
        space();
        if (s_.substr(i_, 4) == "null") {
            i_ += 4;
            value.reset();
            return true;
        }
        const std::string rest(s_.substr(i_, 40));
        char* end = nullptr;
        const double v = std::strtod(rest.c_str(), &end);
        if (end == rest.c_str()) return false;
        i_ += static_cast<std::size_t>(end - rest.c_str());
        value = v;
        return true;
    }
    // Skips a value of a key this reader does not know: a string, number, literal.
    bool skip_value() {
        space();
        if (i_ < s_.size() && s_[i_] == '"') return string().has_value();
        for (const std::string_view literal : {"true", "false"}) {
            if (s_.substr(i_, literal.size()) == literal) {
                i_ += literal.size();
                return true;
            }
        }
        std::optional<double> ignored;
        return number_or_null(ignored);
    }

private:
    std::string_view s_;
    std::size_t i_ = 0;
};

} // namespace

std::optional<BandLine> parse_band_line(std::string_view json) {
    Reader r(json);
    if (!r.take('{')) return std::nullopt;
    BandLine line;
    std::optional<double> time, station, freq, speed;
    bool have_text = false;
    if (!r.take('}')) {
        do {
            const auto key = r.string();
            if (!key || !r.take(':')) return std::nullopt;
            std::optional<double>* number = *key == "time_s"    ? &time
                                            : *key == "station" ? &station
                                            : *key == "freq_hz" ? &freq
                                            : *key == "speed"   ? &speed
                                            : *key == "snr_db"  ? &line.snr_db
                                                                : nullptr;
            if (number) {
                if (!r.number_or_null(*number)) return std::nullopt;
            } else if (*key == "text") {
                const auto text = r.string();
                if (!text) return std::nullopt;
                line.text = *text;
                have_text = true;
            } else if (!r.skip_value()) {
                return std::nullopt;
            }
        } while (r.take(','));
        if (!r.take('}')) return std::nullopt;
    }
    if (!r.at_end() || !time || !station || !freq || !speed || !have_text) return std::nullopt;
    line.time_s = *time;
    line.station = static_cast<uint32_t>(*station);
    line.freq_hz = *freq;
    line.speed = static_cast<uint32_t>(*speed);
    return line;
}

std::vector<BandLine> parse_band_output(std::string_view out, std::size_t& bad) {
    std::vector<BandLine> lines;
    bad = 0;
    std::size_t start = 0;
    while (start < out.size()) {
        std::size_t end = out.find('\n', start);
        if (end == std::string_view::npos) end = out.size();
        const std::string_view text = out.substr(start, end - start);
        start = end + 1;
        if (text.find_first_not_of(" \t\r") == std::string_view::npos) continue;
        if (auto line = parse_band_line(text))
            lines.push_back(std::move(*line));
        else
            ++bad;
    }
    return lines;
}

std::vector<BandLine> as_printed(const std::vector<BandLine>& lines) {
    std::vector<BandLine> out = lines;
    const auto round_to = [](double v, double step) { return std::round(v / step) * step; };
    for (BandLine& l : out) {
        l.time_s = round_to(l.time_s, 0.01);
        l.freq_hz = round_to(l.freq_hz, 0.1);
        if (l.snr_db) l.snr_db = round_to(*l.snr_db, 0.1);
    }
    std::stable_sort(out.begin(), out.end(), [](const BandLine& a, const BandLine& b) {
        return a.station != b.station ? a.station < b.station : a.time_s < b.time_s;
    });
    return out;
}

bool same_lines(const std::vector<BandLine>& tool, const std::vector<BandLine>& library,
                double block_s) {
    if (tool.size() != library.size()) return false;
    constexpr double kPrinted = 0.0051; // half the printed time's last digit
    for (std::size_t i = 0; i < tool.size(); ++i) {
        const BandLine& a = tool[i];
        const BandLine& b = library[i];
        const double late_s = a.time_s - b.time_s;
        if (late_s < -kPrinted || late_s > block_s + kPrinted || a.station != b.station ||
            std::abs(a.freq_hz - b.freq_hz) > 0.051 || a.speed != b.speed || a.text != b.text ||
            a.snr_db.has_value() != b.snr_db.has_value())
            return false;
    }
    return true;
}

} // namespace quavel::perf
