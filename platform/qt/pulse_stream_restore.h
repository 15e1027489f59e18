// Where the sound server last had the program's streams: the device the operator moved a
// playback or capture stream to in the desktop's mixer, as PulseAudio's stream-restore module
// (or PipeWire's, through the same protocol) remembers it for the application id.
//
// The server applies that memory only to streams that name no device, but Qt Multimedia always
// names one (the default device's), so a moved stream would come back on the default device at
// the next transmission. The Qt adapters ask here before opening on the default device.
#pragma once

#include <string>

#include "platform/devices/audio_device_list.h"

namespace quavel {

// The device name (a sink or source name, as a Qt device id) remembered for streams of
// `application_id` in `direction`, or empty: nothing remembered, no such server, no
// stream-restore there, or no answer within `timeout_ms`. Blocks for at most that long.
std::string remembered_stream_device(AudioDirection direction, const std::string& application_id,
                                     int timeout_ms = 500);

} // namespace quavel
