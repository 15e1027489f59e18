// The main window's side of the control API: ConsoleApi (ui/console_api.h). Kept apart from the
// form's own handlers in quavel25.cpp.
#include <QAction>
#include <QCoreApplication>
#include <QDateTime>
#include <QHostAddress>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTimer>
#include <cmath>
#include <ctime>

#include "modem/tuning.h"
#include "station/adif_log.h"
#include "station/station_config.h"
#include "ui/app_settings.h"
#include "ui/console_api.h"
#include "ui/memo.h"
#include "ui/quavel25.h"
#include "ui/radio_group.h"
#include "ui/text_panes.h"

namespace {

using quavel::link::Command;
using quavel::link::CommandType;

constexpr const char* kTitle = "Control API";
// How often the window's state is compared with the status last sent.
constexpr int kStatusPollMs = 200;
// The transmit pane takes no more from programs beyond this many characters waiting.
constexpr int kMaxTransmitPane = 16 * 1024;
// rx.get gives at most the last this many characters of each pane, well within the output
// a client may have waiting.
constexpr qsizetype kMaxPaneReply = 128 * 1024;
constexpr qsizetype kMaxCall = 14;

QJsonValue optional_hz(const std::optional<double>& hz) {
    return hz ? QJsonValue(std::round(*hz)) : QJsonValue(QJsonValue::Null);
}

QString receiver_name(quavel::ReceiverChoice choice) {
    return choice == quavel::ReceiverChoice::weak ? QStringLiteral("weak")
                                                  : QStringLiteral("classic");
}

// "YYYYMMDD" and "HHMM" or "HHMMSS" in UTC.
std::optional<std::time_t> adif_time(const QString& date, const QString& time) {
    const QDate d = QDate::fromString(date, "yyyyMMdd");
    const QTime t = QTime::fromString(time, time.size() == 4 ? "HHmm" : "HHmmss");
    if (!d.isValid() || !t.isValid()) return std::nullopt;
    return static_cast<std::time_t>(QDateTime(d, t, Qt::UTC).toSecsSinceEpoch());
}

QString pane_tail(const QString& text) {
    return text.size() > kMaxPaneReply ? text.right(kMaxPaneReply) : text;
}

} // namespace

ConsoleApi::ConsoleApi(TForm1& form, AppSettings& settings, std::optional<int> port_override)
    : QObject(&form), form_(form), settings_(settings), status_timer_(new QTimer(this)) {
    AllowTransmit1 = new QAction("Allow &Programs to Transmit", form.Options1);
    AllowTransmit1->setObjectName("AllowTransmit1");
    AllowTransmit1->setCheckable(true);
    AllowTransmit1->setChecked(settings_.api_allow_transmit());
    form.Options1->addAction(AllowTransmit1);
    connect(AllowTransmit1, &QAction::toggled, this, [this](bool on) {
        settings_.set_api_allow_transmit(on);
        settings_.sync();
        check_status();
    });

    server_.set_greeting("status", [this] { return status(); });
    server_.set_command_handler(
        [this](int client, const Command& command) { execute(client, command); });

    connect(&form_, &TForm1::text_received, this, [this](int pane, const QString& text) {
        server_.broadcast("rx.text", {{"text", text},
                                      {"pane", pane},
                                      {"receiver", receiver_name(form_.station().receiver())},
                                      {"centre_hz", static_cast<int>(form_.station().centre_hz())},
                                      {"rf_hz", optional_hz(form_.rf_frequency_hz())}});
    });
    connect(&form_, &TForm1::text_sent, this, [this](const QString& text) {
        server_.broadcast("tx.text", {{"text", text}});
    });
    connect(&form_, &TForm1::transmission_changed, this,
            [this](bool transmitting, const QString& reason) {
                check_status();
                server_.broadcast(transmitting ? "tx.start" : "tx.end", {{"reason", reason}});
            });
    connect(&form_, &TForm1::band_line, this, [this](const quavel::BandHeardLine& line) {
        const QString time = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(line.utc), Qt::UTC)
                                 .toString(Qt::ISODate);
        server_.broadcast(
            "band.station",
            {{"time", time},
             {"freq_hz", std::round(line.freq_hz * 10.0) / 10.0},
             {"rf_hz", optional_hz(form_.rf_frequency_hz_of(line.freq_hz))},
             {"speed", static_cast<int>(line.speed)},
             {"snr_db",
              line.snr_db ? QJsonValue(std::round(*line.snr_db)) : QJsonValue(QJsonValue::Null)},
             {"call", line.call.empty() ? QJsonValue(QJsonValue::Null)
                                        : QJsonValue(QString::fromStdString(line.call))},
             {"text", from_modem_text(line.text)}});
    });
    connect(&form_, &TForm1::contact_logged, this, [this](const quavel::QsoRecord& record) {
        server_.broadcast("log.qso", {{"call", QString::fromStdString(record.call)},
                                      {"adif", QString::fromStdString(adif_record(record))}});
    });
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &ConsoleApi::close);
    connect(status_timer_, &QTimer::timeout, this, &ConsoleApi::check_status);
    last_status_ = status();

    const int port = port_override.value_or(settings_.api_enabled() ? settings_.api_port() : 0);
    if (port == 0) return;
    const QHostAddress address(settings_.api_address());
    error_ = server_.listen(address, static_cast<quint16>(port));
    QString tell;
    if (!error_.isEmpty())
        tell = error_ + ".\nThe console runs on without it; another port can be set with --api.";
    else if (!address.isLoopback())
        tell = QStringLiteral("The control API listens on %1 port %2: programs on other machines "
                              "can reach this console.")
                   .arg(address.toString())
                   .arg(port);
    if (error_.isEmpty()) status_timer_->start(kStatusPollMs);
    if (!tell.isEmpty())
        // Once the event loop runs; the station holds it while anything is on the air.
        QTimer::singleShot(0, this, [this, tell] {
            form_.station().messages().show(tell.toStdString(), kTitle,
                                            quavel::MessageIcon::Warning);
        });
}

