#include "station/adif_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "station/callsign.h"
#include "station/regular_file.h"

namespace quavel {

namespace {

constexpr const char* kCutMarker = "APP_QUAVEL_CUT";
// A record is a few hundred bytes; one cut short lies within this much of the end.
constexpr std::size_t kTailBytes = 64 * 1024;
// Up to this size a log is scanned whole before an append (a few milliseconds).
constexpr std::size_t kExactScanBytes = 1 << 20;
// Data lengths beyond this are taken for a damaged tag, not a field.
constexpr std::size_t kMaxFieldBytes = 1 << 20;

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

// The last case-insensitive occurrence of `tag` ("<EOR>") in `text`, or npos.
std::size_t rfind_tag(std::string_view text, std::string_view tag) {
    if (text.size() < tag.size()) return std::string_view::npos;
    for (std::size_t i = text.size() - tag.size() + 1; i-- > 0;)
        if (text[i] == '<' && iequals(text.substr(i, tag.size()), tag)) return i;
    return std::string_view::npos;
}

// How a scan of ADIF text ended.
struct ScanEnd {
    bool fields_pending = false;   // fields after the last <EOR> (or <EOH>), no <EOR> for them
    std::size_t missing_bytes = 0; // the last field's data is this much short
    bool header_open = false;      // a header that no <EOH> (nor a record's <EOR>) has ended
};

// Reads `text` into `out`. `at_start`: the text is a whole file, whose header (if it has one)
// comes first; otherwise it starts after a record.
ScanEnd scan(std::string_view text, bool at_start, AdifRead& out) {
    ScanEnd end;
    const std::size_t n = text.size();
    bool in_header = at_start && !text.empty() && text.front() != '<';
    AdifRecord current;
    std::size_t i = 0;
    std::size_t number = out.records.size();
    while (true) {
        const std::size_t lt = text.find('<', i);
        if (lt == std::string_view::npos) break;
        std::size_t gt = lt + 1;
        while (gt < n && text[gt] != '>' && text[gt] != '<')
            ++gt;
        if (gt >= n) break;    // cut inside a tag
        if (text[gt] == '<') { // a broken tag: start again at the next
            i = gt;
            continue;
        }
        const std::string_view tag = text.substr(lt + 1, gt - lt - 1);
        i = gt + 1;
        if (iequals(tag, "EOH")) {
            if (in_header) out.header = std::move(current.fields);
            current.fields.clear();
            in_header = false;
            continue;
        }
        if (iequals(tag, "EOR")) {
            in_header = false;
            if (current.fields.empty()) continue;
            ++number;
            if (current.field(kCutMarker) != nullptr) {
                out.notices.push_back("Record " + std::to_string(number) +
                                      " was cut short by an interrupted write and is skipped");
            } else {
                out.records.push_back(std::move(current));
            }
            current.fields.clear();
            continue;
        }
        const std::size_t colon = tag.find(':');
        if (colon == std::string_view::npos || colon == 0) continue; // not a field
        std::string_view length_text = tag.substr(colon + 1);
        length_text = length_text.substr(0, length_text.find(':'));
        std::size_t length = 0;
        const auto [ptr, ec] =
            std::from_chars(length_text.data(), length_text.data() + length_text.size(), length);
        if (ec != std::errc() || ptr != length_text.data() + length_text.size() ||
            length_text.empty() || length > kMaxFieldBytes)
            continue;
        if (length > n - i) {
            end.missing_bytes = length - (n - i);
            current.fields.push_back({}); // pending, cut
            break;
        }
        std::string name(tag.substr(0, colon));
        for (char& c : name)
            c = upper(c);
        current.fields.push_back({std::move(name), std::string(text.substr(i, length))});
        i += length;
    }
    if (in_header) {
        // A header never closed: whatever fields it held are no record.
        current.fields.clear();
        end.header_open = true;
    }
    end.fields_pending = !current.fields.empty();
    if (end.fields_pending)
        out.notices.push_back("The last record (" + std::to_string(number + 1) +
                              ") is incomplete and is skipped");
    return end;
}

std::string utc_text(std::time_t t, const char* format) {
    std::tm tm{};
    gmtime_r(&t, &tm);
    std::array<char, 32> buffer{};
    const std::size_t len = std::strftime(buffer.data(), buffer.size(), format, &tm);
    return std::string(buffer.data(), len);
}

std::string mhz_text(double mhz) {
    std::array<char, 32> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%.6f", mhz);
    std::string text(buffer.data());
    // At least kHz resolution, more only where it says something.
    const std::size_t dot = text.find('.');
    while (text.size() > dot + 4 && text.back() == '0')
        text.pop_back();
    return text;
}

void add_field(std::string& out, std::string_view name, std::string_view value) {
    // One record, one line: line breaks and other control characters become spaces.
    std::string clean(value);
    for (char& c : clean)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    const std::size_t first = clean.find_first_not_of(' ');
    if (first == std::string::npos) return;
    clean = clean.substr(first, clean.find_last_not_of(' ') - first + 1);
    out += '<';
    out += name;
    out += ':';
    out += std::to_string(clean.size());
    out += '>';
    out += clean;
    out += ' ';
}

std::string error_text(const char* what) {
    return std::string(what) + " (" + std::strerror(errno) + ")";
}

bool write_all(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// A new log with its header: written and synced under a temporary name, then renamed into
// place unless another has appeared meanwhile. Empty on success.
std::string create_log(const std::string& path, std::string_view version, std::time_t now) {
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return error_text("cannot create the log");
    const std::string header = adif_header(version, now);
    const bool written = ::fchmod(fd, 0644) == 0 && write_all(fd, header) && ::fsync(fd) == 0;
    std::string error = written ? std::string() : error_text("cannot write the log's header");
    if (::close(fd) != 0 && error.empty()) error = error_text("cannot write the log's header");
    if (!error.empty()) {
        ::unlink(temp.c_str());
        return error;
    }
    // Not over a log that another program created meanwhile.
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) != 0) {
        const bool unsupported = errno == EINVAL || errno == ENOSYS;
        const bool exists = errno == EEXIST;
        if (unsupported && ::link(temp.c_str(), path.c_str()) != 0 && errno != EEXIST) {
            error = error_text("cannot create the log");
            ::unlink(temp.c_str());
            return error;
        }
        if (!unsupported && !exists) {
            error = error_text("cannot create the log");
            ::unlink(temp.c_str());
            return error;
        }
        ::unlink(temp.c_str());
    }
    // The new name itself must survive a power loss.
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty()) folder = ".";
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}

