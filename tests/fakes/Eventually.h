#pragma once

#include <chrono>
#include <thread>

namespace quorvel::testing {

// Waits, sleeping between looks, until `condition` holds or `limit` passes.
template <typename Condition>
bool Eventually(Condition condition,
                std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace quorvel::testing
