#include "link/wsjtx_message.h"

#include <QDataStream>
#include <QIODevice>
#include <cmath>

namespace quavel::wsjtx {

namespace {

// A stream over `out` with the header of a message of `type` from `id` written.
class Writer {
public:
    Writer(Type type, const QString& id) : stream_(&bytes_, QIODevice::WriteOnly) {
        stream_.setByteOrder(QDataStream::BigEndian);
        stream_.setVersion(QDataStream::Qt_5_4);
        stream_ << kMagic << kSchema << static_cast<quint32>(type);
        text(id);
    }
    // Never the null text: loggers differ in how they take one, an empty one they all read.
    Writer& text(const QString& value) {
        const QByteArray utf8 = value.toUtf8();
        stream_ << static_cast<quint32>(utf8.size());
        stream_.writeRawData(utf8.constData(), static_cast<int>(utf8.size()));
        return *this;
    }
    template <typename T> Writer& operator<<(const T& value) {
        stream_ << value;
        return *this;
    }
    QByteArray take() { return std::move(bytes_); }

private:
    QByteArray bytes_;
    QDataStream stream_;
};

// Written with the UTC time spec (1), not as a time zone (3), which loggers do not read.
QDateTime utc(std::time_t t) {
    return QDateTime::fromSecsSinceEpoch(static_cast<qint64>(t), Qt::UTC);
}

void add_header_field(std::string& out, std::string_view name, std::string_view value) {
    out += '<';
    out += name;
    out += ':';
    out += std::to_string(value.size());
    out += '>';
    out += value;
    out += '\n';
}

} // namespace

QsoLogged qso_logged_of(const QsoRecord& r) {
    QsoLogged q;
    q.time_off = utc(r.end_utc);
    q.time_on = utc(r.start_utc);
    q.dx_call = QString::fromStdString(r.call);
    q.dx_grid = QString::fromStdString(r.gridsquare);
    const double hz = std::round(r.freq_mhz * 1e6);
    q.tx_hz = std::isfinite(hz) && hz > 0 && hz < 1e15 ? static_cast<quint64>(hz) : 0;
    q.mode = QString::fromStdString(r.mode);
    q.report_sent = QString::fromStdString(r.rst_sent);
    q.report_received = QString::fromStdString(r.rst_rcvd);
    q.comments = QString::fromStdString(r.comment);
    q.name = QString::fromStdString(r.name);
    q.my_call = QString::fromStdString(r.station_callsign);
    return q;
}

std::string logged_adif_text(const QsoRecord& record, std::string_view program_version) {
    std::string out = "\n";
    add_header_field(out, "adif_ver", kAdifVersion);
    add_header_field(out, "programid", kAdifProgramId);
    if (!program_version.empty()) add_header_field(out, "programversion", program_version);
    out += "<EOH>\n";
    out += adif_record(record);
    return out;
}

QByteArray heartbeat_message(const QString& id, const QString& version, const QString& revision) {
    Writer w(Type::Heartbeat, id);
    w << kSchema;
    w.text(version).text(revision);
    return w.take();
}

QByteArray status_message(const QString& id, const Status& s) {
    Writer w(Type::Status, id);
    w << s.dial_hz;
    w.text(s.mode).text(s.dx_call).text(s.report).text(s.tx_mode);
    w << s.tx_enabled << s.transmitting << s.decoding << s.rx_df_hz << s.tx_df_hz;
    w.text(s.de_call).text(s.de_grid).text(s.dx_grid);
    w << s.tx_watchdog;
    w.text(s.submode);
    w << s.fast_mode << s.special_operation << s.frequency_tolerance << s.tr_period;
    w.text(s.configuration_name).text(s.tx_message);
    return w.take();
}

QByteArray qso_logged_message(const QString& id, const QsoLogged& q) {
    Writer w(Type::QsoLogged, id);
    w << q.time_off;
    w.text(q.dx_call).text(q.dx_grid);
    w << q.tx_hz;
    w.text(q.mode).text(q.report_sent).text(q.report_received).text(q.tx_power);
    w.text(q.comments).text(q.name);
    w << q.time_on;
    w.text(q.operator_call).text(q.my_call).text(q.my_grid).text(q.exchange_sent);
    w.text(q.exchange_received).text(q.propagation_mode);
    return w.take();
}

QByteArray logged_adif_message(const QString& id, const std::string& adif_text) {
    Writer w(Type::LoggedAdif, id);
    w.text(QString::fromStdString(adif_text));
    return w.take();
}

QByteArray close_message(const QString& id) {
    return Writer(Type::Close, id).take();
}

std::optional<Command> parse_command(const QByteArray& datagram) {
    QDataStream in(datagram);
    in.setByteOrder(QDataStream::BigEndian);
    in.setVersion(QDataStream::Qt_5_4);
    quint32 magic = 0;
    Command c;
    in >> magic >> c.schema >> c.type;
    if (in.status() != QDataStream::Ok || magic != kMagic || c.schema < 2) return std::nullopt;
    // The id: its count may claim anything; it must fit in what is left.
    quint32 length = 0;
    in >> length;
    if (in.status() != QDataStream::Ok) return std::nullopt;
    if (length != 0xffffffff) {
        const qint64 left = datagram.size() - in.device()->pos();
        if (static_cast<qint64>(length) > left) return std::nullopt;
        QByteArray id(static_cast<qsizetype>(length), Qt::Uninitialized);
        if (in.readRawData(id.data(), static_cast<int>(length)) != static_cast<int>(length))
            return std::nullopt;
        c.id = QString::fromUtf8(id);
    }
    if (c.type == static_cast<quint32>(Type::HaltTx)) {
        in >> c.auto_tx_only;
        if (in.status() != QDataStream::Ok) return std::nullopt;
    }
    return c;
}

} // namespace quavel::wsjtx
