#include "rx_api.h"

namespace quavel::tools {

std::unique_ptr<RxApi> open_rx_api(uint16_t, const RxApiStatus&, std::string& error) {
    error = "built without the control API";
    return nullptr;
}

} // namespace quavel::tools
