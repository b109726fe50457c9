// Helpers of the capture tests: bounded waits and a message sink that records what the user
// would have been shown.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "platform/os.h"

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

// Collects messages while it lives.
class RecordedMessages {
  public:
    RecordedMessages();
    ~RecordedMessages();
    std::vector<std::string> Texts() const;  // "caption|text"

  private:
    static int Sink(const char* text, const char* caption, unsigned style);
    zamri::MessageSink previous_;
};

}  // namespace testing_support
