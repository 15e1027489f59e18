// The window's part in the rig's dial and in identification on time: the Options item, the two
// menu-line readouts and the once-a-second tick that feeds them. The reading itself is
// RigFrequency's, the identification the station's.
#include <QAction>
#include <QMenu>
#include <QTimer>
#include <algorithm>
#include <chrono>

#include "station/identify_timer.h"
#include "ui/app_settings.h"
#include "ui/band_window.h"
#include "ui/quavel25.h"
#include "ui/readout_label.h"
#include "ui/rig_frequency.h"

namespace {

// "3:07" for a time since, minutes and seconds.
QString minutes_seconds(std::chrono::seconds since) {
    const long long s = std::max<long long>(0, since.count());
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

void TForm1::create_dial_and_identify() {
    rig_frequency_ = std::make_unique<RigFrequency>(*station_);

    IdentifyEvery10 = Options1->addAction("&Identify Every 10 Minutes");
    IdentifyEvery10->setObjectName("IdentifyEvery10");
    IdentifyEvery10->setCheckable(true);
    IdentifyEvery10->setToolTip("When ten minutes have passed since the callsign last went out, "
                                "a transmission ends with the Morse identification");
    IdentifyEvery10->setChecked(settings_->identify_on_time());
    station_->set_identify_on_time(settings_->identify_on_time());
    connect(IdentifyEvery10, &QAction::toggled, this, [this](bool on) {
        station_->set_identify_on_time(on);
        settings_->set_identify_on_time(on);
        settings_->sync();
        show_identify();
    });

    DialReadout = new ReadoutLabel(Readouts);
    DialReadout->setObjectName("DialReadout");
    DialReadout->hide();
    IdentifyReadout = new ReadoutLabel(Readouts);
    IdentifyReadout->setObjectName("IdentifyReadout");
    IdentifyReadout->hide();

    DialTimer = new QTimer(this);
    DialTimer->setObjectName("DialTimer");
    DialTimer->setInterval(1000);
    connect(DialTimer, &QTimer::timeout, this, &TForm1::DialTimerTick);
    DialTimer->start();
    apply_dial_source();
}

void TForm1::apply_dial_source() {
    if (!rig_frequency_) return;
    if (cat_ptt_ != nullptr && settings_->ptt_method() == AppSettings::PttMethod::Cat) {
        rig_frequency_->use_cat(cat_ptt_);
    } else {
        rig_frequency_->use_typed(static_cast<double>(settings_->dial_frequency_hz()),
                                  settings_->dial_lower_sideband() ? Sideband::Lower
                                                                   : Sideband::Upper);
    }
    show_dial();
}

void TForm1::DialTimerTick() {
    if (rig_frequency_->tick() && band_window_ != nullptr && band_window_->isVisible())
        band_window_->refresh();
    show_dial();
    show_identify();
}

std::optional<double> TForm1::rf_frequency_hz() const {
    return rig_frequency_->rf_frequency_hz();
}

std::optional<double> TForm1::rf_frequency_hz_of(double audio_hz) const {
    const RigFrequency::Reading& r = rig_frequency_->reading();
    const std::optional<Sideband> sideband = sideband_of_mode(r.mode);
    if (!r.known || !sideband) return std::nullopt;
    return rf_hz(r.dial_hz, *sideband, audio_hz);
}

void TForm1::show_dial() {
    const RigFrequency::Reading& r = rig_frequency_->reading();
    QString full;
    QString shorter;
    QString why;
    if (r.known) {
        const QString dial = QString::fromStdString(format_dial_hz(r.dial_hz));
        shorter = r.mode.empty() ? dial : dial + " " + QString::fromStdString(r.mode);
        full = shorter;
        if (const auto rf = rig_frequency_->rf_frequency_hz())
            full += QStringLiteral("  RF %1").arg(QString::fromStdString(format_dial_hz(*rf)));
        why = r.source == RigFrequency::Source::Cat
                  ? QStringLiteral("The rig's dial and mode, read about once a second")
                  : QStringLiteral("The dial as typed under Sound & Rig");
        why += QStringLiteral("; RF: the signal at the centre frequency (dial + centre on USB, "
                              "dial - centre on LSB)");
    } else if (r.source == RigFrequency::Source::Cat) {
        full = r.no_answer ? QStringLiteral("dial: no answer") : QStringLiteral("dial: asking");
        shorter = r.no_answer ? QStringLiteral("no dial") : QStringLiteral("dial ?");
        why = r.no_answer ? QString::fromStdString(r.error) : QString();
    }
    bool changed = DialReadout->set_texts(full, shorter);
    if (DialReadout->toolTip() != why) DialReadout->setToolTip(why);
    if (changed) fit_readouts();
}

void TForm1::show_identify() {
    QString full;
    QString shorter;
    if (station_->identify_on_time()) {
        if (const auto since = station_->since_identified()) {
            const bool due = *since > quavel::IdentifyTimer::kInterval;
            full = QStringLiteral("ID %1 ago%2").arg(minutes_seconds(*since), due ? ", due" : "");
            shorter =
                due ? QStringLiteral("ID due") : QStringLiteral("ID %1m").arg(since->count() / 60);
        } else {
            full = QStringLiteral("ID: not yet");
            shorter = QStringLiteral("ID ?");
        }
    }
    IdentifyReadout->setToolTip(
        QStringLiteral("Time since the callsign last went out, in text or as the Morse "
                       "identification (Options > Identify Every 10 Minutes)"));
    if (IdentifyReadout->set_texts(full, shorter)) fit_readouts();
}
