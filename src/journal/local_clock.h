// The wall clock as the journal needs it; one backend per platform (local_clock_posix.cpp,
// local_clock_win32.cpp) for the time-zone part.
#pragma once

#include <cstdint>

namespace zamri {

// Milliseconds since 1970-01-01 UTC.
int64_t UtcNowMilliseconds();
// The local time zone's offset from UTC at that instant, in minutes (local = UTC + offset).
int LocalUtcOffsetMinutes(int64_t utcMilliseconds);
// Local wall-clock time now, as milliseconds since 1970-01-01 of the local calendar.
int64_t LocalNowMilliseconds();

}  // namespace zamri
