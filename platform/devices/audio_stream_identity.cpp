#include "platform/devices/audio_stream_identity.h"

#include <cstdlib>

namespace quavel {

namespace {

std::string property(const char* key, const std::string& value) {
    std::string quoted;
    for (const char c : value)
        if (c != '\'' && c != '"' && c != '\\') quoted += c;
    return std::string(key) + "='" + quoted + "'";
}

} // namespace

std::string audio_stream_properties(const AudioStreamIdentity& identity, const char* existing) {
    std::string value = property("application.name", identity.name) + " " +
                        property("application.id", identity.id) + " " +
                        property("application.icon_name", identity.icon_name);
    // Later entries replace earlier ones: the user's own come last.
    if (existing != nullptr && *existing != '\0') value += std::string(" ") + existing;
    return value;
}

void set_audio_stream_identity(const AudioStreamIdentity& identity) {
    const std::string value = audio_stream_properties(identity, std::getenv("PULSE_PROP_OVERRIDE"));
    setenv("PULSE_PROP_OVERRIDE", value.c_str(), 1);
}

} // namespace quavel
