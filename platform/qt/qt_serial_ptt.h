// The transmitter's keying line on a serial port: RTS (the default) or DTR active while
// transmitting, the other line held inactive. The port is opened for this program alone (a lock
// file, the terminal's exclusive mode and an advisory lock on the open device), and both lines
// are dropped straight after opening, because opening a port raises them on most systems and
// would key many rigs for a moment. HUPCL is set, so the driver drops both lines when the last
// descriptor closes, however the process ends, and the port is watched by the crash guard
// (platform/devices/ptt_guard.h). Port names are mapped to devices by a ComPortMap ("COM1" ->
// /dev/ttyS0 by default; any other name, such as /dev/ttyUSB0, is the device itself).
// Use from one thread at a time (the station's keying thread).
#pragma once

#include <memory>
#include <string>

#include "interfaces/ptt.h"
#include "platform/devices/com_port_map.h"

class QSerialPort;

namespace quavel {

enum class PttLine { Rts, Dtr };

class QtSerialPtt : public Ptt {
public:
    explicit QtSerialPtt(ComPortMap map = {}, PttLine line = PttLine::Rts);
    ~QtSerialPtt() override; // closes the port
    QtSerialPtt(const QtSerialPtt&) = delete;
    QtSerialPtt& operator=(const QtSerialPtt&) = delete;

    void set_port_map(ComPortMap map) { map_ = std::move(map); }
    const ComPortMap& port_map() const { return map_; }
    // The line that keys; a change releases an open port's lines and applies from the next key.
    void set_line(PttLine line);
    PttLine line() const { return line_; }

    // Closes any port held, then opens the device `port` maps to; false when it cannot be had,
    // with error() naming the device and why (no such device, permission denied, busy).
    bool open(const std::string& port) override;
    // False when no port is open or the driver refused the change.
    bool key(bool on) override;
    void close() override;
    bool is_open() const override;
    std::string error() const override { return error_; }
    // The port reported a resource error (the adapter was unplugged) since it was opened.
    bool lost() const override { return lost_; }
    // Reads the port's modem lines back: NoAnswer once the device has gone (an adapter pulled
    // out), noticed here even without an event loop to deliver Qt's own error.
    PttCheck check() override;

    // The device the last open tried, e.g. "/dev/ttyS0"; empty before any.
    const std::string& device() const { return device_; }
    // The open port, for reading the lines back; null when closed.
    QSerialPort* port() const { return port_.get(); }

private:
    void drop_lines();

    ComPortMap map_;
    PttLine line_;
    std::unique_ptr<QSerialPort> port_;
    int guarded_fd_ = -1;
    std::string device_;
    std::string error_;
    bool lost_ = false;
};

// Why `device` could not be opened, for the operator: "no such device", "permission denied"
// with the hint about the dialout group, or "busy" (held by another program), else `fallback`.
std::string serial_open_failure(const std::string& device, const std::string& fallback);

} // namespace quavel
