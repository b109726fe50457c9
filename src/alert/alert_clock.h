// The clocks that alerts run on, behind one interface so tests can set the time: a steady clock
// for retries and back-off, the UTC clock for request timestamps, and the local offset for the
// daily digest.
#pragma once

#include <cstdint>

namespace zamri {

class AlertClock {
  public:
    virtual ~AlertClock() = default;
    // Milliseconds on a clock that never goes back (its start is arbitrary).
    virtual int64_t SteadyMilliseconds() const = 0;
    // Milliseconds since 1970-01-01 00:00 UTC.
    virtual int64_t UtcMilliseconds() const = 0;
    // Local time minus UTC at that moment, in minutes (daylight saving time included).
    virtual int32_t UtcOffsetMinutes(int64_t utcMilliseconds) const = 0;
};

// The machine's clocks and time zone.
const AlertClock& SystemAlertClock();

}  // namespace zamri
