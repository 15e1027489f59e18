#include "platform/qt/qt_audio_format.h"

#include <QMediaDevices>

namespace quavel {

QAudioFormat to_qt_format(const PcmFormat& format) {
    QAudioFormat f;
    f.setSampleRate(static_cast<int>(format.rate_hz));
    f.setChannelCount(static_cast<int>(format.channels));
    switch (format.encoding) {
    case PcmEncoding::UInt8:
        f.setSampleFormat(QAudioFormat::UInt8);
        break;
    case PcmEncoding::Int16:
        f.setSampleFormat(QAudioFormat::Int16);
        break;
    case PcmEncoding::Int32:
        f.setSampleFormat(QAudioFormat::Int32);
        break;
    case PcmEncoding::Float32:
        f.setSampleFormat(QAudioFormat::Float);
        break;
    }
    return f;
}

std::optional<PcmFormat> to_pcm_format(const QAudioFormat& format) {
    if (!format.isValid() || format.sampleRate() <= 0 || format.channelCount() <= 0)
        return std::nullopt;
    PcmFormat p;
    p.rate_hz = static_cast<uint32_t>(format.sampleRate());
    p.channels = static_cast<uint32_t>(format.channelCount());
    switch (format.sampleFormat()) {
    case QAudioFormat::UInt8:
        p.encoding = PcmEncoding::UInt8;
        break;
    case QAudioFormat::Int16:
        p.encoding = PcmEncoding::Int16;
        break;
    case QAudioFormat::Int32:
        p.encoding = PcmEncoding::Int32;
        break;
    case QAudioFormat::Float:
        p.encoding = PcmEncoding::Float32;
        break;
    default:
        return std::nullopt;
    }
    return p;
}

namespace {

QAudioDevice find_device(const QList<QAudioDevice>& devices, const QAudioDevice& fallback,
                         const QByteArray& device_id) {
    if (device_id.isEmpty()) return fallback;
    for (const QAudioDevice& d : devices)
        if (d.id() == device_id) return d;
    return {};
}

} // namespace

QAudioDevice find_input_device(const QByteArray& device_id) {
    return find_device(QMediaDevices::audioInputs(), QMediaDevices::defaultAudioInput(), device_id);
}

QAudioDevice find_output_device(const QByteArray& device_id) {
    return find_device(QMediaDevices::audioOutputs(), QMediaDevices::defaultAudioOutput(),
                       device_id);
}

QAudioFormat choose_device_format(const QAudioDevice& device, const QAudioFormat& forced) {
    if (forced.isValid()) return forced;
    const QAudioFormat modem = to_qt_format(kModemPcm);
    if (device.isFormatSupported(modem)) return modem;
    return device.preferredFormat();
}

} // namespace quavel
