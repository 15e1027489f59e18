#include <QDateTime>
#include <QHostAddress>
#include <QTimeZone>

#include <QJsonObject>
#include <cmath>

#include "link/api_server.h"
#include "rx_api.h"

namespace quavel::tools {

namespace {

// rx.get gives at most the last this many characters of each pane.
constexpr qsizetype kKeptPane = 128 * 1024;

QJsonObject status_fields(const RxApiStatus& s) {
    return {{"speed", static_cast<int>(s.speed)},
            {"centre_hz", static_cast<int>(s.centre_hz)},
            {"rf_hz", QJsonValue(QJsonValue::Null)},
            {"receiver", s.receiver == ReceiverChoice::weak ? "weak" : "classic"},
            {"transmitting", false},
            {"keyed", false},
            {"afc", s.afc},
            {"receive_only", true}};
}

class QtRxApi : public RxApi {
public:
    explicit QtRxApi(const RxApiStatus& first) : last_(first) {
        server_.set_greeting("status", [this] { return status_fields(last_); });
        server_.set_command_handler([this](int client, const link::Command& c) {
            const QJsonValue id = c.id;
            switch (c.type) {
            case link::CommandType::StatusGet: {
                QJsonObject answer = status_fields(last_);
                if (!id.isUndefined()) answer.insert("id", id);
                server_.send(client, "status", answer);
                return;
            }
            case link::CommandType::RxGet: {
                QJsonObject answer{
                    {"command", "rx.get"}, {"primary", panes_[0]}, {"secondary", panes_[1]}};
                if (!id.isUndefined()) answer.insert("id", id);
                server_.send(client, "rx.panes", answer);
                return;
            }
            default:
                server_.send_error(client, "quavel-modem rx is a receiver only",
                                   link::command_name(c.type), id);
            }
        });
    }
    QString listen(uint16_t port) { return server_.listen(QHostAddress::LocalHost, port); }

    void text(int pane, std::string_view text, const RxApiStatus& s) override {
        status(s);
        const QString printed =
            QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
        QString& kept = panes_[pane == 1 ? 1 : 0];
        kept += printed;
        if (kept.size() > kKeptPane) kept.remove(0, kept.size() - kKeptPane);
        server_.broadcast("rx.text",
                          {{"text", printed},
                           {"pane", pane},
                           {"receiver", s.receiver == ReceiverChoice::weak ? "weak" : "classic"},
                           {"centre_hz", static_cast<int>(s.centre_hz)},
                           {"rf_hz", QJsonValue(QJsonValue::Null)}});
    }
    void band_line(const RxApiBandLine& line) override {
        server_.broadcast(
            "band.station",
            {{"time",
              QDateTime::fromSecsSinceEpoch(line.utc_s, QTimeZone::utc()).toString(Qt::ISODate)},
             {"freq_hz", std::round(line.freq_hz * 10.0) / 10.0},
             {"rf_hz", QJsonValue(QJsonValue::Null)},
             {"speed", static_cast<int>(line.speed)},
             {"snr_db",
              line.snr_db ? QJsonValue(std::round(*line.snr_db)) : QJsonValue(QJsonValue::Null)},
             {"call", line.call.empty() ? QJsonValue(QJsonValue::Null)
                                        : QJsonValue(QString::fromStdString(line.call))},
             {"text",
              QString::fromLatin1(line.text.data(), static_cast<qsizetype>(line.text.size()))}});
    }
    void status(const RxApiStatus& s) override {
        if (s == last_) return;
        last_ = s;
        server_.broadcast("status", status_fields(s));
    }
    void close() override {
        if (closed_) return;
        closed_ = true;
        server_.broadcast("closing");
        server_.close();
    }
    uint16_t port() const override { return server_.port(); }

private:
    link::ApiServer server_;
    RxApiStatus last_;
    QString panes_[2];
    bool closed_ = false;
};

} // namespace

std::unique_ptr<RxApi> open_rx_api(uint16_t port, const RxApiStatus& first, std::string& error) {
    auto api = std::make_unique<QtRxApi>(first);
    if (const QString why = api->listen(port); !why.isEmpty()) {
        error = why.toStdString();
        return nullptr;
    }
    return api;
}

} // namespace quavel::tools
