// The local wall clock as the journal needs it, built on the program's one UTC clock and time
// zone offset (platform/local_time.h).
#pragma once

#include <cstdint>

#include "platform/local_time.h"

namespace zamri {

// Local wall-clock time now, as milliseconds since 1970-01-01 of the local calendar.
int64_t LocalNowMilliseconds();

}  // namespace zamri
