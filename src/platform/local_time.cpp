#include <chrono>

#include "platform/local_time.h"

namespace zamri {

int64_t UtcNowMilliseconds() {
    auto since = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
}

}  // namespace zamri
