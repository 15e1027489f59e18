#include "link/api_protocol.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace quavel::link {

namespace {

constexpr std::array<std::pair<CommandType, const char*>, 9> kNames{{
    {CommandType::StatusGet, "status.get"},
    {CommandType::RxGet, "rx.get"},
    {CommandType::TxText, "tx.text"},
    {CommandType::TxStart, "tx.start"},
    {CommandType::TxStop, "tx.stop"},
    {CommandType::Tune, "tune"},
    {CommandType::Speed, "speed"},
    {CommandType::OtherSet, "other.set"},
    {CommandType::LogQso, "log.qso"},
}};

// A JSON number that is a whole number within [low, high].
std::optional<int> whole_number(const QJsonValue& value, int low, int high) {
    if (!value.isDouble()) return std::nullopt;
    const double d = value.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || d < low || d > high) return std::nullopt;
    return static_cast<int>(d);
}

} // namespace

bool LineFramer::feed(QByteArrayView bytes) {
    if (overflowed_) return false;
    // Taken lines are let go once they are most of what is held.
    if (start_ > 0 && start_ >= buffer_.size() / 2) {
        buffer_.remove(0, start_);
        scanned_ -= start_;
        start_ = 0;
    }
    buffer_.append(bytes);
    // Whole lines too long are found as they are taken; here the one still arriving.
    const qsizetype last = buffer_.lastIndexOf('\n');
    const qsizetype tail = last < start_ ? start_ : last + 1;
    if (buffer_.size() - tail > kMaxLineBytes) overflowed_ = true;
    return !overflowed_;
}

std::optional<QByteArray> LineFramer::next_line() {
    if (overflowed_) return std::nullopt;
    const qsizetype end = buffer_.indexOf('\n', std::max(start_, scanned_));
    if (end < 0) {
        scanned_ = buffer_.size();
        return std::nullopt;
    }
    qsizetype length = end - start_;
    if (length > kMaxLineBytes) {
        overflowed_ = true;
        return std::nullopt;
    }
    if (length > 0 && buffer_[end - 1] == '\r') --length;
    QByteArray line = buffer_.mid(start_, length);
    start_ = end + 1;
    scanned_ = start_;
    return line;
}

QString command_name(CommandType type) {
    for (const auto& [t, name] : kNames)
        if (t == type) return QString::fromLatin1(name);
    return {};
}

ParsedCommand parse_command(QByteArrayView line) {
    ParsedCommand result;
    QJsonParseError parse_error;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(line.data(), line.size()), &parse_error);
    if (parse_error.error != QJsonParseError::NoError) {
        result.error = "not JSON: " + parse_error.errorString();
        return result;
    }
    if (!document.isObject()) {
        result.error = "not a JSON object";
        return result;
    }
    const QJsonObject object = document.object();
    result.id = object.value("id");
    const QJsonValue type = object.value("type");
    if (!type.isString()) {
        result.error = "no \"type\"";
        return result;
    }
    result.type = type.toString();
    Command c;
    c.id = result.id;
    bool known = false;
    for (const auto& [t, name] : kNames)
        if (result.type == QLatin1String(name)) {
            c.type = t;
            known = true;
        }
    if (!known) {
        result.error = "unknown command";
        return result;
    }
    switch (c.type) {
    case CommandType::TxText:
        if (!object.value("text").isString()) {
            result.error = "\"text\" must be a string";
            return result;
        }
        c.text = object.value("text").toString();
        break;
    case CommandType::OtherSet:
        if (!object.value("call").isString()) {
            result.error = "\"call\" must be a string (empty clears)";
            return result;
        }
        c.text = object.value("call").toString();
        break;
    case CommandType::Tune: {
        const std::optional<int> hz = whole_number(object.value("hz"), 0, 100000);
        if (!hz) {
            result.error = "\"hz\" must be a whole number of Hz";
            return result;
        }
        c.number = *hz;
        break;
    }
    case CommandType::Speed: {
        const std::optional<int> speed = whole_number(object.value("speed"), 1, 4);
        if (!speed || *speed == 3) {
            result.error = "\"speed\" must be 1, 2 or 4";
            return result;
        }
        c.number = *speed;
        break;
    }
    case CommandType::LogQso: {
        const QJsonValue fields = object.value("fields");
        if (!fields.isObject() && !fields.isUndefined()) {
            result.error = "\"fields\" must be an object of ADIF fields";
            return result;
        }
        c.fields = fields.toObject();
        for (auto it = c.fields.begin(); it != c.fields.end(); ++it)
            if (!it.value().isString() && !it.value().isDouble()) {
                result.error = "ADIF field " + it.key() + " must be a string or a number";
                return result;
            }
        break;
    }
    case CommandType::StatusGet:
    case CommandType::RxGet:
    case CommandType::TxStart:
    case CommandType::TxStop:
        break;
    }
    result.command = c;
    return result;
}

QByteArray event_line(const QString& type, QJsonObject fields) {
    fields.insert("type", type);
    QByteArray line = QJsonDocument(fields).toJson(QJsonDocument::Compact);
    line.append('\n');
    return line;
}

QJsonObject error_fields(const QString& why, const QString& command, const QJsonValue& id) {
    QJsonObject fields{{"error", why}};
    if (!command.isEmpty()) fields.insert("command", command);
    if (!id.isUndefined()) fields.insert("id", id);
    return fields;
}

} // namespace quavel::link
