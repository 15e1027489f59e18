// The window's part in reporting spots: the Options items, the Station Locator window and the
// SpotReporter that sends what the panes copy.
#include "ui/quavel25_spots.h"

#include <QAction>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHostInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRandomGenerator>
#include <QTimer>
#include <QUdpSocket>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>

#include "station/callsign.h"
#include "ui/app_settings.h"
#include "ui/quavel25.h"

namespace {

constexpr int kTickMs = 5000;
constexpr std::size_t kMostUnsent = 4;
constexpr int64_t kAddressSeconds = 3600;

int64_t now_s() {
    return QDateTime::currentSecsSinceEpoch();
}

std::string capitals(const QString& text) {
    return text.trimmed().toUpper().toStdString();
}

} // namespace

SpotReporter::SpotReporter(AppSettings& settings, Sources sources, QObject* parent)
    : QObject(parent), settings_(settings), sources_(std::move(sources)),
      socket_(new QUdpSocket(this)), timer_(new QTimer(this)) {
    timer_->setObjectName("SpotTimer");
    timer_->setInterval(kTickMs);
    connect(timer_, &QTimer::timeout, this, &SpotReporter::tick);
}

SpotReporter::~SpotReporter() {
    if (lookup_id_ >= 0) QHostInfo::abortHostLookup(lookup_id_);
    // The window's station and settings may be gone by now: what waits goes with what was
    // last used, to the collector already found (none is looked up any more).
    if (!enabled_ || !queue_ || address_.isNull() || last_receiver_.callsign.empty()) return;
    if (auto d = queue_->take_now(now_s(), last_receiver_))
        socket_->writeDatagram(reinterpret_cast<const char*>(d->data()),
                               static_cast<qint64>(d->size()), address_, port_);
}

void SpotReporter::set_enabled(bool on) {
    if (on == enabled_) return;
    if (!on) send_now();
    enabled_ = on;
    for (quavel::HeardCalls& h : heard_)
        h.clear();
    if (on) {
        queue_ = std::make_unique<quavel::PskReporterQueue>(
            now_s(), [] { return QRandomGenerator::global()->generateDouble(); });
        timer_->start();
    } else {
        queue_.reset();
        timer_->stop();
    }
}

QString SpotReporter::not_ready() const {
    const std::string call = sources_.own_call ? sources_.own_call() : std::string();
    if (call.empty() || call == "NOCALL" || !quavel::looks_like_callsign(call))
        return QStringLiteral("no callsign (Set Up)");
    if (settings_.station_locator().isEmpty()) return QStringLiteral("no locator");
    return {};
}

quavel::SpotReceiver SpotReporter::receiver() const {
    quavel::SpotReceiver r;
    r.callsign = capitals(QString::fromStdString(sources_.own_call()));
    const QString locator = settings_.station_locator();
    // Maidenhead's usual case: field letters in capitals, subsquare letters small.
    r.locator = (locator.left(4).toUpper() + locator.mid(4).toLower()).toStdString();
    r.software = "Quavel " QUAVEL_VERSION;
    last_receiver_ = r;
    return r;
}

void SpotReporter::hear(int pane, const QString& text) {
    if (!enabled_ || pane < 0 || pane >= static_cast<int>(heard_.size())) return;
    quavel::HeardCalls& heard = heard_[static_cast<std::size_t>(pane)];
    heard.set_own_call(sources_.own_call ? sources_.own_call() : std::string());
    const std::vector<std::string> calls = heard.feed(text.toLatin1().toStdString());
    if (calls.empty()) return;
    const std::optional<double> rf = sources_.rf_hz ? sources_.rf_hz() : std::nullopt;
    const std::optional<double> snr = sources_.snr_db ? sources_.snr_db() : std::nullopt;
    for (const std::string& call : calls)
        queue_spot(call, rf, snr);
}

void SpotReporter::hear_station(const std::string& call, std::optional<double> rf_hz,
                                std::optional<double> snr_db) {
    if (!enabled_ || call.empty()) return;
    const std::string own =
        sources_.own_call ? capitals(QString::fromStdString(sources_.own_call())) : std::string();
    if (call == own) return;
    queue_spot(call, rf_hz, snr_db);
}

void SpotReporter::queue_spot(const std::string& call, std::optional<double> rf,
                              std::optional<double> snr) {
    if (!queue_ || !not_ready().isEmpty()) return;
    if (!rf || !std::isfinite(*rf) || *rf < 1.0 ||
        *rf > static_cast<double>(std::numeric_limits<uint32_t>::max()))
        return;
    quavel::Spot spot;
    spot.callsign = call;
    spot.frequency_hz = static_cast<uint32_t>(std::lround(*rf));
    if (snr && std::isfinite(*snr))
        spot.snr_db = static_cast<int>(std::lround(std::clamp(*snr, -128.0, 127.0)));
    spot.time_s = now_s();
    if (queue_->add(spot)) emit spot_queued(QString::fromStdString(call));
}

std::size_t SpotReporter::waiting() const {
    return queue_ ? queue_->waiting() : 0;
}

void SpotReporter::tick() {
    if (!enabled_ || !queue_ || !not_ready().isEmpty()) return;
    if (auto datagram = queue_->take_due(now_s(), receiver())) send(std::move(*datagram));
}

void SpotReporter::send_now() {
    if (!enabled_ || !queue_ || !not_ready().isEmpty()) return;
    if (auto datagram = queue_->take_now(now_s(), receiver())) send(std::move(*datagram));
}

