#include "support/wait.h"

#include <thread>

namespace testing_support {

bool WaitUntil(const std::function<bool()>& condition, int boundMilliseconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMilliseconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace testing_support
