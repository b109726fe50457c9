#include "journal/local_clock.h"

namespace zamri {

int64_t LocalNowMilliseconds() {
    int64_t now = UtcNowMilliseconds();
    return now + LocalUtcOffsetMinutes(now) * 60000LL;
}

}  // namespace zamri
