// The sound devices the sound system offers, as the operator chooses among them: by the
// system's id (stable across restarts, e.g. a PulseAudio sink name), or by the readable name
// shown in the desktop's mixer, or by a part of that name. Qt-free, so that the choice and its
// messages are the same for the console and the headless modem; platform/qt_audio_devices lists
// the devices.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quavel {

struct AudioDeviceInfo {
    std::string id;   // what the sound system opens the device by
    std::string name; // what the desktop shows
    bool is_default = false;
};

enum class AudioDirection { Input, Output };

// The device `wanted` names among `devices`: the one whose id it is; else the one whose name it
// is; else the one whose name holds it, ignoring case. `error` says why there is none: no device
// matches, or several do (then naming them); the caller adds the list.
struct AudioDeviceMatch {
    const AudioDeviceInfo* device = nullptr;
    std::string error;
};
AudioDeviceMatch find_audio_device(std::span<const AudioDeviceInfo> devices,
                                   std::string_view wanted, AudioDirection direction);

// One line per device, "* id  name" with the default marked "*" and the ids in one column,
// each line ending in a line break; "  (none)" for an empty list.
std::string describe_audio_devices(std::span<const AudioDeviceInfo> devices);

} // namespace quavel
