#include "ui/console_devices.h"

#include "platform/devices/audio_device_list.h"
#include "platform/devices/audio_stream_identity.h"
#include "platform/hamlib/hamlib_ptt.h"
#include "platform/qt/qt_audio_devices.h"
#include "platform/qt/qt_audio_input.h"
#include "platform/qt/qt_audio_output.h"
#include "platform/qt/qt_serial_ptt.h"
#include "platform/wav/wav_input.h"
#include "platform/wav/wav_output.h"
#include "ui/app_settings.h"

namespace {

const char* noun(quavel::AudioDirection direction) {
    return direction == quavel::AudioDirection::Input ? "input" : "output";
}

// One direction's device: `typed` from the command line, else `remembered`.
void choose(quavel::AudioDirection direction, const std::string& typed, const QString& remembered,
            QByteArray& id, SoundDeviceChoice& choice) {
    if (typed.empty() && remembered.isEmpty()) return;
    const std::vector<quavel::AudioDeviceInfo> devices = quavel::list_audio_devices(direction);
    if (!typed.empty()) {
        const quavel::AudioDeviceMatch match = quavel::find_audio_device(devices, typed, direction);
        if (match.device != nullptr) {
            id = quavel::qt_device_id(*match.device);
        } else if (choice.error.empty()) {
            choice.error = match.error + ". The audio " + noun(direction) +
                           " devices (* the default):\n" + quavel::describe_audio_devices(devices);
            choice.error.pop_back();
        }
        return;
    }
    const std::string wanted = remembered.toStdString();
    for (const quavel::AudioDeviceInfo& d : devices) {
        if (d.id == wanted) {
            id = remembered.toUtf8();
            return;
        }
    }
    choice.notices.push_back("The audio " + std::string(noun(direction)) + " device \"" + wanted +
                             "\" chosen in Sound & Rig is not there; the system's default " +
                             noun(direction) + " is used.");
}

} // namespace

SoundDeviceChoice choose_sound_devices(const ConsoleOptions& options, const AppSettings* settings) {
    SoundDeviceChoice choice;
    // A recording or a file stands in for the device: nothing to choose.
    if (options.audio_in.empty()) {
        choose(quavel::AudioDirection::Input, options.input_device,
               settings != nullptr ? settings->input_device() : QString(), choice.input_id, choice);
    }
    if (options.audio_out.empty()) {
        choose(quavel::AudioDirection::Output, options.output_device,
               settings != nullptr ? settings->output_device() : QString(), choice.output_id,
               choice);
    }
    return choice;
}

ConsoleDevices make_console_devices(ConsoleOptions& options, const SoundDeviceChoice& choice) {
    ConsoleDevices devices;
    if (options.audio_in.empty()) {
        auto input =
            std::make_unique<quavel::QtAudioInput>(quavel::QtAudioChoice{choice.input_id, {}});
        input->follow_moved_streams(quavel::kConsoleStreams.id);
        devices.sound_input = input.get();
        devices.input = std::move(input);
    } else {
        devices.input = std::make_unique<quavel::SampleInput>(
            std::make_unique<quavel::MemorySampleSource>(std::move(options.audio_in_samples)),
            quavel::Pacing::RealTime);
        options.audio_in_samples = {};
    }
    if (options.audio_out.empty()) {
        auto output =
            std::make_unique<quavel::QtAudioOutput>(quavel::QtAudioChoice{choice.output_id, {}});
        output->follow_moved_streams(quavel::kConsoleStreams.id);
        devices.sound_output = output.get();
        devices.output = std::move(output);
    } else {
        // One file for the whole run: every transmission appended in order, finished at the
        // program's end (Exit, window closed, stop signal).
        auto file = std::make_unique<quavel::WavOutput>(options.audio_out,
                                                        quavel::WavOutput::Pacing::RealTime,
                                                        quavel::WavOutput::FileSpan::Run);
        devices.file_output = file.get();
        devices.output = std::move(file);
    }
    devices.serial_ptt = std::make_unique<quavel::QtSerialPtt>(options.com_ports);
    devices.cat_ptt = std::make_unique<quavel::HamlibPtt>();
    return devices;
}

std::string ConsoleDevices::finish_output() {
    if (file_output == nullptr) return {};
    file_output->finish();
    return quavel::describe_unfinished(*file_output);
}
