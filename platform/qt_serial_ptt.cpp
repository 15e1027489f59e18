#include "platform/qt_serial_ptt.h"

#include <QSerialPort>
#include <QString>

#ifndef _WIN32
#include <cerrno>
#include <cstring>
#include <sys/file.h>
#endif

namespace quavel {

QtSerialPtt::QtSerialPtt(ComPortMap map) : map_(std::move(map)) {}

QtSerialPtt::~QtSerialPtt() {
    close();
}

bool QtSerialPtt::open(const std::string& port) {
    close();
    device_ = map_.device_for(port);
    error_.clear();
    if (device_.empty()) {
        error_ = "no device named";
        return false;
    }
    auto serial = std::make_unique<QSerialPort>();
    serial->setPortName(QString::fromStdString(device_));
    // Hardware flow control would own RTS; keying needs it free.
    serial->setFlowControl(QSerialPort::NoFlowControl);
    if (!serial->open(QIODevice::ReadWrite)) {
        error_ = serial->errorString().toStdString();
        return false;
    }
#ifndef _WIN32
    // The terminal's exclusive mode does not hold back root, and lock files only hold back
    // programs that look for them; an advisory lock on the device covers the rest that ask.
    if (::flock(static_cast<int>(serial->handle()), LOCK_EX | LOCK_NB) != 0) {
        error_ = std::string("device is in use: ") + std::strerror(errno);
        serial->close();
        return false;
    }
#endif
    serial->setDataTerminalReady(false);
    serial->setRequestToSend(false);
    port_ = std::move(serial);
    return true;
}

void QtSerialPtt::set_rts(bool active) {
    if (port_) port_->setRequestToSend(active);
}

void QtSerialPtt::close() {
    if (!port_) return;
    port_->setRequestToSend(false);
    port_->close();
    port_.reset();
}

bool QtSerialPtt::is_open() const {
    return port_ != nullptr;
}

} // namespace quavel
