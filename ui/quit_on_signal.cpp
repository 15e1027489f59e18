#include "ui/quit_on_signal.h"

#include <QCoreApplication>

#include "platform/devices/ptt_guard.h"

#ifdef Q_OS_UNIX
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// The handler may only write a byte; the event loop reads it and quits.
int signal_pipe[2] = {-1, -1};

// The normal path (the event loop quits, the window cuts the sound and releases the
// transmitter) gets this long; a window thread stuck elsewhere cannot keep the rig keyed.
constexpr unsigned kStopDeadlineSeconds = 5;

// Every request writes its byte (the event loop takes the first, and quits); the deadline is
// armed by the first alone, so repeated requests neither end the process before the window has
// released the transmitter nor push the deadline back.
extern "C" void on_stop_signal(int signal) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signal_pipe[1], &byte, 1);
    quavel::ptt_guard_arm_deadline(signal, kStopDeadlineSeconds);
}
} // namespace

void quit_on_signal(QCoreApplication& app) {
    if (signal_pipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, signal_pipe) != 0) return;
    // Only the first byte is read: a flood of requests fills the socket and the writes fail
    // instead of blocking the handler.
    ::fcntl(signal_pipe[1], F_SETFL, ::fcntl(signal_pipe[1], F_GETFL) | O_NONBLOCK);
    auto* notifier = new QSocketNotifier(signal_pipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [notifier] {
        char byte = 0;
        [[maybe_unused]] const auto got = ::read(signal_pipe[0], &byte, 1);
        notifier->setEnabled(false);
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}
#else
void quit_on_signal(QCoreApplication&) {}
#endif
