// The keying line of the transmitter as the modem sees it.
#pragma once

#include <string>

namespace quavel {

// What a keying device says when asked how it is (Ptt::check).
enum class PttCheck {
    Answering, // there, and nothing to read back (a serial line), or the same as was set
    Keyed,     // the rig reports its transmitter keyed
    Released,  // the rig reports its transmitter released
    NoAnswer,  // gone or silent; error() says why
};

// The keying line of the transmitter: a serial port's RTS or DTR line, a rig's CAT command,
// or nothing at all (VOX). Changes report failure by return value, with error() naming the
// device and the reason, so that a transmitter left keyed never goes unnoticed.
class Ptt {
public:
    virtual ~Ptt() = default;
    // Opens `device` (a port name such as "COM1", a device path, or a rig's port) for this
    // program alone, with the transmitter released; closes whatever was open before.
    virtual bool open(const std::string& device) = 0;
    // Keys (true) or releases (false) the transmitter; false when the change could not be made
    // or nothing is open.
    virtual bool key(bool on) = 0;
    // Releases the transmitter and closes the device; nothing when none is open.
    virtual void close() = 0;
    virtual bool is_open() const = 0;
    // Why the last open or key failed, naming the device; empty after a success.
    virtual std::string error() const { return {}; }
    // The device went away while open (a USB adapter unplugged). Polled from the window's thread.
    virtual bool lost() const { return false; }
    // Asks the device whether it is still there and, where it can tell, whether the transmitter
    // is keyed. May take as long as the device's reply.
    virtual PttCheck check() {
        return !is_open() || lost() ? PttCheck::NoAnswer : PttCheck::Answering;
    }
};

} // namespace quavel
