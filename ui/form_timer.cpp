#include "ui/form_timer.h"

FormTimer::FormTimer(QObject* parent, const QString& name, int interval_ms, bool enabled)
    : QTimer(parent), enabled_(enabled) {
    setObjectName(name);
    setInterval(interval_ms);
    // Intervals of 2 ms mean nothing to a coarse timer.
    setTimerType(Qt::PreciseTimer);
    if (enabled_) start();
}

void FormTimer::setEnabled(bool enabled) {
    enabled_ = enabled;
    if (pauses_ > 0) return;
    if (enabled_)
        start();
    else
        stop();
}

FormTimer::Pause::Pause(FormTimer& timer) : timer_(timer) {
    ++timer_.pauses_;
    timer_.stop();
}

FormTimer::Pause::~Pause() {
    if (--timer_.pauses_ == 0 && timer_.enabled_) timer_.start();
}
