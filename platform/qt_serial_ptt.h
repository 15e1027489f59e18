// The transmitter's keying line on a serial port: RTS active while transmitting, DTR held
// inactive. The port is opened for this program alone (a lock file, the terminal's exclusive
// mode and an advisory lock on the open device), and both lines are dropped straight after
// opening, because opening a port raises them on most systems and would key many rigs for a
// moment. Port names are mapped to devices by a ComPortMap ("COM1" -> /dev/ttyS0 by default).
// Use from the window's thread only.
#pragma once

#include <memory>
#include <string>

#include "platform/audio_device.h"
#include "platform/com_port_map.h"

class QSerialPort;

namespace quavel {

class QtSerialPtt : public Ptt {
public:
    explicit QtSerialPtt(ComPortMap map = {});
    ~QtSerialPtt() override; // closes the port
    QtSerialPtt(const QtSerialPtt&) = delete;
    QtSerialPtt& operator=(const QtSerialPtt&) = delete;

    void set_port_map(ComPortMap map) { map_ = std::move(map); }
    const ComPortMap& port_map() const { return map_; }

    // Closes any port held, then opens the device `port` maps to; false when it cannot be had
    // (missing, busy, no permission). RTS and DTR are inactive on return.
    bool open(const std::string& port) override;
    // Does nothing unless a port is open.
    void set_rts(bool active) override;
    void close() override;
    bool is_open() const override;

    // The device the last open tried, e.g. "/dev/ttyS0"; empty before any.
    const std::string& device() const { return device_; }
    // Why the last open failed; empty after a success.
    const std::string& error() const { return error_; }
    // The open port, for reading the lines back; null when closed.
    QSerialPort* port() const { return port_.get(); }

private:
    ComPortMap map_;
    std::unique_ptr<QSerialPort> port_;
    std::string device_;
    std::string error_;
};

} // namespace quavel
