// The form's periodic timers. Each has a switch (Enabled) that the form turns on and off as the
// station changes between receiving and transmitting, and its handler runs with the timer
// stopped, so the handler is never re-entered, not even by the event loop of a message box the
// handler opens.
#pragma once

#include <QTimer>

class FormTimer : public QTimer {
    Q_OBJECT
public:
    FormTimer(QObject* parent, const QString& name, int interval_ms, bool enabled);

    // Turns the timer on or off. While a handler works, the change takes effect at its end.
    void setEnabled(bool enabled);
    bool isEnabled() const { return enabled_; }

    // Stops the timer for the life of the guard and starts it again at the end if it is still
    // switched on (even when the handler throws).
    class Pause {
    public:
        explicit Pause(FormTimer& timer);
        ~Pause();
        Pause(const Pause&) = delete;
        Pause& operator=(const Pause&) = delete;

    private:
        FormTimer& timer_;
    };

private:
    bool enabled_;
    int pauses_ = 0;
};
