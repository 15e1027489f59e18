// The band-activity list behind the Band Activity window: one row per station the band receiver
// copies, kept while the station is heard and for a while after. The receiver gives a station
// that it lost and found again a new id; the row it had goes on, so the operator sees one row
// per signal and not one per find. A row remembers the callsign the station gave (HeardCalls),
// its latest text and all of its text (for a copy), and when it was last heard, in UTC.
//
// Qt-free: the window draws the rows, this decides what they hold. Window's thread only.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "rx/band_receiver.h"
#include "station/heard_calls.h"

namespace quavel {

struct BandRow {
    uint32_t key = 0;        // from 1, this list's own name for the row; never reused
    uint32_t station_id = 0; // the receiver's id of the station now; 0 while it is not copied
    double freq_hz = 0.0;    // tone 5's audio frequency
    uint32_t speed = 0;      // 1, 2 or 4
    bool locked = false;
    std::optional<double> snr_db;
    std::time_t heard_utc = 0; // the latest character (or the row's start)
    std::string call;          // the callsign it gave, once HeardCalls has taken one
    std::string line;          // the line being printed, else the last one ended
    bool line_ended = true;    // `line` is a finished line
    std::string text;          // everything it printed, up to kMaxText (oldest dropped)
    HeardCalls calls;
};

// A line of a station's text as the list tells it on (for the control API).
struct BandHeardLine {
    std::time_t utc = 0;
    double freq_hz = 0.0;
    uint32_t speed = 0;
    std::optional<double> snr_db;
    std::string call; // empty while not known
    std::string text;
};

class BandRows final : public BandListener {
public:
    // A station found again within this distance of a row no longer copied takes that row.
    static constexpr double kMergeHz = 10.0;
    static constexpr std::size_t kMaxText = 8192;
    static constexpr std::chrono::minutes kDefaultAge{10};

    BandRows();

    // The clock the rows are stamped by (std::time by default), for tests.
    void set_clock(std::time_t (*now)());
    // Our own callsign, never taken as a station's.
    void set_own_call(std::string_view call);
    // Rows not heard for this long go (at least a minute).
    void set_age(std::chrono::minutes age);
    std::chrono::minutes age() const { return age_; }

    // After each push of the receiver: frequencies, speeds and SNRs follow the stations listed,
    // and rows not heard for the age go. Returns true when any row changed, came or went.
    bool update(std::span<const BandStation> stations);
    // The receiver started afresh (its ids start again): the rows stay, holding no station, for
    // the stations found again near them.
    void forget_stations();

    // Lowest frequency first.
    const std::vector<BandRow>& rows() const { return rows_; }
    const BandRow* find(uint32_t key) const;
    // Each line a station ended since the last call, oldest first.
    std::vector<BandHeardLine> take_lines();

    // BandListener.
    void text(const BandStation& station, std::string_view text) override;
    void line(const BandLine& line) override;
    void gone(uint32_t station_id) override;

private:
    BandRow& row_for(const BandStation& station);
    void follow(BandRow& row, const BandStation& station);
    void sort();

    std::time_t (*now_)() = nullptr;
    std::string own_call_;
    std::chrono::minutes age_ = kDefaultAge;
    std::vector<BandRow> rows_;
    std::vector<BandHeardLine> lines_;
    uint32_t next_key_ = 1;
    bool changed_ = false;
};

} // namespace quavel
