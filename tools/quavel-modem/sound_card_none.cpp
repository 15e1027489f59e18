// The tool built without Qt: no sound card; the verbs that need one say so.
#include "sound_card.h"

#include <cstdlib>

namespace quavel::tools {

void exit_after_sound_card(int status) {
    std::exit(status);
}

std::unique_ptr<SoundCard> open_sound_card(const SoundCardRequest&, std::string& error,
                                           bool& bad_device) {
    error = kNoSoundCardSupport;
    bad_device = false;
    return nullptr;
}

std::unique_ptr<Ptt> make_serial_ptt(bool, std::string& error) {
    error = "built without serial-port support";
    return nullptr;
}

bool list_sound_devices(std::vector<AudioDeviceInfo>&, std::vector<AudioDeviceInfo>&,
                        std::string& error) {
    error = kNoSoundCardSupport;
    return false;
}

} // namespace quavel::tools
