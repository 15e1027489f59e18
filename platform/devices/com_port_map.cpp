#include "platform/devices/com_port_map.h"

namespace quavel {

unsigned com_port_number(std::string_view port_name) {
    if (port_name.size() < 4 || port_name.size() > 6) return 0;
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    if (upper(port_name[0]) != 'C' || upper(port_name[1]) != 'O' || upper(port_name[2]) != 'M')
        return 0;
    const std::string_view digits = port_name.substr(3);
    if (digits[0] == '0') return 0;
    unsigned n = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    return n <= 255 ? n : 0;
}

bool ComPortMap::add(std::string_view entry, std::string& error) {
    const size_t eq = entry.find('=');
    const unsigned n = eq == std::string_view::npos ? 0 : com_port_number(entry.substr(0, eq));
    if (n == 0 || eq + 1 >= entry.size()) {
        error = "Expected COMn=DEVICE (n from 1 to 255), got \"" + std::string(entry) + "\"";
        return false;
    }
    devices_[n] = std::string(entry.substr(eq + 1));
    return true;
}

std::string ComPortMap::device_for(std::string_view port_name) const {
    const unsigned n = com_port_number(port_name);
    if (n == 0) return std::string(port_name);
    if (const auto it = devices_.find(n); it != devices_.end()) return it->second;
#ifdef _WIN32
    return std::string(port_name);
#else
    return "/dev/ttyS" + std::to_string(n - 1);
#endif
}

} // namespace quavel
