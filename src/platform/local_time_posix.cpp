#include <time.h>

#include "platform/local_time.h"

namespace zamri {

int32_t LocalUtcOffsetMinutes(int64_t utcMilliseconds) {
    time_t seconds = static_cast<time_t>(utcMilliseconds / 1000);
    tm local{};
    if (localtime_r(&seconds, &local) == nullptr)
        return 0;
    return static_cast<int32_t>(local.tm_gmtoff / 60);
}

}  // namespace zamri
