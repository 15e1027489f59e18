#include "platform/devices/audio_device_list.h"

#include <algorithm>
#include <cctype>

namespace quavel {

namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

const char* noun(AudioDirection direction) {
    return direction == AudioDirection::Input ? "input" : "output";
}

} // namespace

AudioDeviceMatch find_audio_device(std::span<const AudioDeviceInfo> devices,
                                   std::string_view wanted, AudioDirection direction) {
    AudioDeviceMatch match;
    if (wanted.empty()) {
        match.error = std::string("no audio ") + noun(direction) + " device was named";
        return match;
    }
    for (const AudioDeviceInfo& d : devices) {
        if (d.id == wanted) {
            match.device = &d;
            return match;
        }
    }
    // Two devices may share a readable name (two interfaces of one model); then only the id
    // tells them apart.
    const auto by_name = [&](auto&& matches) {
        std::vector<const AudioDeviceInfo*> found;
        for (const AudioDeviceInfo& d : devices)
            if (matches(d)) found.push_back(&d);
        return found;
    };
    std::vector<const AudioDeviceInfo*> found =
        by_name([&](const AudioDeviceInfo& d) { return d.name == wanted; });
    if (found.empty()) {
        const std::string needle = lower(wanted);
        found = by_name([&](const AudioDeviceInfo& d) {
            return lower(d.name).find(needle) != std::string::npos;
        });
    }
    if (found.size() == 1) {
        match.device = found.front();
    } else if (found.empty()) {
        match.error = std::string("no audio ") + noun(direction) + " device matches '" +
                      std::string(wanted) + "'";
    } else {
        match.error = "'" + std::string(wanted) + "' matches " + std::to_string(found.size()) +
                      " audio " + noun(direction) + " devices; give one's id";
    }
    return match;
}

std::string describe_audio_devices(std::span<const AudioDeviceInfo> devices) {
    if (devices.empty()) return "  (none)\n";
    size_t width = 0;
    for (const AudioDeviceInfo& d : devices)
        width = std::max(width, d.id.size());
    std::string text;
    for (const AudioDeviceInfo& d : devices) {
        text += d.is_default ? "* " : "  ";
        text += d.id;
        text.append(width - d.id.size() + 2, ' ');
        text += d.name;
        text += '\n';
    }
    return text;
}

} // namespace quavel
