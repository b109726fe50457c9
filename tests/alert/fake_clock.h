// A clock the test sets by hand, with a time zone of its own (offsets that change at given UTC
// moments, as daylight saving time does).
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>
#include <vector>

#include "alert/alert_clock.h"

namespace alert_testing {

class FakeClock : public zamri::AlertClock {
  public:
    explicit FakeClock(int64_t utcMilliseconds = 1796734800000, int32_t offsetMinutes = 60)
        : utc(utcMilliseconds), zone{{INT64_MIN, offsetMinutes}} {}

    int64_t SteadyMilliseconds() const override { return steady.load(); }
    int64_t UtcMilliseconds() const override { return utc.load(); }
    int32_t UtcOffsetMinutes(int64_t at) const override {
        int32_t offset = zone.front().second;
        for (const auto& change : zone)
            if (at >= change.first)
                offset = change.second;
        return offset;
    }

    // Moves both clocks on.
    void Advance(int64_t milliseconds) {
        steady += milliseconds;
        utc += milliseconds;
    }
    void SetUtc(int64_t milliseconds) { utc = milliseconds; }
    // From utcMilliseconds on, the zone's offset is offsetMinutes (call in time order).
    void ChangeOffset(int64_t utcMilliseconds, int32_t offsetMinutes) {
        zone.push_back({utcMilliseconds, offsetMinutes});
    }

  private:
    std::atomic<int64_t> steady{1000000};
    std::atomic<int64_t> utc;
    std::vector<std::pair<int64_t, int32_t>> zone;
};

}  // namespace alert_testing
