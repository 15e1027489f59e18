#include "texts.h"

namespace quavel::perf {

std::string call_text(uint32_t n) {
    // Callsigns that differ from call to call: a prefix, a digit and three letters.
    static constexpr const char* kPrefixes[] = {"G", "DL", "F", "EA", "OH", "SP", "VK", "JA"};
    const std::string call = std::string(kPrefixes[n % 8]) + std::to_string(n % 10) +
                             static_cast<char>('A' + n / 10 % 26) +
                             static_cast<char>('A' + n / 260 % 26) +
                             static_cast<char>('A' + (n * 7) % 26);
    return "CQ CQ DE " + call + " " + call + " K. QRV FOR SKED, PSE QSL VIA BURO. 73 DE " + call +
           " SK";
}

} // namespace quavel::perf