// What goes before a new record so that what the log ends in cannot take it in: for a record
// cut short, the bytes its last field still wants, then the marker and <EOR>; for a header
// never ended, <EOH>. A log of up to kExactScanBytes is scanned whole, so the writer sees
// exactly what a reader will; a longer one from its last <EOR> on.
std::string closing_for_tail(int fd, off_t size) {
    if (size == 0) return {};
    const bool whole = static_cast<std::size_t>(size) <= kExactScanBytes;
    const std::size_t want =
        whole ? static_cast<std::size_t>(size)
              : std::min<std::size_t>(kTailBytes, static_cast<std::size_t>(size));
    std::string tail(want, '\0');
    std::size_t got = 0;
    while (got < want) {
        const ssize_t n =
            ::pread(fd, tail.data() + got, want - got, size - static_cast<off_t>(want - got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    if (got < want) return "\n"; // unreadable: at least a record of its own line
    std::size_t from = 0;
    if (!whole) {
        const std::size_t eor = rfind_tag(tail, "<EOR>");
        if (eor != std::string::npos) from = eor + 5;
    }
    AdifRead ignored;
    const ScanEnd end = scan(std::string_view(tail).substr(from), whole, ignored);
    std::string closing(end.missing_bytes, ' ');
    if (end.header_open)
        closing += "<EOH>\n";
    else if (end.fields_pending)
        closing += std::string("<") + kCutMarker + ":1>Y<EOR>\n";
    else if (tail.back() != '\n')
        closing += '\n';
    return closing;
}

std::optional<double> parse_mhz(const std::string* text) {
    if (text == nullptr) return std::nullopt;
    double v = 0;
    const auto [ptr, ec] = std::from_chars(text->data(), text->data() + text->size(), v);
    if (ec != std::errc() || !(v > 0)) return std::nullopt;
    return v;
}

} // namespace

std::string_view adif_band(double mhz) {
    struct Band {
        double low, high;
        const char* name;
    };
    static constexpr std::array<Band, 15> kBands{{
        {1.8, 2.0, "160m"},
        {3.5, 4.0, "80m"},
        {5.06, 5.45, "60m"},
        {7.0, 7.3, "40m"},
        {10.1, 10.15, "30m"},
        {14.0, 14.35, "20m"},
        {18.068, 18.168, "17m"},
        {21.0, 21.45, "15m"},
        {24.890, 24.99, "12m"},
        {28.0, 29.7, "10m"},
        {50.0, 54.0, "6m"},
        {70.0, 71.0, "4m"},
        {144.0, 148.0, "2m"},
        {222.0, 225.0, "1.25m"},
        {420.0, 450.0, "70cm"},
    }};
    for (const Band& b : kBands)
        if (mhz >= b.low && mhz <= b.high) return b.name;
    return {};
}

std::string adif_header(std::string_view version, std::time_t created) {
    std::string out = "Quavel contact log\n";
    add_field(out, "ADIF_VER", kAdifVersion);
    add_field(out, "PROGRAMID", kAdifProgramId);
    add_field(out, "PROGRAMVERSION", version);
    add_field(out, "CREATED_TIMESTAMP", utc_text(created, "%Y%m%d %H%M%S"));
    out += "\n<EOH>\n";
    return out;
}

std::string adif_record(const QsoRecord& r) {
    std::string out;
    add_field(out, "CALL", r.call);
    add_field(out, "QSO_DATE", utc_text(r.start_utc, "%Y%m%d"));
    add_field(out, "TIME_ON", utc_text(r.start_utc, "%H%M%S"));
    add_field(out, "QSO_DATE_OFF", utc_text(r.end_utc, "%Y%m%d"));
    add_field(out, "TIME_OFF", utc_text(r.end_utc, "%H%M%S"));
    add_field(out, "FREQ", mhz_text(r.freq_mhz));
    add_field(out, "BAND", r.band);
    add_field(out, "MODE", r.mode);
    add_field(out, "SUBMODE", r.submode);
    add_field(out, "RST_SENT", r.rst_sent);
    add_field(out, "RST_RCVD", r.rst_rcvd);
    add_field(out, "STATION_CALLSIGN", r.station_callsign);
    add_field(out, "NAME", r.name);
    add_field(out, "QTH", r.qth);
    add_field(out, "GRIDSQUARE", r.gridsquare);
    add_field(out, "COMMENT", r.comment);
    out += "<EOR>\n";
    return out;
}

const std::string* AdifRecord::field(std::string_view name) const {
    for (const AdifField& f : fields)
        if (f.name == name) return &f.value;
    return nullptr;
}

AdifRead read_adif(std::string_view text) {
    AdifRead out;
    scan(text, true, out);
    return out;
}

std::string adif_log_problem(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) return std::strerror(errno);
        const std::filesystem::path folder = std::filesystem::path(path).parent_path();
        const std::string dir = folder.empty() ? "." : folder.string();
        if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return "its folder does not exist";
        if (::access(dir.c_str(), W_OK) != 0) return "its folder is not writable";
        return {};
    }
    if (!S_ISREG(st.st_mode)) return not_a_file(st.st_mode);
    if (::access(path.c_str(), W_OK) != 0) return "it is not writable";
    return {};
}

