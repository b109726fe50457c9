// Waiting for a condition in tests: polls until it holds or a generous bound passes, so a test
// never sleeps for a fixed time and a slow machine only makes it slower, not red.
#pragma once

#include <chrono>
#include <functional>

namespace testing_support {

constexpr int kWaitBoundMilliseconds = 20000;

// Polls every few milliseconds; the condition's last value.
bool WaitUntil(const std::function<bool()>& condition, int boundMilliseconds = kWaitBoundMilliseconds);

}  // namespace testing_support
