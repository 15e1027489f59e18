// quavel-modem rx's control API (docs/API.md): the console's server, events only. Status,
// received text and closing go out; status.get and rx.get are answered, every other command is
// refused as this is a receiver only. With --band, each station's lines go out as band.station.
// Runs in the sound card's event loop: open it once the sound card is open. A tool built without Qt
// has none, and open_rx_api says so.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "rx/receiver_choice.h"

namespace quavel::tools {

struct RxApiStatus {
    uint32_t speed = 2;
    uint32_t centre_hz = 0;
    ReceiverChoice receiver = ReceiverChoice::classic;
    bool afc = true;
    bool operator==(const RxApiStatus&) const = default;
};

// A line of a station's text ended, in rx --band (the console's band.station event).
struct RxApiBandLine {
    int64_t utc_s = 0;    // when it ended, seconds since 1970 (UTC)
    double freq_hz = 0.0; // tone 5's audio frequency
    uint32_t speed = 0;   // 1, 2 or 4
    std::optional<double> snr_db;
    std::string call; // the callsign the station gave; empty while none
    std::string text;
};

class RxApi {
public:
    virtual ~RxApi() = default;
    // "band.station" to every client.
    virtual void band_line(const RxApiBandLine& line) = 0;
    // Received text as printed into pane 0 (primary) or 1 (secondary); `status` as it is now.
    virtual void text(int pane, std::string_view text, const RxApiStatus& status) = 0;
    // Sent to every client when it differs from the last one sent (cheap to call every tick).
    virtual void status(const RxApiStatus& status) = 0;
    // "closing" to every client, and the connections closed.
    virtual void close() = 0;
    virtual uint16_t port() const = 0;
};

// Listening on 127.0.0.1 `port`; null, with `error` saying why, when it cannot.
std::unique_ptr<RxApi> open_rx_api(uint16_t port, const RxApiStatus& first, std::string& error);

} // namespace quavel::tools
