#include <ctime>

#include "journal/journal_record.h"
#include "journal/local_clock.h"

namespace zamri {

int LocalUtcOffsetMinutes(int64_t utcMilliseconds) {
    __time64_t seconds = utcMilliseconds / 1000;
    std::tm local{};
    if (_localtime64_s(&local, &seconds) != 0)
        return 0;
    // The local calendar time minus the UTC instant is the offset in force then.
    int64_t localSeconds = DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) * 86400 +
                           local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
    return static_cast<int>((localSeconds - seconds) / 60);
}

}  // namespace zamri
