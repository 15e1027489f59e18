// The devices the console runs with, chosen from its command line: the sound card through Qt
// unless --audio-in / --audio-out name WAV files (played and written at 8000 samples per second
// of wall clock, as a sound card would), and the keying adapters.
// The --audio-out file holds every transmission of the run, back to back in order (no silence
// for the time between them); it is finished, complete and valid, by finish_output() or when the
// devices are destroyed, either of them after the window has gone.
#pragma once

#include <QByteArray>
#include <memory>
#include <string>
#include <vector>

#include "interfaces/audio_device.h"
#include "platform/hamlib/hamlib_ptt.h"
#include "platform/qt/qt_serial_ptt.h"
#include "ui/console_options.h"

class AppSettings;

namespace quavel {
class QtAudioInput;
class QtAudioOutput;
class WavOutput;
} // namespace quavel

struct ConsoleDevices {
    std::unique_ptr<quavel::AudioInput> input;
    std::unique_ptr<quavel::AudioOutput> output;
    // The keying adapters the window chooses between by the remembered keying method: a serial
    // port's RTS or DTR line (with the --com mappings), or CAT through hamlib.
    std::unique_ptr<quavel::QtSerialPtt> serial_ptt;
    std::unique_ptr<quavel::HamlibPtt> cat_ptt;
    quavel::WavOutput* file_output = nullptr; // `output` when it is the --audio-out file
    // `input` and `output` when they are the sound card (not files): the Sound & Rig panel
    // points them at other devices.
    quavel::QtAudioInput* sound_input = nullptr;
    quavel::QtAudioOutput* sound_output = nullptr;

    // Finishes the --audio-out file once the window is gone. Returns what went wrong with it
    // and what is left of it (after a failed write, what was written before it, in the file
    // itself or else in the temporary file named), or nothing when it is complete or there is
    // none.
    std::string finish_output();
};

// The sound devices the console opens, by the sound system's id (empty: the default): the ones
// the command line names, else the ones remembered in the settings, else the defaults.
struct SoundDeviceChoice {
    QByteArray input_id;
    QByteArray output_id;
    // A device the command line names that is not there, or not alone: the console does not
    // start. The message lists the devices there are.
    std::string error;
    // A remembered device that is not there: the default is used, and the operator told.
    std::vector<std::string> notices;
};
// Needs a QApplication (the sound system is asked for its devices). `settings` may be null.
SoundDeviceChoice choose_sound_devices(const ConsoleOptions& options, const AppSettings* settings);

// Takes the recording's samples out of `options`. Needs a QApplication for the Qt devices.
ConsoleDevices make_console_devices(ConsoleOptions& options, const SoundDeviceChoice& choice = {});
