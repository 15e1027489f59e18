// The control API's TCP server: accepts up to kMaxClients, frames what each sends into commands
// (at most kCommandsPerTurn of one client per turn of the event loop), and sends events to one
// client or all. It never waits on a client: output goes into the socket's buffer, and a client
// that lets more than kMaxPendingBytes pile up there is dropped, as is one that sends a line
// over kMaxLineBytes (after an error event saying so).
//
// Runs on the thread of its event loop (the window's, or quavel-modem's capture loop).
#pragma once

#include <QHostAddress>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <memory>

#include "link/api_protocol.h"

class QTcpServer;
class QTcpSocket;

namespace quavel::link {

class ApiServer : public QObject {
    Q_OBJECT
public:
    // Called for each command read; `client` is the one that sent it, for send(). Commands
    // that cannot be read are answered with an error here and never reach the handler.
    using CommandHandler = std::function<void(int client, const Command& command)>;
    // The events a new client gets first (the status), as {type, fields}.
    using Greeting = std::function<QJsonObject()>;

    explicit ApiServer(QObject* parent = nullptr);
    ~ApiServer() override;

    // Listens on `address`:`port` (0: any free port, see port()). Empty on success, else why not,
    // as a sentence for the operator.
    QString listen(const QHostAddress& address, quint16 port);
    bool listening() const;
    quint16 port() const;

    void set_command_handler(CommandHandler handler) { handler_ = std::move(handler); }
    // `type` of the greeting event and its fields.
    void set_greeting(QString type, Greeting greeting);

    void send(int client, const QString& type, const QJsonObject& fields = {});
    void broadcast(const QString& type, const QJsonObject& fields = {});
    // An error event to `client` (see error_fields).
    void send_error(int client, const QString& why, const QString& command = {},
                    const QJsonValue& id = QJsonValue(QJsonValue::Undefined));
    int client_count() const { return static_cast<int>(clients_.size()); }
    // Each client's output flushed as far as the socket takes it now, then every connection
    // closed (at the end of the program).
    void close();

signals:
    // A client was dropped by the server, and why (for a diagnostic line; nothing waits on it).
    void client_dropped(const QString& why);

private:
    struct Client;
    void accept_clients();
    void schedule(int id);
    void serve(int id);
    void handle_line(int id, const QByteArray& line);
    // Writes without waiting; false (and the client dropped) once it has stopped reading.
    bool write(int id, const QByteArray& line);
    void drop(int id, const QString& why);

    QTcpServer* server_;
    std::map<int, std::unique_ptr<Client>> clients_;
    int next_id_ = 1;
    CommandHandler handler_;
    QString greeting_type_;
    Greeting greeting_;
};

} // namespace quavel::link
