#include "detect/simulated_detection.h"

#include <vector>

namespace {

constexpr int64_t kReopenMilliseconds = 3;  // what opening a port again costs
constexpr int64_t kClockPhase = 5;          // the receiver's sample clock is not in step with the till
constexpr int kClockErrorPpm = 300;         // nor quite on its rate
constexpr size_t kReadBytes = 8;            // a driver's read

}  // namespace

LineSignal TillPrinting(const std::string& receipt, const LineSettings& sender, int copies,
                        int64_t pauseMilliseconds, uint32_t seed) {
    LineSignal signal;
    signal.Idle(TicksFromMilliseconds(37));
    TillTiming timing;
    timing.lineGapMilliseconds = 2;
    timing.jitterPercent = 10;
    timing.jitterBits = 3;
    timing.seed = seed;
    for (int i = 0; i < copies; ++i) {
        signal.Send(reinterpret_cast<const uint8_t*>(receipt.data()), receipt.size(), sender, timing);
        signal.Idle(TicksFromMilliseconds(pauseMilliseconds));
    }
    return signal;
}

DetectionRun RunDetection(const LineSignal& signal, int64_t untilMilliseconds, bool perReadMarks) {
    DetectionRun run;
    SimulatedTap tap(signal, 0, TicksFromMilliseconds(kReopenMilliseconds), kClockPhase, kClockErrorPpm);
    TapDetection detection;
    auto lineCheck = [&] {
        if (run.bytesAtLine == 0 && detection.LineFound())
            run.bytesAtLine = tap.BytesSent();
    };
    while (!detection.Done() && tap.Now() < TicksFromMilliseconds(untilMilliseconds)) {
        ListenPlan plan = detection.Plan();
        tap.Listen(
            plan.settings, plan.maxBytes, plan.maxMilliseconds,
            [&](const std::vector<ReceivedByte>& read, bool afterPause) {
                bool enough;
                if (perReadMarks) {
                    std::vector<uint8_t> values;
                    uint8_t marks = 0;
                    for (const ReceivedByte& b : read) {
                        values.push_back(b.value);
                        marks |= b.marks;
                    }
                    enough = detection.FeedRead(values.data(), values.size(), marks, afterPause);
                } else {
                    enough = detection.Feed(read.data(), read.size(), afterPause);
                }
                lineCheck();
                return enough;
            },
            kReadBytes);
        detection.EndListen();
        lineCheck();
    }
    run.done = detection.Done();
    run.bytesAtEnd = tap.BytesSent();
    run.findings = detection.Result();
    return run;
}
