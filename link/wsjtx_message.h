// The datagrams that loggers (JTAlert, GridTracker, Log4OM, N1MM Logger+, KLog, CQRLOG...) read
// from digital-mode programs over UDP: WSJT-X's published message format, schema 3.
//
// Every datagram is a QDataStream in big-endian order at stream version Qt_5_4: the magic
// number, the schema number, the message type and the sender's id, then the type's fields in
// their fixed order. Text ("utf8") is a quint32 byte count and the UTF-8 bytes; a count of
// 0xffffffff is a null text. Receivers ignore types they do not know and fields past the ones
// they know, so only the types below are written, each with all of its fields.
//
// QtCore only: the socket belongs to whoever sends (ui/logger_link.h).
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "station/adif_log.h"

namespace quavel::wsjtx {

inline constexpr quint32 kMagic = 0xadbccbda;
inline constexpr quint32 kSchema = 3;
// Loggers take a client as gone when no heartbeat came for a few of these.
inline constexpr int kHeartbeatSeconds = 15;
// The value of a quint32 field that does not apply (frequency tolerance, T/R period).
inline constexpr quint32 kNotApplicable = 0xffffffff;

enum class Type : quint32 {
    Heartbeat = 0,
    Status = 1,
    QsoLogged = 5,
    Close = 6,
    Replay = 7,
    HaltTx = 8,
    LoggedAdif = 12,
};

// What the station is doing, as a logger follows it (Status, type 1).
struct Status {
    quint64 dial_hz = 0; // the rig's dial; 0 when not known
    QString mode;
    QString dx_call;
    QString report;
    QString tx_mode;
    bool tx_enabled = false;   // a transmission is on (Tx ON was pressed)
    bool transmitting = false; // the transmitter is keyed
    bool decoding = false;
    quint32 rx_df_hz = 0; // audio offsets from the dial
    quint32 tx_df_hz = 0;
    QString de_call;
    QString de_grid;
    QString dx_grid;
    bool tx_watchdog = false;
    QString submode;
    bool fast_mode = false;
    quint8 special_operation = 0; // none
    quint32 frequency_tolerance = kNotApplicable;
    quint32 tr_period = kNotApplicable;
    QString configuration_name;
    QString tx_message;
    bool operator==(const Status&) const = default;
};

// One contact as a logger takes it (QSO Logged, type 5). Times in UTC.
struct QsoLogged {
    QDateTime time_off;
    QString dx_call;
    QString dx_grid;
    quint64 tx_hz = 0; // the RF frequency
    QString mode;
    QString report_sent;
    QString report_received;
    QString tx_power;
    QString comments;
    QString name;
    QDateTime time_on;
    QString operator_call;
    QString my_call;
    QString my_grid;
    QString exchange_sent;
    QString exchange_received;
    QString propagation_mode;
};

// The message of a contact the console logged. The mode is the ADIF mode ("MFSK"), which every
// logger takes; the submode travels in the Logged ADIF record beside it.
QsoLogged qso_logged_of(const QsoRecord& record);
// The Logged ADIF text of a contact: a short ADIF header and the record, so that the message's
// text reads as an ADIF file of one record.
std::string logged_adif_text(const QsoRecord& record, std::string_view program_version);

QByteArray heartbeat_message(const QString& id, const QString& version, const QString& revision);
QByteArray status_message(const QString& id, const Status& status);
QByteArray qso_logged_message(const QString& id, const QsoLogged& qso);
QByteArray logged_adif_message(const QString& id, const std::string& adif_text);
QByteArray close_message(const QString& id);

// A datagram from a logger, as far as the console reads one.
struct Command {
    quint32 schema = 0;
    quint32 type = 0;          // any type; only HaltTx carries a field read here
    QString id;                // the client it is meant for
    bool auto_tx_only = false; // HaltTx
};
// Nothing for a datagram that is not one of these messages, or is cut short before the fields
// its type needs: every count is checked against the bytes there are.
std::optional<Command> parse_command(const QByteArray& datagram);

} // namespace quavel::wsjtx
