#include <chrono>

#include "journal/local_clock.h"

namespace zamri {

int64_t UtcNowMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

int64_t LocalNowMilliseconds() {
    int64_t now = UtcNowMilliseconds();
    return now + LocalUtcOffsetMinutes(now) * 60000LL;
}

}  // namespace zamri
