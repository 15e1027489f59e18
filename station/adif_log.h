// The station's log of contacts as an ADIF file (".adi"): written one record at a time so that
// nothing logged is ever lost, and read back tolerantly, whatever program wrote it. Qt-free.
//
// Writing. A log that does not exist is created with its header (ADIF_VER, PROGRAMID,
// PROGRAMVERSION, CREATED_TIMESTAMP) through a temporary file renamed into place, so a log
// either has its whole header or is not there. A record is appended with O_APPEND in one
// write and fsync'ed before append_adif_record() returns: a crash or a power loss at any moment
// leaves every earlier record intact and at most the last one cut short. A record cut short in
// an earlier run is closed off, before the next one is appended, with the marker field
// APP_QUAVEL_CUT, so that its remains can never swallow the new record; readers skip it.
// Values are UTF-8; data lengths count bytes.
//
// Reading takes what other programs write: field names in any case, fields it does not know,
// a header or none, CRLF or LF, <EOR>/<eor>, type indicators (<FREQ:6:N>), text between fields.
// A record cut short (the last one of a file without its <EOR>, or one marked as above) is
// skipped with a notice.
#pragma once

#include <cstddef>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quavel {

inline constexpr const char* kAdifVersion = "3.1.4";
inline constexpr const char* kAdifProgramId = "Quavel";

// One contact as the console logs it. Times are UTC seconds since the epoch.
struct QsoRecord {
    std::string call;
    std::time_t start_utc = 0;
    std::time_t end_utc = 0;
    double freq_mhz = 0; // the RF frequency, > 0
    std::string band;    // "20m"; adif_band(freq_mhz) unless the operator said otherwise
    std::string mode = "MFSK";
    std::string submode = "QUAVEL";
    std::string rst_sent = "599";
    std::string rst_rcvd = "599";
    std::string station_callsign;
    // Written only when not empty.
    std::string name;
    std::string qth;
    std::string gridsquare;
    std::string comment;
};

// The ADIF band of an RF frequency in MHz, 160m to 70cm ("20m"); empty outside the bands.
std::string_view adif_band(double freq_mhz);

// The text of a new log's header and of one record (a line ending in "<EOR>\n").
std::string adif_header(std::string_view program_version, std::time_t created_utc);
std::string adif_record(const QsoRecord& record);

struct AdifField {
    std::string name; // in capitals
    std::string value;
};
struct AdifRecord {
    std::vector<AdifField> fields;
    // The value of the field `name` (in capitals), or null.
    const std::string* field(std::string_view name) const;
};
struct AdifRead {
    std::vector<AdifField> header; // empty when the file has none
    std::vector<AdifRecord> records;
    std::vector<std::string> notices; // a sentence for each record skipped
};

AdifRead read_adif(std::string_view text);

// Whether `path` can take a log: empty when it can (a writable regular file, or nothing yet in
// a folder that exists), else a sentence without the path ("it is a FIFO, not a file").
std::string adif_log_problem(const std::string& path);

// Appends `record` to the log at `path` (created with its header when missing) and makes it
// durable. Empty on success, else why not (nothing was appended then). Never blocks on a FIFO
// or device behind the name: those are refused.
std::string append_adif_record(const std::string& path, const QsoRecord& record,
                               std::string_view program_version, std::time_t now_utc);

// Who was worked before, by call proper ("G4ABC/P" and "G4ABC" are one station): the latest
// contact and how many there were. Built once from the log, then kept up to date on append.
class WorkedIndex {
public:
    struct Worked {
        std::string date; // "YYYYMMDD" of the latest contact
        std::string time; // "HHMM" or "HHMMSS"
        std::optional<double> freq_mhz;
        int count = 0;
    };
    void add(const AdifRecord& record);
    void add(const QsoRecord& record);
    const Worked* find(std::string_view call) const;
    std::size_t size() const { return calls_.size(); }
    void clear() { calls_.clear(); }

private:
    void add(std::string_view call, std::string date, std::string time,
             std::optional<double> freq_mhz);
    std::unordered_map<std::string, Worked> calls_;
};

// "worked 2026-11-30 14.070 MHz", with " (3 contacts)" after it when there were more.
std::string worked_text(const WorkedIndex::Worked& worked);

} // namespace quavel
