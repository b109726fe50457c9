#include "delivery/line_clock.h"

#include "platform/local_time.h"

namespace {

class SystemClock : public LineClock {
  public:
    int64_t UtcMilliseconds() override { return zamri::UtcNowMilliseconds(); }
    int32_t UtcOffsetMinutes(int64_t utcMilliseconds) override {
        return zamri::LocalUtcOffsetMinutes(utcMilliseconds);
    }
};

}  // namespace

LineClock& SystemLineClock() {
    static SystemClock clock;
    return clock;
}
