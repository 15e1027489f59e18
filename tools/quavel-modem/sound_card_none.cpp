// The tool built without Qt: no sound card; the verbs that need one say so.
#include "tools/quavel-modem/sound_card.h"

#include <cstdlib>

namespace quavel::tools {

void exit_after_sound_card(int status) {
    std::exit(status);
}

std::unique_ptr<SoundCard> open_sound_card(std::string& error) {
    error = kNoSoundCardSupport;
    return nullptr;
}

} // namespace quavel::tools
