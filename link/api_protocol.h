// The control API's protocol: one JSON object per line each way (UTF-8, ended by "\n"), each with
// a "type". Framing of the byte stream into lines, a line read into a typed command, and the
// event lines sent back. docs/API.md describes it for the programs that use it.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <optional>

namespace quavel::link {

// The port the console and quavel-modem listen on unless told otherwise, on 127.0.0.1 only.
inline constexpr quint16 kDefaultApiPort = 52001;
// A line (without its "\n") longer than this drops the client that sent it.
inline constexpr qsizetype kMaxLineBytes = 64 * 1024;
// Output not yet taken by a client beyond this drops it: it is not reading.
inline constexpr qint64 kMaxPendingBytes = 1024 * 1024;
inline constexpr int kMaxClients = 16;
// Commands of one client handled per turn of the event loop; the rest wait for the next turn,
// so a flood never holds up the window.
inline constexpr int kCommandsPerTurn = 16;

// Cuts a byte stream into lines. A line may end in "\r\n"; the "\r" is dropped.
class LineFramer {
public:
    // Appends what arrived. False once a line has grown over kMaxLineBytes (ended or not): the
    // stream can no longer be framed and the framer stays so.
    bool feed(QByteArrayView bytes);
    // The next whole line, if one has arrived.
    std::optional<QByteArray> next_line();
    bool overflowed() const { return overflowed_; }
    // Bytes held that are not yet a whole line, or lines not yet taken.
    qsizetype buffered() const { return buffer_.size() - start_; }

private:
    QByteArray buffer_;
    qsizetype start_ = 0;   // where the next line begins
    qsizetype scanned_ = 0; // up to here no "\n" past start_
    bool overflowed_ = false;
};

enum class CommandType { StatusGet, RxGet, TxText, TxStart, TxStop, Tune, Speed, OtherSet, LogQso };

// A command as read from a line, its fields checked for type and range.
struct Command {
    CommandType type = CommandType::StatusGet;
    QJsonValue id;      // echoed in an error; Undefined when the client gave none
    QString text;       // tx.text: the text; other.set: the call (may be empty)
    int number = 0;     // tune: the centre in Hz; speed: 1, 2 or 4
    QJsonObject fields; // log.qso: ADIF field name -> string or number
};

struct ParsedCommand {
    std::optional<Command> command;
    QString error; // why not, when there is no command
    QString type;  // the "type" given, as far as it could be read
    QJsonValue id; // the "id" given, as far as it could be read
};

ParsedCommand parse_command(QByteArrayView line);

// The name of a command type as the client writes it ("tx.start").
QString command_name(CommandType type);

// An event's line: `fields` with "type" set to `type`, compact, ended by "\n".
QByteArray event_line(const QString& type, QJsonObject fields = {});
// The error event for a command refused or unreadable: the reason, and the command's type and
// id when known.
QJsonObject error_fields(const QString& why, const QString& command = {},
                         const QJsonValue& id = QJsonValue(QJsonValue::Undefined));

} // namespace quavel::link
