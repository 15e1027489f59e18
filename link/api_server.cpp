#include "link/api_server.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <vector>

namespace quavel::link {

namespace {
// Read from a socket at a time, and what Qt may hold unread for one: a client sending faster
// than it is served is held back by TCP, not by memory here.
constexpr qint64 kReadChunk = 16 * 1024;
constexpr qint64 kReadBuffer = 4 * kMaxLineBytes;
} // namespace

struct ApiServer::Client {
    QTcpSocket* socket = nullptr;
    LineFramer framer;
    bool scheduled = false;
};

ApiServer::ApiServer(QObject* parent) : QObject(parent), server_(new QTcpServer(this)) {
    server_->setMaxPendingConnections(kMaxClients);
    connect(server_, &QTcpServer::newConnection, this, &ApiServer::accept_clients);
}

ApiServer::~ApiServer() {
    for (auto& [id, client] : clients_) {
        client->socket->disconnect(this);
        client->socket->abort();
    }
}

QString ApiServer::listen(const QHostAddress& address, quint16 port) {
    if (server_->isListening()) server_->close();
    if (server_->listen(address, port)) return {};
    return QStringLiteral("The control API cannot listen on %1 port %2: %3")
        .arg(address.toString())
        .arg(port)
        .arg(server_->errorString());
}

bool ApiServer::listening() const {
    return server_->isListening();
}

quint16 ApiServer::port() const {
    return server_->serverPort();
}

void ApiServer::set_greeting(QString type, Greeting greeting) {
    greeting_type_ = std::move(type);
    greeting_ = std::move(greeting);
}

void ApiServer::accept_clients() {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        if (client_count() >= kMaxClients) {
            // Told why, then closed once the line has gone; nothing more is read from it.
            socket->write(event_line("error", error_fields("too many clients")));
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            socket->disconnectFromHost();
            continue;
        }
        const int id = next_id_++;
        auto client = std::make_unique<Client>();
        client->socket = socket;
        socket->setParent(this);
        socket->setReadBufferSize(kReadBuffer);
        clients_[id] = std::move(client);
        connect(socket, &QTcpSocket::readyRead, this, [this, id] { schedule(id); });
        connect(socket, &QTcpSocket::disconnected, this, [this, id] {
            if (auto it = clients_.find(id); it != clients_.end()) {
                it->second->socket->deleteLater();
                clients_.erase(it);
            }
        });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, id] {
            // Reading resumes once the client takes its output again (see serve()).
            if (clients_.count(id)) schedule(id);
        });
        if (greeting_) write(id, event_line(greeting_type_, greeting_()));
        // Bytes that came with the connection.
        if (clients_.count(id) && socket->bytesAvailable() > 0) schedule(id);
    }
}

void ApiServer::schedule(int id) {
    auto it = clients_.find(id);
    if (it == clients_.end() || it->second->scheduled) return;
    it->second->scheduled = true;
    QTimer::singleShot(0, this, [this, id] { serve(id); });
}

void ApiServer::serve(int id) {
    auto it = clients_.find(id);
    if (it == clients_.end()) return;
    it->second->scheduled = false;
    for (int handled = 0; handled < kCommandsPerTurn;) {
        Client& c = *clients_.at(id);
        // A client that does not take its answers is not served more until it does.
        if (c.socket->bytesToWrite() > kMaxPendingBytes / 2) return;
        if (std::optional<QByteArray> line = c.framer.next_line()) {
            ++handled;
            handle_line(id, *line);
            if (!clients_.count(id)) return;
            continue;
        }
        if (c.framer.overflowed()) {
            write(id, event_line("error", error_fields(QStringLiteral("line over %1 bytes: closing")
                                                           .arg(kMaxLineBytes))));
            drop(id, "line over the limit");
            return;
        }
        if (c.socket->bytesAvailable() == 0) return;
        c.framer.feed(c.socket->read(kReadChunk));
    }
    // More may be waiting: the next turn, after everything else the loop has to do.
    schedule(id);
}

void ApiServer::handle_line(int id, const QByteArray& line) {
    if (line.trimmed().isEmpty()) return;
    const ParsedCommand parsed = parse_command(line);
    if (!parsed.command) {
        send_error(id, parsed.error, parsed.type, parsed.id);
        return;
    }
    if (handler_) handler_(id, *parsed.command);
}

bool ApiServer::write(int id, const QByteArray& line) {
    auto it = clients_.find(id);
    if (it == clients_.end()) return false;
    QTcpSocket* socket = it->second->socket;
    if (socket->bytesToWrite() + line.size() > kMaxPendingBytes) {
        drop(id, "not reading its events");
        return false;
    }
    socket->write(line);
    return true;
}

void ApiServer::drop(int id, const QString& why) {
    auto it = clients_.find(id);
    if (it == clients_.end()) return;
    QTcpSocket* socket = it->second->socket;
    clients_.erase(it);
    socket->disconnect(this);
    // What was written may still go (the error saying why); the connection closes after it,
    // or at once should the client not take it.
    socket->disconnectFromHost();
    if (socket->state() != QAbstractSocket::UnconnectedState &&
        socket->bytesToWrite() > kMaxPendingBytes / 2)
        socket->abort();
    QTimer::singleShot(1000, socket, [socket] { socket->abort(); });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    if (socket->state() == QAbstractSocket::UnconnectedState) socket->deleteLater();
    emit client_dropped(why);
}

void ApiServer::send(int client, const QString& type, const QJsonObject& fields) {
    write(client, event_line(type, fields));
}

void ApiServer::broadcast(const QString& type, const QJsonObject& fields) {
    if (clients_.empty()) return;
    const QByteArray line = event_line(type, fields);
    std::vector<int> ids;
    ids.reserve(clients_.size());
    for (const auto& [id, client] : clients_)
        ids.push_back(id);
    for (int id : ids)
        write(id, line);
}

void ApiServer::send_error(int client, const QString& why, const QString& command,
                           const QJsonValue& id) {
    send(client, "error", error_fields(why, command, id));
}

void ApiServer::close() {
    for (auto& [id, client] : clients_) {
        client->socket->disconnect(this);
        client->socket->flush();
        client->socket->disconnectFromHost();
    }
    clients_.clear();
    server_->close();
}

} // namespace quavel::link
