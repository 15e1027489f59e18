#include "platform/qt/qt_serial_ptt.h"

#include <QSerialPort>
#include <QString>

#include "platform/devices/ptt_guard.h"

#ifndef _WIN32
#include <cerrno>
#include <cstring>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace quavel {

std::string serial_open_failure(const std::string& device, const std::string& fallback) {
#ifndef _WIN32
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0 && errno == ENOENT)
        return device + ": no such device (is the adapter plugged in?)";
    if (::access(device.c_str(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM))
        return device + ": permission denied (add your user to the dialout group: sudo usermod -aG "
                        "dialout $USER, then log in again)";
#endif
    return device + ": " + fallback;
}

QtSerialPtt::QtSerialPtt(ComPortMap map, PttLine line) : map_(std::move(map)), line_(line) {}

QtSerialPtt::~QtSerialPtt() {
    close();
}

void QtSerialPtt::set_line(PttLine line) {
    if (line == line_) return;
    line_ = line;
    drop_lines();
}

bool QtSerialPtt::open(const std::string& port) {
    close();
    device_ = map_.device_for(port);
    error_.clear();
    lost_ = false;
    if (device_.empty()) {
        error_ = "no serial device named";
        return false;
    }
    auto serial = std::make_unique<QSerialPort>();
    serial->setPortName(QString::fromStdString(device_));
    // Hardware flow control would own RTS; keying needs it free.
    serial->setFlowControl(QSerialPort::NoFlowControl);
    if (!serial->open(QIODevice::ReadWrite)) {
        const bool busy = serial->error() == QSerialPort::PermissionError;
        error_ = serial_open_failure(device_, busy ? "busy (another program has it open)"
                                                   : serial->errorString().toStdString());
        return false;
    }
#ifndef _WIN32
    const int fd = static_cast<int>(serial->handle());
    // The terminal's exclusive mode does not hold back root, and lock files only hold back
    // programs that look for them; an advisory lock on the device covers the rest that ask.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error_ = device_ + ": busy (another program has it open: " + std::strerror(errno) + ")";
        serial->close();
        return false;
    }
    // Hang up on the last close: the driver drops RTS and DTR even if the process is killed.
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0 && (tio.c_cflag & HUPCL) == 0) {
        tio.c_cflag |= HUPCL;
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    ptt_guard_install();
    if (ptt_guard_watch(fd)) guarded_fd_ = fd;
#endif
    // Qt reports an adapter pulled out as a resource error on the open port.
    QSerialPort* raw = serial.get();
    QObject::connect(
        raw, &QSerialPort::errorOccurred, raw, [this, raw](QSerialPort::SerialPortError e) {
            if (e != QSerialPort::ResourceError || lost_) return;
            lost_ = true;
            error_ = device_ + ": the device went away (" + raw->errorString().toStdString() + ")";
        });
    port_ = std::move(serial);
    drop_lines();
    return true;
}

PttCheck QtSerialPtt::check() {
    if (!port_ || lost_) return PttCheck::NoAnswer;
#ifndef _WIN32
    int lines = 0;
    if (::ioctl(static_cast<int>(port_->handle()), TIOCMGET, &lines) != 0) {
        lost_ = true;
        error_ = device_ + ": the device went away (" + std::strerror(errno) + ")";
        return PttCheck::NoAnswer;
    }
#endif
    return PttCheck::Answering;
}

void QtSerialPtt::drop_lines() {
    if (!port_) return;
    port_->setDataTerminalReady(false);
    port_->setRequestToSend(false);
}

bool QtSerialPtt::key(bool on) {
    if (!port_) {
        error_ = "no keying port is open";
        return false;
    }
    const bool done =
        line_ == PttLine::Rts ? port_->setRequestToSend(on) : port_->setDataTerminalReady(on);
    if (!done) {
        error_ = device_ + ": cannot set " + (line_ == PttLine::Rts ? "RTS" : "DTR") + " (" +
                 port_->errorString().toStdString() + ")";
        port_->clearError();
        return false;
    }
    return true;
}

void QtSerialPtt::close() {
    if (!port_) return;
    drop_lines();
    // Forgotten before the descriptor is closed and its number can be given to another file.
    if (guarded_fd_ >= 0) ptt_guard_forget(guarded_fd_);
    guarded_fd_ = -1;
    QObject::disconnect(port_.get(), nullptr, nullptr, nullptr);
    port_->close();
    port_.reset();
}

bool QtSerialPtt::is_open() const {
    return port_ != nullptr;
}

} // namespace quavel
