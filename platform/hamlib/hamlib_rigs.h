// The rigs hamlib knows, for choosing one by maker and model rather than by number, and a quick
// look at a rig without keying it: open it, ask its frequency, mode and PTT, close it.
//
// hamlib's list comes from its backends, loaded on the first call (once per process); the list
// is the same for the whole run. rig_probe() takes as long as the rig's replies (hamlib's timeout
// is kept at a second, one try), so it runs on a thread of its own, never the window's.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quavel {

struct RigModelInfo {
    int model = 0;     // hamlib's model number, as rigctl -m takes it
    std::string maker; // "Icom", "Hamlib" (its own dummy and network rigs), ...
    std::string name;  // "IC-7300", "NET rigctl", ...
};

// Every rig hamlib knows, sorted by maker, then name (neither case-sensitive), then number.
// Names are as hamlib gives them, with surrounding blanks removed.
const std::vector<RigModelInfo>& hamlib_rigs();
// The entry for `model`; nothing when hamlib knows no such model.
std::optional<RigModelInfo> hamlib_rig(int model);
// "rig model 2 (NET rigctl)": as messages name a rig; the number alone for an unknown model.
std::string rig_label(int model);

// What a rig said when asked without being keyed.
struct RigProbe {
    bool answered = false;   // the rig opened and answered at least one question
    double frequency_hz = 0; // valid with `has_frequency`
    bool has_frequency = false;
    std::string mode;   // "USB", "PKTUSB"...; empty when the rig would not say
    std::string ptt;    // "on" or "off"; empty when the rig would not say
    std::string report; // one line for the operator, naming the rig, the port and its answer
                        // or hamlib's reason
};

// Opens `model` on `port` (a serial device, or HOST:PORT for model 2; empty: hamlib's default
// for the model) at `speed_baud` (0: the rig's default) and asks it. Takes the rig's lock
// (platform/hamlib/rig_lock.h) for the time of the question, so it never disturbs a rig another
// program has open; then the report says who holds it.
RigProbe rig_probe(int model, const std::string& port, int speed_baud);

// "14.070000 MHz" (six decimals: hertz), the way the reports show a frequency.
std::string format_frequency(double hz);

} // namespace quavel
