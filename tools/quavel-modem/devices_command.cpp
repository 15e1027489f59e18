// quavel-modem devices: the sound devices tx and rx can be told to use with --device.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "platform/devices/audio_device_list.h"
#include "sound_card.h"
#include "tools/command_line/command_line.h"

namespace quavel::tools {

namespace {

constexpr const char* kName = "quavel-modem devices";

void usage(std::FILE* out) {
    std::fputs("usage: quavel-modem devices\n"
               "\n"
               "Lists the audio input and output devices the sound system offers: each one's id,\n"
               "then its name, the system's default marked '*'. 'tx --device' and 'rx --device'\n"
               "take the id, the name, or a part of the name that fits no other device, in any\n"
               "case; the console's --input-device and --output-device take the same.\n"
               "\n"
               "Exit status: 0 listed, 1 no sound-card support, 2 usage error.\n",
               out);
}

} // namespace

int run_devices(const std::vector<std::string>& args) {
    CommandLine cli(kName, "Try 'quavel-modem devices --help'.");
    cli.help(usage);
    if (const auto code = cli.parse(args)) return *code;

    std::vector<AudioDeviceInfo> inputs;
    std::vector<AudioDeviceInfo> outputs;
    std::string error;
    if (!list_sound_devices(inputs, outputs, error)) {
        std::fprintf(stderr, "%s: %s\n", kName, error.c_str());
        return 1;
    }
    std::printf("audio input devices (* the default):\n%s"
                "audio output devices (* the default):\n%s",
                describe_audio_devices(inputs).c_str(), describe_audio_devices(outputs).c_str());
    exit_after_sound_card(0);
}

} // namespace quavel::tools
