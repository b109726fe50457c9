// Helpers of the capture tests: bounded waits, and the message recorder they share with the
// other tests.
#pragma once

#include <chrono>

#include "platform/os.h"
#include "support/recorded_messages.h"

namespace testing_support {

// Polls condition until it holds or the bound passes; returns its last value.
template <typename Condition>
bool WaitFor(Condition condition, int boundMilliseconds = 10000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMilliseconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return condition();
        zamri::SleepMilliseconds(5);
    }
    return true;
}

}  // namespace testing_support
