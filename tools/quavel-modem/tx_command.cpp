#include <cstdio>

#include "tools/quavel-modem/commands.h"

namespace quavel::tools {

int run_tx(const std::vector<std::string>&) {
    std::fputs("quavel-modem tx: not built yet\n", stderr);
    return 1;
}

} // namespace quavel::tools