std::string append_adif_record(const std::string& path, const QsoRecord& record,
                               std::string_view version, std::time_t now) {
    if (std::string problem = adif_log_problem(path); !problem.empty()) return problem;
    // O_NONBLOCK: a FIFO put behind the name since the check fails the open instead of
    // waiting for a reader; fstat then refuses whatever is not a regular file.
    constexpr int kFlags = O_RDWR | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int fd = ::open(path.c_str(), kFlags);
    if (fd < 0 && errno == ENOENT) {
        if (std::string error = create_log(path, version, now); !error.empty()) return error;
        fd = ::open(path.c_str(), kFlags);
    }
    if (fd < 0) return error_text("cannot open the log");
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const std::string why =
            S_ISREG(st.st_mode) ? error_text("cannot examine the log") : not_a_file(st.st_mode);
        ::close(fd);
        return why;
    }
    const std::string data = closing_for_tail(fd, st.st_size) + adif_record(record);
    if (!write_all(fd, data) || ::fsync(fd) != 0) {
        const std::string error = error_text("cannot write the record");
        ::close(fd);
        return error;
    }
    if (::close(fd) != 0) return error_text("cannot write the record");
    return {};
}

void WorkedIndex::add(const AdifRecord& record) {
    const std::string* call = record.field("CALL");
    if (call == nullptr) return;
    const std::string* date = record.field("QSO_DATE");
    const std::string* time = record.field("TIME_ON");
    add(*call, date ? *date : std::string(), time ? *time : std::string(),
        parse_mhz(record.field("FREQ")));
}

void WorkedIndex::add(const QsoRecord& record) {
    add(record.call, utc_text(record.start_utc, "%Y%m%d"), utc_text(record.start_utc, "%H%M%S"),
        record.freq_mhz > 0 ? std::optional<double>(record.freq_mhz) : std::nullopt);
}

void WorkedIndex::add(std::string_view call, std::string date, std::string time,
                      std::optional<double> freq_mhz) {
    std::string key = base_callsign(call);
    if (key.empty()) {
        key = std::string(call);
        for (char& c : key)
            c = upper(c);
    }
    if (key.empty()) return;
    Worked& w = calls_[key];
    ++w.count;
    // Times of four digits and of six compare alike once padded.
    const auto padded = [](std::string t) {
        t.resize(6, '0');
        return t;
    };
    if (w.count == 1 || std::pair(date, padded(time)) >= std::pair(w.date, padded(w.time))) {
        w.date = std::move(date);
        w.time = std::move(time);
        w.freq_mhz = freq_mhz;
    }
}

const WorkedIndex::Worked* WorkedIndex::find(std::string_view call) const {
    std::string key = base_callsign(call);
    if (key.empty()) {
        key = std::string(call);
        for (char& c : key)
            c = upper(c);
    }
    const auto it = calls_.find(key);
    return it == calls_.end() ? nullptr : &it->second;
}

std::string worked_text(const WorkedIndex::Worked& w) {
    std::string text = "worked";
    if (w.date.size() == 8)
        text += " " + w.date.substr(0, 4) + "-" + w.date.substr(4, 2) + "-" + w.date.substr(6, 2);
    if (w.freq_mhz) {
        std::array<char, 32> buffer{};
        std::snprintf(buffer.data(), buffer.size(), " %.3f MHz", *w.freq_mhz);
        text += buffer.data();
    }
    if (w.count > 1) text += " (" + std::to_string(w.count) + " contacts)";
    return text;
}

} // namespace quavel
