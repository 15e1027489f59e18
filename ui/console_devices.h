// The devices the console runs with, chosen from its command line: the sound card through Qt
// unless --audio-in / --audio-out name WAV files (played and written at 8000 samples per second
// of wall clock, as a sound card would), and the serial keying line with the --com mappings.
// The --audio-out file holds every transmission of the run, back to back in order (no silence
// for the time between them); it is finished, complete and valid, by finish_output() or when the
// devices are destroyed, either of them after the window has gone.
#pragma once

#include <memory>
#include <string>

#include "platform/audio_device.h"
#include "ui/console_options.h"

namespace quavel {
class WavOutput;
}

struct ConsoleDevices {
    std::unique_ptr<quavel::AudioInput> input;
    std::unique_ptr<quavel::AudioOutput> output;
    std::unique_ptr<quavel::Ptt> ptt;
    quavel::WavOutput* file_output = nullptr; // `output` when it is the --audio-out file

    // Finishes the --audio-out file once the window is gone. Returns what went wrong with it
    // (the file is then not left behind), or nothing when it is complete or there is none.
    std::string finish_output();
};

// Takes the recording's samples out of `options`. Needs a QApplication for the Qt devices.
ConsoleDevices make_console_devices(ConsoleOptions& options);
