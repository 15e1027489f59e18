// The console's link to loggers over UDP: each contact logged goes out at once as the loggers
// of digital-mode programs listen for it (link/wsjtx_message.h), with a heartbeat every 15 s, the
// station's status when it changes and a close when the console goes. Optionally the contact's
// plain ADIF record as one datagram to a port of its own, for loggers that take that.
//
// Sending never waits: a datagram is handed to the system and forgotten. One that cannot be
// sent (no route, a refusal reported back) is counted, and the last reason kept, never shown in
// a box. Of what loggers send back to the port our datagrams come from, only HaltTx meant for
// this console is taken (halt_requested()); everything else, malformed or not, is dropped.
//
// A destination in 224.0.0.0/4 or ff00::/8 is a multicast group: datagrams go out with a TTL of
// one hop and loop back, so several loggers on this machine hear them.
//
// Window's thread only.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUdpSocket>
#include <optional>
#include <string>

#include "link/wsjtx_message.h"
#include "station/adif_log.h"

struct LoggerEndpoint {
    QHostAddress address;
    quint16 port = 0;
    bool operator==(const LoggerEndpoint&) const = default;
};

// "127.0.0.1:2237", "localhost:2237", "[::1]:2237", "[ff02::1]:2237": a numeric address (or
// localhost) and a port 1..65535. Nothing for anything else (names are not looked up: the
// window never waits on a name server).
std::optional<LoggerEndpoint> parse_logger_endpoint(const QString& text);
// "127.0.0.1:2237", "[::1]:2237".
QString logger_endpoint_text(const LoggerEndpoint& endpoint);

class LoggerLink : public QObject {
    Q_OBJECT
public:
    // The id loggers know this console by.
    static constexpr const char* kId = "Quavel";
    static constexpr quint16 kDefaultPort = 2237;
    static constexpr quint16 kDefaultRawAdifPort = 2333;

    struct Config {
        bool enabled = false;
        LoggerEndpoint destination{QHostAddress(QHostAddress::LocalHost), kDefaultPort};
        bool raw_adif = false;
        quint16 raw_adif_port = kDefaultRawAdifPort; // on the destination's host
        bool operator==(const Config&) const = default;
    };

    explicit LoggerLink(QString program_version, QObject* parent = nullptr);
    // A close goes to the loggers when the link was on.
    ~LoggerLink() override;

    // Takes the configuration. Switched on or pointed elsewhere, the link starts as a client
    // does: a heartbeat and then the status (the last one given). Switched off, a close.
    void configure(const Config& config);
    const Config& config() const { return config_; }
    // The station's status: sent when it differs from the last one sent (or `always`).
    void set_status(const quavel::wsjtx::Status& status, bool always = false);
    // A contact just logged: QSO Logged and Logged ADIF, and the raw record when that is on.
    void send_contact(const quavel::QsoRecord& record);

    // Datagrams handed to the system, and those that could not be sent, since the start.
    int sent() const { return sent_; }
    int failed() const { return failed_; }
    QString last_error() const { return last_error_; }
    // The local port replies come to (0 while the link is off).
    quint16 local_port() const { return socket_.localPort(); }

signals:
    // A logger asked this console to stop transmitting.
    void halt_requested();

private:
    void start();
    void heartbeat();
    void send(const QByteArray& datagram, const QHostAddress& to, quint16 port);
    void read_commands();

    QString version_;
    Config config_;
    QUdpSocket socket_;
    QTimer heartbeat_timer_;
    std::optional<quavel::wsjtx::Status> status_;
    bool in_send_ = false;
    int sent_ = 0;
    int failed_ = 0;
    QString last_error_;
};
