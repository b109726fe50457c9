// The time source of the delivery step; tests put in a fixed one.
#pragma once

#include <cstdint>

class LineClock {
  public:
    virtual ~LineClock() = default;
    virtual int64_t UtcMilliseconds() = 0;
    virtual int32_t UtcOffsetMinutes(int64_t utcMilliseconds) = 0;
};

// The machine's clock and time zone; one object for the whole process.
LineClock& SystemLineClock();
