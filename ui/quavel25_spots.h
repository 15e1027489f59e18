// Spots sent to PSK Reporter while Options > Report Stations Heard is on: the callsigns the
// receive panes copy (station/heard_calls.h) with the RF frequency they were heard on, queued
// and, where the receiver measured it, the SNR of the signal copied, queued
// by PSK Reporter's rules (station/pskreporter_queue.h) and sent as UDP datagrams to the
// collector in AppSettings. Nothing here waits: the collector's name is looked up
// asynchronously and a datagram is written without waiting for anything to come back; a spot
// whose RF frequency is not known (no dial) is left out rather than sent with a wrong one.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "station/heard_calls.h"
#include "station/pskreporter_queue.h"

class AppSettings;
class QTimer;
class QUdpSocket;

class SpotReporter : public QObject {
    Q_OBJECT
public:
    struct Sources {
        std::function<std::string()> own_call;         // the station's; "NOCALL": none
        std::function<std::optional<double>()> rf_hz;  // of the tuned signal, when known
        std::function<std::optional<double>()> snr_db; // of the signal copied, when measured
    };
    SpotReporter(AppSettings& settings, Sources sources, QObject* parent = nullptr);
    // What waits goes out in one last datagram, to the collector already found.
    ~SpotReporter() override;

    // On: copied calls are queued and sent. Off: what waits goes out at once, then nothing.
    void set_enabled(bool on);
    bool enabled() const { return enabled_; }
    // Why nothing can be reported now ("no callsign", "no locator"), or empty.
    QString not_ready() const;

    // Text printed into receive pane 0 or 1.
    void hear(int pane, const QString& text);
    // A station of the band-activity list that gave its call (by the same rules), heard at
    // `rf_hz` (none: the rig's dial is not known, and nothing is reported).
    void hear_station(const std::string& call, std::optional<double> rf_hz,
                      std::optional<double> snr_db);
    // What the once-a-few-seconds timer does: the datagram due, if any.
    void tick();
    // The datagram with the spots waiting, now (the reporting ends).
    void send_now();

    std::size_t waiting() const;
    int datagrams_sent() const { return sent_; }
    // The last failure to send, for the menu item's tool tip; empty while all went well.
    QString last_error() const { return error_; }

signals:
    // A call was queued for reporting.
    void spot_queued(const QString& callsign);

private:
    quavel::SpotReceiver receiver() const;
    void send(std::vector<uint8_t> datagram);
    void flush_unsent();
    void look_up();
    void queue_spot(const std::string& call, std::optional<double> rf_hz,
                    std::optional<double> snr_db);

    AppSettings& settings_;
    Sources sources_;
    bool enabled_ = false;
    std::array<quavel::HeardCalls, 2> heard_;
    std::unique_ptr<quavel::PskReporterQueue> queue_;
    QUdpSocket* socket_;
    QTimer* timer_;
    QHostAddress address_;
    QString address_for_; // host:port the address was found for
    int64_t found_at_s_ = 0;
    int lookup_id_ = -1;
    std::vector<std::vector<uint8_t>> unsent_; // while the address is looked up
    int sent_ = 0;
    QString error_;
    mutable quavel::SpotReceiver last_receiver_; // for the last datagram, at the end
    quint16 port_ = 0;
};
