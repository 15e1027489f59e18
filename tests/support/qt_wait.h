// Lets the event loop run until a condition holds, for answers that come back from another
// thread through queued calls. The limit only bounds a failure; nothing is measured against it.
#pragma once

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <thread>

namespace quavel::test {

inline bool wait_until(const std::function<bool()>& done,
                       std::chrono::milliseconds limit = std::chrono::seconds(15)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace quavel::test
