#include "alert/alert_clock.h"

#include <chrono>

#include "platform/local_time.h"

namespace zamri {

namespace {

class SystemClock : public AlertClock {
  public:
    int64_t SteadyMilliseconds() const override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    int64_t UtcMilliseconds() const override { return UtcNowMilliseconds(); }
    int32_t UtcOffsetMinutes(int64_t utcMilliseconds) const override {
        return LocalUtcOffsetMinutes(utcMilliseconds);
    }
};

}  // namespace

const AlertClock& SystemAlertClock() {
    static const SystemClock clock;
    return clock;
}

}  // namespace zamri