ConsoleApi::~ConsoleApi() {
    close();
    delete AllowTransmit1;
}

void ConsoleApi::close() {
    if (closed_) return;
    closed_ = true;
    status_timer_->stop();
    server_.broadcast("closing");
    server_.close();
}

QJsonObject ConsoleApi::status() const {
    quavel::Station& station = form_.station();
    return {
        {"speed", 1 << std::max(0, form_.RadioGroup3->itemIndex())},
        {"centre_hz", static_cast<int>(station.centre_hz())},
        {"rf_hz", optional_hz(form_.rf_frequency_hz())},
        {"receiver", receiver_name(station.receiver())},
        {"transmitting", station.transmitting()},
        {"keyed", station.keyed()},
        {"other", form_.Memo6->toPlainText().trimmed()},
        {"callsign", QString::fromStdString(station.settings().callsign)},
        {"afc", station.afc()},
        {"allow_transmit", AllowTransmit1 && AllowTransmit1->isChecked()},
    };
}

void ConsoleApi::check_status() {
    const QJsonObject now = status();
    if (now == last_status_) return;
    last_status_ = now;
    server_.broadcast("status", now);
}

QString ConsoleApi::refusal(const Command& command) const {
    const bool transmitting = form_.Button1->text() == "Tx OFF";
    switch (command.type) {
    case CommandType::TxStart:
        if (!AllowTransmit1 || !AllowTransmit1->isChecked())
            return "programs may not transmit: the operator has not ticked Options > Allow "
                   "Programs to Transmit";
        if (transmitting) return "already transmitting";
        return {};
    case CommandType::Speed:
        if (transmitting) return "the speed changes only while receiving";
        return {};
    case CommandType::Tune:
        if (!quavel::centre_in_range(command.number))
            return QStringLiteral("the centre must be %1..%2 Hz")
                .arg(quavel::kCentreMinHz)
                .arg(quavel::kCentreMaxHz);
        return {};
    case CommandType::TxText:
        if (form_.Memo4->document()->characterCount() + command.text.size() > kMaxTransmitPane)
            return "the transmit pane is full";
        return {};
    case CommandType::OtherSet:
        if (command.text.trimmed().size() > kMaxCall) return "the call is too long";
        for (const QChar c : command.text.trimmed())
            if (c.unicode() <= ' ' || c.unicode() >= 0x7f)
                return "the call may hold only printable ASCII without spaces";
        return {};
    default:
        return {};
    }
}

void ConsoleApi::execute(int client, const Command& command) {
    const QString name = quavel::link::command_name(command.type);
    if (const QString why = refusal(command); !why.isEmpty()) {
        server_.send_error(client, why, name, command.id);
        return;
    }
    QJsonObject done{{"command", name}};
    if (!command.id.isUndefined()) done.insert("id", command.id);
    switch (command.type) {
    case CommandType::StatusGet: {
        QJsonObject answer = status();
        if (!command.id.isUndefined()) answer.insert("id", command.id);
        server_.send(client, "status", answer);
        return;
    }
    case CommandType::RxGet:
        done.insert("primary", pane_tail(form_.Memo1->toPlainText()));
        done.insert("secondary", pane_tail(form_.Memo2->toPlainText()));
        server_.send(client, "rx.panes", done);
        return;
    case CommandType::TxText: {
        // As typed: capitals, and nothing the transmit pane would not take from the keyboard.
        QString text;
        for (const QChar c : command.text) {
            if (c == '\n' || c == '\r') {
                text += ' ';
            } else if (c.unicode() >= ' ' && c.unicode() < 0x7f) {
                text += QChar(quavel::callsign_key(static_cast<char>(c.unicode())));
            } else if (c.unicode() >= 0xa0 && c.unicode() <= 0xff) {
                text += c;
            }
        }
        QTextCursor end(form_.Memo4->document());
        end.movePosition(QTextCursor::End);
        end.insertText(text);
        break;
    }
    case CommandType::TxStart:
        form_.toggle_transmission_for("api");
        if (!form_.station().transmitting()) {
            server_.send_error(client, "the transmission did not start (the console says why)",
                               name, command.id);
            return;
        }
        break;
    case CommandType::TxStop:
        // Honoured whatever the operator allows: it only ever ends a transmission.
        if (form_.Button1->text() == "Tx OFF") form_.toggle_transmission_for("api");
        break;
    case CommandType::Tune:
        form_.station().set_centre_frequency(command.number);
        break;
    case CommandType::Speed: {
        const int item = command.number == 1 ? 0 : command.number == 2 ? 1 : 2;
        if (form_.RadioGroup3->itemIndex() != item) {
            form_.RadioGroup3->setItemIndex(item);
            form_.RadioGroup3Click();
        }
        break;
    }
    case CommandType::OtherSet:
        form_.Memo6->setPlainText(command.text.trimmed().toUpper());
        form_.Memo6->moveCursor(QTextCursor::End);
        break;
    case CommandType::LogQso:
        if (const QString why = log_qso(command.fields); !why.isEmpty()) {
            server_.send_error(client, why, name, command.id);
            return;
        }
        break;
    }
    server_.send(client, "ok", done);
    check_status();
}

