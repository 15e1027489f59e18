#include "ui/logger_link.h"

#include <QRegularExpression>
#include <utility>

namespace {

bool is_multicast(const QHostAddress& address) {
    return address.isMulticast();
}

} // namespace

std::optional<LoggerEndpoint> parse_logger_endpoint(const QString& text) {
    // "[v6]:port" or "v4-or-localhost:port".
    static const QRegularExpression form(
        QStringLiteral(R"(^\s*(?:\[([^\]]+)\]|([^:\[\]\s]+)):(\d{1,5})\s*$)"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch()) return std::nullopt;
    const uint port = m.captured(3).toUInt();
    if (port == 0 || port > 65535) return std::nullopt;
    const QString host = m.captured(1).isEmpty() ? m.captured(2) : m.captured(1);
    QHostAddress address;
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        address = QHostAddress(QHostAddress::LocalHost);
    else if (!address.setAddress(host))
        return std::nullopt;
    // A bracketed host is IPv6, a bare one IPv4.
    const bool v6 = address.protocol() == QAbstractSocket::IPv6Protocol;
    if (v6 != !m.captured(1).isEmpty()) return std::nullopt;
    return LoggerEndpoint{address, static_cast<quint16>(port)};
}

QString logger_endpoint_text(const LoggerEndpoint& endpoint) {
    const QString host = endpoint.address.toString();
    const bool v6 = endpoint.address.protocol() == QAbstractSocket::IPv6Protocol;
    return (v6 ? QLatin1Char('[') + host + QLatin1Char(']') : host) + QLatin1Char(':') +
           QString::number(endpoint.port);
}

LoggerLink::LoggerLink(QString program_version, QObject* parent)
    : QObject(parent), version_(std::move(program_version)) {
    heartbeat_timer_.setInterval(quavel::wsjtx::kHeartbeatSeconds * 1000);
    connect(&heartbeat_timer_, &QTimer::timeout, this, &LoggerLink::heartbeat);
    connect(&socket_, &QUdpSocket::readyRead, this, &LoggerLink::read_commands);
    // A refusal the system reports back after a datagram went: counted, kept, never shown.
    connect(&socket_, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (in_send_) return; // counted there
        ++failed_;
        last_error_ = socket_.errorString();
    });
}

LoggerLink::~LoggerLink() {
    if (config_.enabled)
        send(quavel::wsjtx::close_message(kId), config_.destination.address,
             config_.destination.port);
}

void LoggerLink::configure(const Config& config) {
    if (config == config_ && socket_.state() == QAbstractSocket::BoundState) return;
    if (config_.enabled && !(config.enabled && config.destination == config_.destination))
        send(quavel::wsjtx::close_message(kId), config_.destination.address,
             config_.destination.port);
    const bool restart =
        config.enabled && !(config_.enabled && config.destination == config_.destination &&
                            socket_.state() == QAbstractSocket::BoundState);
    config_ = config;
    if (!config_.enabled) {
        heartbeat_timer_.stop();
        socket_.close();
        return;
    }
    if (restart) start();
}

void LoggerLink::start() {
    socket_.close();
    const bool v6 = config_.destination.address.protocol() == QAbstractSocket::IPv6Protocol;
    // Any port: loggers answer to the one our datagrams come from.
    if (!socket_.bind(
            v6 ? QHostAddress(QHostAddress::AnyIPv6) : QHostAddress(QHostAddress::AnyIPv4), 0)) {
        ++failed_;
        last_error_ = socket_.errorString();
        return;
    }
    if (is_multicast(config_.destination.address)) {
        socket_.setSocketOption(QAbstractSocket::MulticastTtlOption, 1);
        socket_.setSocketOption(QAbstractSocket::MulticastLoopbackOption, 1);
    }
    heartbeat();
    if (status_) set_status(*status_, true);
    heartbeat_timer_.start();
}

void LoggerLink::heartbeat() {
    send(quavel::wsjtx::heartbeat_message(kId, version_, QString()), config_.destination.address,
         config_.destination.port);
}

void LoggerLink::set_status(const quavel::wsjtx::Status& status, bool always) {
    const bool changed = !status_ || !(*status_ == status);
    status_ = status;
    if (!config_.enabled || socket_.state() != QAbstractSocket::BoundState) return;
    if (!changed && !always) return;
    send(quavel::wsjtx::status_message(kId, status), config_.destination.address,
         config_.destination.port);
}

void LoggerLink::send_contact(const quavel::QsoRecord& record) {
    if (!config_.enabled || socket_.state() != QAbstractSocket::BoundState) return;
    const LoggerEndpoint& to = config_.destination;
    send(quavel::wsjtx::qso_logged_message(kId, quavel::wsjtx::qso_logged_of(record)), to.address,
         to.port);
    send(quavel::wsjtx::logged_adif_message(
             kId, quavel::wsjtx::logged_adif_text(record, version_.toStdString())),
         to.address, to.port);
    if (config_.raw_adif)
        send(QByteArray::fromStdString(quavel::adif_record(record)), to.address,
             config_.raw_adif_port);
}

void LoggerLink::send(const QByteArray& datagram, const QHostAddress& to, quint16 port) {
    if (socket_.state() != QAbstractSocket::BoundState) return;
    in_send_ = true;
    const qint64 written = socket_.writeDatagram(datagram, to, port);
    in_send_ = false;
    if (written == datagram.size()) {
        ++sent_;
    } else {
        ++failed_;
        last_error_ = socket_.errorString();
    }
}

void LoggerLink::read_commands() {
    // A datagram larger than any command is read whole and dropped like any other stranger.
    while (socket_.hasPendingDatagrams()) {
        const qint64 size = socket_.pendingDatagramSize();
        QByteArray datagram(static_cast<qsizetype>(std::max<qint64>(size, 0)), Qt::Uninitialized);
        const qint64 got = socket_.readDatagram(datagram.data(), datagram.size());
        if (got < 0) break;
        datagram.truncate(static_cast<qsizetype>(got));
        const std::optional<quavel::wsjtx::Command> command =
            quavel::wsjtx::parse_command(datagram);
        if (!command || command->id != QLatin1String(kId)) continue;
        // Stopping is the one thing asked of this console, and the safe one: a halt of the
        // automatic sequence alone means a halt here, where nothing transmits on its own.
        if (command->type == static_cast<quint32>(quavel::wsjtx::Type::HaltTx))
            emit halt_requested();
    }
}
