// Choosing a sound device and the format to run it at, shared by the Qt capture and playback
// adapters. The modem wants 8000 Hz mono 16-bit; a device that will not take that runs at its
// preferred format and a PcmConverter bridges the two.
#pragma once

#include <optional>

#include <QAudioDevice>
#include <QAudioFormat>
#include <QByteArray>

#include "platform/qt/pcm_converter.h"

namespace quavel {

// Which device an adapter opens and, for tests, the format to force on it.
struct QtAudioChoice {
    QByteArray device_id;       // empty: the system's default device
    QAudioFormat device_format; // not valid: chosen by choose_device_format
};

QAudioFormat to_qt_format(const PcmFormat& format);
// Nothing for a format the converter cannot handle (unknown sample encoding, no channels).
std::optional<PcmFormat> to_pcm_format(const QAudioFormat& format);

// The input or output device named by `device_id` (the default when empty); a null device when
// there is none or no device has that id.
QAudioDevice find_input_device(const QByteArray& device_id);
QAudioDevice find_output_device(const QByteArray& device_id);

// `forced` when valid, else the modem's format when the device takes it, else the device's
// preferred format.
QAudioFormat choose_device_format(const QAudioDevice& device, const QAudioFormat& forced);

} // namespace quavel
