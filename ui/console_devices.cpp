#include "ui/console_devices.h"

#include "platform/qt_audio_input.h"
#include "platform/qt_audio_output.h"
#include "platform/qt_serial_ptt.h"
#include "platform/wav_input.h"
#include "platform/wav_output.h"

ConsoleDevices make_console_devices(ConsoleOptions& options) {
    ConsoleDevices devices;
    if (options.audio_in.empty()) {
        devices.input = std::make_unique<quavel::QtAudioInput>();
    } else {
        devices.input = std::make_unique<quavel::SampleInput>(
            std::make_unique<quavel::MemorySampleSource>(std::move(options.audio_in_samples)),
            quavel::Pacing::RealTime);
        options.audio_in_samples = {};
    }
    if (options.audio_out.empty()) {
        devices.output = std::make_unique<quavel::QtAudioOutput>();
    } else {
        // One file for the whole run: every transmission appended in order, finished at the
        // program's end (Exit, window closed, stop signal).
        auto file = std::make_unique<quavel::WavOutput>(options.audio_out,
                                                        quavel::WavOutput::Pacing::RealTime,
                                                        quavel::WavOutput::FileSpan::Run);
        devices.file_output = file.get();
        devices.output = std::move(file);
    }
    devices.ptt = std::make_unique<quavel::QtSerialPtt>(options.com_ports);
    return devices;
}

std::string ConsoleDevices::finish_output() {
    if (file_output == nullptr) return {};
    file_output->finish();
    return file_output->error();
}
