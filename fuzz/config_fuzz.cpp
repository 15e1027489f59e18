// Any bytes as KEYSETUP.INI: the settings that come out are always ones the station can use.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "fuzz_file.h"
#include "station/station_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const quavel::fuzz::ScratchDir dir;
    quavel::StationSettings from_text;
    quavel::apply_config_text(std::string_view(reinterpret_cast<const char*>(data), size),
                              "KEYSETUP.INI", from_text);
    dir.write("KEYSETUP.INI", data, size);
    quavel::StationSettings from_file;
    const quavel::StartupConfig startup = quavel::load_config_at_startup(dir.path(), from_file);
    (void)startup;
    for (const quavel::StationSettings* s : {&from_text, &from_file}) {
        if (s->callsign.size() > quavel::kCallsignCapacity) std::abort();
        if (!quavel::port_item_for_word(s->port_name) && s->port_name != "NONE") std::abort();
    }
    return 0;
}
