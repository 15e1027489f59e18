// Any bytes as received text: the heard-calls detector never fails, never tells our own call or
// a word that is no callsign, and finds the same calls however the text is split into runs.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "station/callsign.h"
#include "station/heard_calls.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte chooses where the text is cut.
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const size_t cut = text.empty() ? 0 : data[0] % (text.size() + 1);
    quavel::HeardCalls whole("G3OWN");
    const std::vector<std::string> at_once = whole.feed(text);
    quavel::HeardCalls split("G3OWN");
    std::vector<std::string> in_runs = split.feed(text.substr(0, cut));
    for (std::string& call : split.feed(text.substr(cut)))
        in_runs.push_back(std::move(call));
    if (at_once != in_runs) std::abort();
    for (const std::string& call : at_once)
        if (call == "G3OWN" || !quavel::looks_like_callsign(call)) std::abort();
    return 0;
}
