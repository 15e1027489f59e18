// Which serial device a PTT port name such as "COM1" stands for. On Windows the names are the
// devices themselves. Elsewhere "COMn" means /dev/ttyS(n-1) unless the operator maps it to
// another device (a USB adapter, say) with an entry "COMn=DEVICE", as given by the console's
// `--com` option. Names that are not "COMn" (a device path) are used as they stand.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace quavel {

class ComPortMap {
public:
    // Adds or replaces one mapping from text "COMn=DEVICE" (n 1..255, DEVICE not empty).
    // False with `error` set, and nothing changed, for any other text.
    bool add(std::string_view entry, std::string& error);
    // The device to open for `port_name`.
    std::string device_for(std::string_view port_name) const;
    bool empty() const { return devices_.empty(); }

private:
    std::map<unsigned, std::string> devices_; // port number n -> device
};

// The number n of a port name "COMn" (1..255, no sign or leading zero), or 0 when it is not one.
unsigned com_port_number(std::string_view port_name);

} // namespace quavel
