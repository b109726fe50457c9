#include <ctime>

#include "journal/local_clock.h"

namespace zamri {

int LocalUtcOffsetMinutes(int64_t utcMilliseconds) {
    std::time_t seconds = static_cast<std::time_t>(utcMilliseconds / 1000);
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr)
        return 0;
    return static_cast<int>(local.tm_gmtoff / 60);
}

}  // namespace zamri
