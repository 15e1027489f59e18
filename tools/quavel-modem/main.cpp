// quavel-modem: the headless modem. One verb per job; each verb parses its own options.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "platform/hamlib/rig_guardian.h"

namespace {

void usage(std::FILE* out) {
    std::fputs("usage: quavel-modem VERB [OPTIONS]\n"
               "\n"
               "verbs:\n"
               "  tx       send text: write the audio to a WAV file or play it\n"
               "  rx       receive: decode a WAV file, raw samples or the sound card\n"
               "  channel  pass a WAV file through a simulated HF channel\n"
               "  devices  list the audio devices tx and rx can use\n"
               "\n"
               "'quavel-modem VERB --help' describes a verb's options.\n",
               out);
}

} // namespace

int main(int argc, char** argv) {
    // A rig's guardian is this program run again (platform/hamlib/rig_guardian.h).
    if (const std::optional<int> guardian = quavel::rig_guardian_main(argc, argv)) return *guardian;
    if (argc < 2) {
        usage(stderr);
        return 2;
    }
    const std::string verb = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if (verb == "tx") return quavel::tools::run_tx(args);
    if (verb == "rx") return quavel::tools::run_rx(args);
    if (verb == "channel") return quavel::tools::run_channel(args);
    if (verb == "devices") return quavel::tools::run_devices(args);
    if (verb == "--help" || verb == "-h" || verb == "help") {
        usage(stdout);
        return 0;
    }
    std::fprintf(stderr, "quavel-modem: unknown verb '%s'\n", verb.c_str());
    usage(stderr);
    return 2;
}