void SpotReporter::send(std::vector<uint8_t> datagram) {
    if (unsent_.size() >= kMostUnsent) unsent_.erase(unsent_.begin());
    unsent_.push_back(std::move(datagram));
    const QString host = settings_.spots_host();
    const QString wanted = QStringLiteral("%1:%2").arg(host).arg(settings_.spots_port());
    // The collector's address is asked for again now and then: it may move.
    if (address_for_ != wanted || now_s() - found_at_s_ >= kAddressSeconds || now_s() < found_at_s_)
        address_ = QHostAddress();
    if (address_.isNull()) {
        if (QHostAddress literal; literal.setAddress(host)) {
            address_ = literal;
            address_for_ = wanted;
            found_at_s_ = now_s();
        } else {
            look_up();
            return;
        }
    }
    flush_unsent();
}

void SpotReporter::look_up() {
    if (lookup_id_ >= 0) return; // the answer to the one asked sends these too
    const QString host = settings_.spots_host();
    const QString wanted = QStringLiteral("%1:%2").arg(host).arg(settings_.spots_port());
    lookup_id_ = QHostInfo::lookupHost(host, this, [this, wanted](const QHostInfo& info) {
        lookup_id_ = -1;
        for (const QHostAddress& a : info.addresses()) {
            if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                address_ = a;
                address_for_ = wanted;
                break;
            }
        }
        if (address_.isNull() && !info.addresses().isEmpty()) {
            address_ = info.addresses().front();
            address_for_ = wanted;
        }
        found_at_s_ = now_s();
        if (address_.isNull()) {
            error_ = QStringLiteral("cannot find %1: %2").arg(info.hostName(), info.errorString());
            unsent_.clear(); // a later datagram asks again
            return;
        }
        flush_unsent();
    });
}

void SpotReporter::flush_unsent() {
    const auto port = static_cast<quint16>(settings_.spots_port());
    port_ = port;
    for (const std::vector<uint8_t>& d : unsent_) {
        const qint64 n = socket_->writeDatagram(reinterpret_cast<const char*>(d.data()),
                                                static_cast<qint64>(d.size()), address_, port);
        if (n == static_cast<qint64>(d.size())) {
            ++sent_;
            error_.clear();
        } else {
            error_ = socket_->errorString();
        }
    }
    unsent_.clear();
}

// ---- The window's side.

void TForm1::create_spots() {
    spots_ = new SpotReporter(*settings_,
                              {[this] { return station_->settings().callsign; },
                               [this] { return rf_frequency_hz(); },
                               [this] { return station_->weak_snr_db(); }},
                              this);
    connect(this, &TForm1::text_received, spots_, &SpotReporter::hear);

    ReportSpots1 = Options1->addAction("Report Stations &Heard");
    ReportSpots1->setObjectName("ReportSpots1");
    ReportSpots1->setCheckable(true);
    StationLocator1 = Options1->addAction("Station L&ocator...");
    StationLocator1->setObjectName("StationLocator1");
    connect(StationLocator1, &QAction::triggered, this, &TForm1::StationLocator1Click);
    ReportSpots1->setChecked(settings_->report_spots());
    spots_->set_enabled(settings_->report_spots());
    connect(ReportSpots1, &QAction::toggled, this, [this](bool on) {
        spots_->set_enabled(on);
        settings_->set_report_spots(on);
        settings_->sync();
        show_spots();
        // Without a locator there is nothing to report from: ask for it (not modal).
        if (on && settings_->station_locator().isEmpty()) StationLocator1Click();
    });
    connect(Options1, &QMenu::aboutToShow, this, &TForm1::show_spots);
    show_spots();
}

void TForm1::show_spots() {
    QString tip = QStringLiteral("Each callsign copied (\"DE call call\", \"call DE call\") is "
                                 "reported to PSK Reporter with the RF frequency of the dial");
    if (spots_->enabled()) {
        if (const QString why = spots_->not_ready(); !why.isEmpty())
            tip += QStringLiteral(" - not reporting: %1").arg(why);
        else if (!rf_frequency_hz())
            tip += QStringLiteral(" - not reporting: the dial is not known (Sound & Rig)");
        else if (!spots_->last_error().isEmpty())
            tip += QStringLiteral(" - %1").arg(spots_->last_error());
    }
    ReportSpots1->setToolTip(tip);
    StationLocator1->setToolTip(settings_->station_locator().isEmpty()
                                    ? QStringLiteral("The Maidenhead locator spots are sent from")
                                    : settings_->station_locator());
}

QDialog* TForm1::locator_dialog() const {
    return locator_dialog_;
}

void TForm1::StationLocator1Click() {
    if (locator_dialog_) {
        locator_dialog_->raise();
        locator_dialog_->activateWindow();
        return;
    }
    auto* dialog = new QDialog(this);
    dialog->setObjectName("LocatorDialog");
    dialog->setWindowTitle("Station Locator");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(dialog);
    auto* label = new QLabel("Maidenhead locator of this station (4 or 6 characters):", dialog);
    auto* edit = new QLineEdit(settings_->station_locator(), dialog);
    edit->setObjectName("LocatorEdit");
    edit->setMaxLength(6);
    auto* problem = new QLabel(dialog);
    problem->setObjectName("LocatorProblem");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addWidget(problem);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, dialog, [this, dialog, edit, problem] {
        const QString locator = edit->text().trimmed();
        if (!locator.isEmpty() && !quavel::is_maidenhead_locator(locator.toStdString())) {
            problem->setText("Not a locator: two letters A-R, two digits, and two letters A-X "
                             "if you know them (JO01 or JO01ab)");
            return;
        }
        settings_->set_station_locator(locator);
        settings_->sync();
        show_spots();
        dialog->accept();
    });
    locator_dialog_ = dialog;
    dialog->show(); // not modal: the window goes on working while it is open
}
