#include <windows.h>

#include "platform/local_time.h"

namespace zamri {

namespace {
// 100-ns intervals between 1601-01-01 (FILETIME's origin) and 1970-01-01.
constexpr int64_t kUnixEpochInFileTime = 116444736000000000LL;

int64_t FileTimeValue(const FILETIME& time) {
    return (static_cast<int64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}
}  // namespace

int32_t LocalUtcOffsetMinutes(int64_t utcMilliseconds) {
    int64_t value = utcMilliseconds * 10000 + kUnixEpochInFileTime;
    FILETIME utc;
    utc.dwLowDateTime = static_cast<DWORD>(value & 0xFFFFFFFF);
    utc.dwHighDateTime = static_cast<DWORD>(value >> 32);
    SYSTEMTIME utcParts;
    SYSTEMTIME localParts;
    FILETIME local;
    // The time zone's rules for that moment, so a line just after a daylight saving change gets
    // the new offset.
    if (!FileTimeToSystemTime(&utc, &utcParts) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utcParts, &localParts) ||
        !SystemTimeToFileTime(&localParts, &local))
        return 0;
    return static_cast<int32_t>((FileTimeValue(local) - value) / (10000LL * 1000 * 60));
}

}  // namespace zamri
