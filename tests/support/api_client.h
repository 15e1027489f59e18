// A program on the other end of the control API: a real QTcpSocket on the loopback that sends
// command lines and collects the event lines that come back. Waiting lets the event loop run
// (the server is on the test's thread); the limits only bound a failure.
#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <chrono>
#include <optional>
#include <vector>

#include "support/qt_wait.h"

namespace quavel::test {

class ApiClient {
public:
    bool connect_to(quint16 port) {
        socket.connectToHost(QHostAddress::LocalHost, port);
        return wait_until([this] { return socket.state() == QAbstractSocket::ConnectedState; });
    }
    void send_raw(const QByteArray& bytes) {
        socket.write(bytes);
        socket.flush();
    }
    void send(const QJsonObject& command) {
        send_raw(QJsonDocument(command).toJson(QJsonDocument::Compact) + '\n');
    }
    // Every event received so far, in order.
    const std::vector<QJsonObject>& events() {
        read();
        return events_;
    }
    // The first event of `type` not yet taken, waiting for it; nothing if none came.
    std::optional<QJsonObject> next(const QString& type,
                                    std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::optional<QJsonObject> found;
        wait_until(
            [&] {
                read();
                for (; taken_ < events_.size(); ++taken_)
                    if (events_[taken_].value("type").toString() == type) {
                        found = events_[taken_++];
                        return true;
                    }
                return false;
            },
            limit);
        return found;
    }
    bool closed_by_peer() {
        return wait_until([this] {
            read();
            return socket.state() == QAbstractSocket::UnconnectedState;
        });
    }

    QTcpSocket socket;

private:
    void read() {
        buffer_ += socket.readAll();
        for (qsizetype end; (end = buffer_.indexOf('\n')) >= 0;) {
            events_.push_back(QJsonDocument::fromJson(buffer_.left(end)).object());
            buffer_.remove(0, end + 1);
        }
    }
    QByteArray buffer_;
    std::vector<QJsonObject> events_;
    size_t taken_ = 0;
};

} // namespace quavel::test
