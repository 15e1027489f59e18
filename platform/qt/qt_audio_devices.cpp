#include "platform/qt/qt_audio_devices.h"

#include <QAudioDevice>
#include <QMediaDevices>

namespace quavel {

namespace {

std::vector<AudioDeviceInfo> convert(const QList<QAudioDevice>& devices,
                                     const QAudioDevice& fallback) {
    std::vector<AudioDeviceInfo> out;
    for (const QAudioDevice& d : devices) {
        // isDefault() is not set on every back end; the default device's id always is.
        out.push_back(AudioDeviceInfo{d.id().toStdString(), d.description().toStdString(),
                                      d.isDefault() || d.id() == fallback.id()});
    }
    return out;
}

} // namespace

std::vector<AudioDeviceInfo> list_audio_inputs() {
    return convert(QMediaDevices::audioInputs(), QMediaDevices::defaultAudioInput());
}

std::vector<AudioDeviceInfo> list_audio_outputs() {
    return convert(QMediaDevices::audioOutputs(), QMediaDevices::defaultAudioOutput());
}

std::vector<AudioDeviceInfo> list_audio_devices(AudioDirection direction) {
    return direction == AudioDirection::Input ? list_audio_inputs() : list_audio_outputs();
}

QByteArray qt_device_id(const AudioDeviceInfo& device) {
    return QByteArray::fromStdString(device.id);
}

} // namespace quavel
