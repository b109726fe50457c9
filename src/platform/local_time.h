// Wall-clock time for the lines the program hands on: the time in UTC and the local offset from
// UTC at a given moment; one backend per platform (local_time_win32.cpp, local_time_posix.cpp).
#pragma once

#include <cstdint>

namespace zamri {

// Milliseconds since 1970-01-01 00:00 UTC.
int64_t UtcNowMilliseconds();

// Local time minus UTC, in minutes, at the given moment (daylight saving time included), as
// the machine's time zone settings say; 0 when they cannot be read.
int32_t LocalUtcOffsetMinutes(int64_t utcMilliseconds);

}  // namespace zamri
