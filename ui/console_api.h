// The console's side of the control API (docs/API.md): the server of link/ on the window's
// thread, the window's state sent out as events, and commands carried out through the window's
// own handlers, so every rule that holds for the operator's clicks (the watchdog, keying, speed
// only while receiving) holds for a program's commands too. Nothing here waits on a client.
#pragma once

#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <optional>

#include "link/api_server.h"

class AppSettings;
class QAction;
class QTimer;
class TForm1;
namespace quavel {
struct QsoRecord;
}

class ConsoleApi : public QObject {
    Q_OBJECT
public:
    // Listens as the settings say, or on `port_override` for this run (0: not at all). A port
    // that cannot be bound, or an address beyond this machine, is told to the operator through
    // the station's messages once the event loop runs; the console runs on either way. The
    // window and the settings outlive this.
    ConsoleApi(TForm1& form, AppSettings& settings, std::optional<int> port_override = {});
    ~ConsoleApi() override;

    bool listening() const { return server_.listening(); }
    quint16 port() const { return server_.port(); }
    // Why the API is not listening, when it is meant to; empty otherwise.
    QString error() const { return error_; }
    // Options > "Allow Programs to Transmit" (remembered; off by default).
    QPointer<QAction> AllowTransmit1;

    // The window's state as the status event sends it.
    QJsonObject status() const;
    // Sends "closing" to every client and closes them (the console is quitting). Once.
    void close();

private:
    void execute(int client, const quavel::link::Command& command);
    // The status sent again if anything in it changed.
    void check_status();
    QString refusal(const quavel::link::Command& command) const;
    QString log_qso(const QJsonObject& fields);

    TForm1& form_;
    AppSettings& settings_;
    quavel::link::ApiServer server_;
    QTimer* status_timer_;
    QJsonObject last_status_;
    QString error_;
    bool closed_ = false;
};
