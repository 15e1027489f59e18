// The window's part in band activity: the Options item that shows the Band Activity window, the
// captured audio fed to it from the receive timer, and tuning the station to a signal picked
// there. The copying itself is the window's band receiver's.
#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStringList>
#include <QTimer>
#include <cmath>

#include "modem/tuning.h"
#include "rx/capture_ring.h"
#include "ui/app_settings.h"
#include "ui/band_window.h"
#include "ui/quavel25.h"
#include "ui/quavel25_spots.h"
#include "ui/radio_group.h"

namespace {

// What the main waterfall spans, and so the displays of the classic receiver.
constexpr double kDisplayLowHz = 800.0;
constexpr double kDisplayHighHz = 1111.0;

std::optional<int> speed_item(uint32_t speed) {
    switch (speed) {
    case 1:
        return 0;
    case 2:
        return 1;
    case 4:
        return 2;
    default:
        return std::nullopt;
    }
}

} // namespace

void TForm1::create_band_activity() {
    BandActivity1 = Options1->addAction("Band &Activity");
    BandActivity1->setObjectName("BandActivity1");
    BandActivity1->setCheckable(true);
    BandActivity1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    BandActivity1->setToolTip("A window with every station in 200..2800 Hz, copied at once; a "
                              "click on one tunes to it");

    band_window_ = new BandWindow(this);
    band_window_->rows().set_age(std::chrono::minutes(settings_->band_age_minutes()));
    band_window_->age_box()->setValue(settings_->band_age_minutes());
    if (const QByteArray geometry = settings_->band_window_geometry(); !geometry.isEmpty())
        band_window_->restoreGeometry(geometry);
    band_window_->set_rf_source([this](double audio_hz) { return rf_frequency_hz_of(audio_hz); });

    connect(BandActivity1, &QAction::triggered, this, [this](bool on) {
        if (on) {
            band_window_->show();
            band_window_->raise();
        } else {
            band_window_->close();
        }
    });
    connect(band_window_, &BandWindow::shown_changed, this, [this](bool shown) {
        BandActivity1->setChecked(shown);
        if (shown) {
            band_window_->rows().set_own_call(station_->settings().callsign);
            band_blocks_ = station_->capture_ring().write_count();
            band_open_ = true;
            remember_band_window();
            return;
        }
        band_geometry_ = band_window_->saveGeometry();
        // Quitting closes every window, this one too, in no set order: closed while the main
        // window has not been, and still closed a turn later, it was the operator.
        QTimer::singleShot(0, this, [this] {
            if (closing_ || band_window_->isVisible()) return;
            band_open_ = false;
            remember_band_window();
        });
    });
    connect(band_window_, &BandWindow::age_changed, this, [this](int minutes) {
        settings_->set_band_age_minutes(minutes);
        settings_->sync();
    });
    connect(band_window_, &BandWindow::tune_requested, this, [this](double hz, uint32_t speed) {
        band_window_->show_tuning(tune_to_band_station(hz, speed));
    });
    connect(band_window_, &BandWindow::call_chosen, this,
            [this](const QString& call) { take_other_station(call.toStdString()); });
    connect(band_window_, &BandWindow::line_heard, this, [this](const quavel::BandHeardLine& line) {
        // A station of the list that gave its call is reported as one the panes copied.
        if (spots_ != nullptr && !line.call.empty())
            spots_->hear_station(line.call, rf_frequency_hz_of(line.freq_hz), line.snr_db);
        emit band_line(line);
    });
}

void TForm1::remember_band_window() {
    if (band_window_ == nullptr) return;
    if (band_window_->isVisible()) band_geometry_ = band_window_->saveGeometry();
    settings_->set_band_window_open(band_open_);
    if (!band_geometry_.isEmpty()) settings_->set_band_window_geometry(band_geometry_);
    settings_->sync();
}

void TForm1::feed_band_activity() {
    if (band_window_ == nullptr || !band_window_->isVisible()) return;
    const quavel::CaptureRing& ring = station_->capture_ring();
    // A speed change starts the ring's counts again from 0: nothing was missed.
    if (ring.write_count() < band_blocks_) band_blocks_ = 0;
    const uint32_t waiting = ring.write_count() - band_blocks_;
    if (waiting > quavel::kRingBlocks) {
        // Fallen behind the ring (the window's thread was held up): the oldest are gone.
        band_window_->count_lost_blocks(waiting - quavel::kRingBlocks);
        band_blocks_ = ring.write_count() - quavel::kRingBlocks;
    }
    while (band_blocks_ != ring.write_count())
        band_window_->push(ring.block(band_blocks_++));
    band_window_->set_tuned(station_->centre_hz(), station_->weak_lock_hz());
}

QString TForm1::tune_to_band_station(double freq_hz, uint32_t speed) {
    const long long hz = std::llround(freq_hz);
    if (hz < quavel::kCentreMinHz || hz > quavel::kAirCentreMaxHz)
        return QStringLiteral("Not tuned: %1 Hz is beyond the %2..%3 Hz this console can tune to "
                              "and transmit on.")
            .arg(hz)
            .arg(quavel::kCentreMinHz)
            .arg(quavel::kAirCentreMaxHz);
    QStringList notes;
    // As the speed selector: only while receiving (it is disabled while transmitting).
    const std::optional<int> item = speed_item(speed);
    if (item && *item != RadioGroup3->itemIndex()) {
        if (Button1->text() == "Tx OFF") {
            notes << QStringLiteral("the speed stays at %1 Quavel/sec until a click while "
                                    "receiving")
                         .arg(1 << RadioGroup3->itemIndex());
        } else {
            RadioGroup3->setItemIndex(*item);
            RadioGroup3Click();
        }
    }
    // Beyond the classic receiver's range only the transmitter and the weak-signal receiver
    // can follow; within it the tuning is the waterfall click's.
    const bool beyond = hz > quavel::kCentreMaxHz;
    const quavel::CentreHz centre =
        beyond ? station_->set_air_centre_frequency(hz) : station_->set_centre_frequency(hz);
    if (station_->receiver() != quavel::ReceiverChoice::weak) {
        WeakReceiver1->setChecked(true);
        WeakReceiver1Click();
    }
    show_centre();
    show_weak_lock();
    if (beyond)
        notes << QStringLiteral("beyond %1 Hz the classic receiver and the displays stay at %1 "
                                "Hz: the weak-signal receiver copies it and you transmit on it")
                     .arg(station_->classic_centre_hz());
    else if (centre < kDisplayLowHz || centre > kDisplayHighHz)
        notes << QStringLiteral("outside the main waterfall's 800..1111 Hz: the weak-signal "
                                "receiver copies it, the displays do not show it");
    QString text = QStringLiteral("Tuned to %1 Hz at %2 Quavel/sec")
                       .arg(centre)
                       .arg(1 << RadioGroup3->itemIndex());
    if (!notes.isEmpty()) text += QStringLiteral("; ") + notes.join(QStringLiteral("; "));
    return text + QLatin1Char('.');
}
