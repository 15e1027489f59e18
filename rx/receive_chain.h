// A receiver with nothing else around it, set up as the console sets up its own: the modem
// (profile, tuning, test bank), the receiver, the three displays drawn on memory canvases and the
// listener through which the speed-profile initialisation and AFC reach them. The headless drivers
// (quavel-modem rx, the measurements, the benchmarks and the tests) all receive through this one
// class, so a receiver added to the chain is added to all of them.
//
// Single-threaded apart from the audio input's completion callback, as in the console.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "interfaces/audio_device.h"
#include "interfaces/text_pane.h"
#include "modem/modem.h"
#include "rx/displays.h"
#include "rx/memory_canvas.h"
#include "rx/receiver.h"

namespace quavel {

struct ReceiveChainSettings {
    uint32_t speed = 2;                    // 1, 2 or 4; anything else is taken as 2
    uint32_t centre_hz = kDefaultCentreHz; // clamped to the centre-frequency range
    bool afc = true;
    bool auto_sync = true;
    bool test_mode = false;
    // Where the symbol slice starts in the history, as a click on the sync scope sets it but to
    // the value; none: the profile's N/4.
    std::optional<uint32_t> sync_position;
    bool draw_displays = true; // false: nothing drawn (to measure the signal work alone)
    ReceiverChoice receiver = ReceiverChoice::classic; // which one prints
    bool squelch = true;                               // the weak-signal receiver's
    bool noise_blanker = false; // before the classic receiver (the weak one always blanks)
};

class ReceiveChain {
public:
    // The panes are not owned and must outlive the chain.
    ReceiveChain(const ReceiveChainSettings& settings, TextSink& primary, TextSink& secondary);
    ~ReceiveChain();
    ReceiveChain(const ReceiveChain&) = delete;
    ReceiveChain& operator=(const ReceiveChain&) = delete;

    // Opens capture on `input` (not owned; it must outlive the chain or be closed first).
    bool open(AudioInput& input);
    void close();

    // The capture tick: one completed capture buffer into the ring. True if one moved.
    bool capture_tick();
    // At most one receive step, and AFC's retune after it. True if a step ran.
    bool step();
    // Every completed buffer moved and every whole symbol received; `after_step` (if any) runs
    // after each step.
    void receive_waiting(const std::function<void()>& after_step = {});
    // An on-demand input (a recording read as fast as asked) received to its end, the ring never
    // overrunning. False when the input cannot be opened. Capture is closed afterwards.
    bool receive_recording(AudioInput& input, const std::function<void()>& after_step = {});

    Modem& modem() { return *modem_; }
    const Modem& modem() const { return *modem_; }
    Receiver& receiver() { return *receiver_; }
    const Receiver& receiver() const { return *receiver_; }
    ReceiveDisplays& displays() { return displays_; }
    ProfileListener& listener() { return listener_; }

private:
    std::unique_ptr<Modem> modem_;
    std::unique_ptr<Receiver> receiver_;
    MemoryCanvas waterfall_;
    MemoryCanvas scope_;
    MemoryCanvas spectrum_;
    ReceiveDisplays displays_;
    ReceiverListener listener_;
    ReceiveOutputs outputs_;
};

} // namespace quavel