// The contact from the fields given, the rest filled in as the Log Contact window fills it:
// the call in Memo6, the contact's start and now, the RF frequency of the dial, the mode last
// logged and the station's callsign.
QString ConsoleApi::log_qso(const QJsonObject& given) {
    QJsonObject fields;
    for (auto it = given.begin(); it != given.end(); ++it)
        fields.insert(it.key().toUpper(), it.value());
    const auto text = [&fields](const char* name, const QString& fallback) {
        const QJsonValue v = fields.value(name);
        return v.isString()   ? v.toString().trimmed()
               : v.isDouble() ? QString::number(v.toDouble(), 'g', 12)
                              : fallback;
    };
    static const QStringList known{"CALL",     "QSO_DATE", "TIME_ON",    "QSO_DATE_OFF",
                                   "TIME_OFF", "FREQ",     "BAND",       "MODE",
                                   "SUBMODE",  "RST_SENT", "RST_RCVD",   "STATION_CALLSIGN",
                                   "NAME",     "QTH",      "GRIDSQUARE", "COMMENT"};
    for (auto it = fields.begin(); it != fields.end(); ++it)
        if (!known.contains(it.key())) return "the ADIF field " + it.key() + " is not logged here";

    const std::time_t now = std::time(nullptr);
    const std::time_t start = form_.contact_start().value_or(now);
    const QDateTime start_utc = QDateTime::fromSecsSinceEpoch(start, Qt::UTC);
    const QDateTime now_utc = QDateTime::fromSecsSinceEpoch(now, Qt::UTC);
    quavel::QsoRecord r;
    r.call = text("CALL", form_.Memo6->toPlainText().trimmed()).toUpper().toStdString();
    const QString date_on = text("QSO_DATE", start_utc.toString("yyyyMMdd"));
    const std::optional<std::time_t> on =
        adif_time(date_on, text("TIME_ON", start_utc.toString("HHmmss")));
    const std::optional<std::time_t> off = adif_time(
        text("QSO_DATE_OFF", fields.contains("TIME_OFF") ? date_on : now_utc.toString("yyyyMMdd")),
        text("TIME_OFF", now_utc.toString("HHmmss")));
    const std::optional<double> rf = form_.rf_frequency_hz();
    bool freq_ok = false;
    const double mhz =
        text("FREQ", rf ? QString::number(*rf / 1e6, 'f', 6) : QString()).toDouble(&freq_ok);
    if (r.call.empty() || r.call.find(' ') != std::string::npos) return "no call: give CALL";
    if (!on || !off) return "the times must be YYYYMMDD and HHMM or HHMMSS (UTC)";
    if (*off < *on) return "the contact ends before it starts";
    if (!freq_ok || !(mhz > 0) || mhz > 1e6) return "no RF frequency: give FREQ in MHz";
    r.start_utc = *on;
    r.end_utc = *off;
    r.freq_mhz = mhz;
    const std::string_view band = quavel::adif_band(mhz);
    r.band = text("BAND", QString::fromLatin1(band.data(), band.size())).toStdString();
    if (r.band.empty()) return "no band: the frequency is in none of the amateur bands; give BAND";
    r.mode = text("MODE", settings_.log_mode()).toStdString();
    r.submode = text("SUBMODE", settings_.log_submode()).toStdString();
    if (r.mode.empty()) return "no mode";
    r.rst_sent = text("RST_SENT", "599").toStdString();
    r.rst_rcvd = text("RST_RCVD", "599").toStdString();
    r.station_callsign =
        text("STATION_CALLSIGN", QString::fromStdString(form_.station().settings().callsign))
            .toStdString();
    r.name = text("NAME", {}).toStdString();
    r.qth = text("QTH", {}).toStdString();
    r.gridsquare = text("GRIDSQUARE", {}).toStdString();
    r.comment = text("COMMENT", {}).toStdString();
    const std::string why = form_.log_contact(r);
    return why.empty() ? QString() : QString::fromStdString("the log refused it: " + why);
}
