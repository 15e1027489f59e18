#include <cstdio>

#include "tools/quavel-modem/commands.h"

namespace quavel::tools {

int run_channel(const std::vector<std::string>&) {
    std::fputs("quavel-modem channel: not built yet\n", stderr);
    return 1;
}

} // namespace quavel::tools
