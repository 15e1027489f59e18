// The sound devices Qt Multimedia offers, listed for the operator to choose from. Needs a
// QCoreApplication; the lists are read afresh on each call (devices come and go).
#pragma once

#include <QByteArray>
#include <vector>

#include "platform/devices/audio_device_list.h"

namespace quavel {

std::vector<AudioDeviceInfo> list_audio_inputs();
std::vector<AudioDeviceInfo> list_audio_outputs();
std::vector<AudioDeviceInfo> list_audio_devices(AudioDirection direction);

// The device id as the Qt adapters take it (QtAudioChoice::device_id).
QByteArray qt_device_id(const AudioDeviceInfo& device);

} // namespace quavel
