// The sound card as the headless modem drives it: an output and an input device (the system's
// defaults unless the operator names others), an event loop with one periodic tick standing in for
// the console's timers, and stop requests by SIGINT or SIGTERM. The verbs keep their modem logic
// Qt-free; only the implementation of this interface knows the sound system. A tool built without
// Qt has none, and open_sound_card says so.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "interfaces/audio_device.h"
#include "interfaces/ptt.h"
#include "platform/devices/audio_device_list.h"

namespace quavel::tools {

inline constexpr const char* kNoSoundCardSupport = "built without sound-card support";

class SoundCard {
public:
    virtual ~SoundCard() = default;

    // The output and input devices. Created closed; the transmitter and the capture
    // open them. Owned by the sound card, valid for its life.
    virtual AudioOutput& output() = 0;
    virtual AudioInput& input() = 0;
    // The device is open and still running: false once the sound system has dropped it (the
    // sound server went away, the device was unplugged).
    virtual bool output_running() const = 0;
    virtual bool input_running() const = 0;
    // Why the last open of the output or input failed; empty when it did not.
    virtual std::string output_error() const = 0;
    virtual std::string input_error() const = 0;
    // Samples the input had to throw away because no capture buffer was free (the tick fell
    // behind the device).
    virtual uint64_t input_samples_dropped() const = 0;
    // Capture buffers the input has filled so far.
    virtual uint64_t input_buffers_filled() const = 0;
    // Times the output ran dry while playing: each one a gap in the signal.
    virtual uint64_t output_underruns() const = 0;
    // How long the output can still be sounding after it has reported its last buffer done:
    // what the device and the sound system hold between the output and the speaker.
    virtual int output_latency_ms() const = 0;

    // Runs the event loop and calls `tick` every `interval_ms` (1..1000) until it returns false
    // or SIGINT or SIGTERM arrives. Returns the number of that signal, or 0 when `tick` ended
    // the loop. A signal that came before run() ends it before the first tick.
    virtual int run(int interval_ms, const std::function<bool()>& tick) = 0;
    // Lets the event loop finish what closing a device left to it; call after closing devices
    // and before exiting.
    virtual void settle() = 0;
};

// Ends the process with `status` once a verb that opened the sound card is done with it (the
// sound card destroyed, everything printed). The sound library's own exit-time teardown races
// with its audio threads and now and then aborts a process whose work is long finished;
// nothing of the tool's is left to clean up, so the process ends without running it. A build
// with the leak checker still has it look for leaks first.
[[noreturn]] void exit_after_sound_card(int status);

// The devices a verb asks for: a name or id as find_audio_device takes it; empty for the
// system's default.
struct SoundCardRequest {
    std::string input_device;
    std::string output_device;
};

// The sound card; null, with `error` saying why, when the tool has no sound-card support or a
// requested device is not there (then `bad_device` is set and `error` ends with the list of
// devices to choose from). From here until the sound card is destroyed SIGINT, SIGTERM and
// SIGHUP only request a stop: the first one does, and should the verb not have ended within
// a few seconds the keying lines are dropped and the process ends by that signal
// (platform/devices/ptt_guard.h); later ones change nothing.
std::unique_ptr<SoundCard> open_sound_card(const SoundCardRequest& request, std::string& error,
                                           bool& bad_device);

// The keying line of a serial port for `quavel-modem tx --ptt rts|dtr` (RTS, or DTR when `dtr`),
// not yet open; null, with `error` saying why, when the tool has no serial-port support.
std::unique_ptr<Ptt> make_serial_ptt(bool dtr, std::string& error);

// The input and output devices the sound system offers; false, with `error` saying why, when
// the tool has no sound-card support.
bool list_sound_devices(std::vector<AudioDeviceInfo>& inputs, std::vector<AudioDeviceInfo>& outputs,
                        std::string& error);

} // namespace quavel::tools
