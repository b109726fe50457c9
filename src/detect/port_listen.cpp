#include "detect/port_listen.h"

#include <chrono>

#include "serial/serial_port.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kReadMilliseconds = 100;  // a read gives up this soon, so that time is kept
constexpr int kReadBytes = 256;
constexpr int kNoFlowControl = 0;

int Milliseconds(Clock::duration duration) {
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(duration).count());
}

}  // namespace

int ListenOnPort(const std::string& portName, int seconds, int recorderPage,
                 const std::function<void(const ListenProgress&)>& progress, DetectFindings* findings,
                 std::string* problem, const std::atomic<bool>* stop) {
    auto stopped = [stop] { return stop != nullptr && stop->load(); };
    TapDetection detection(OfferedLineSettings(), recorderPage);
    SerialPort port;
    const Clock::time_point start = Clock::now();
    const Clock::time_point end = start + std::chrono::seconds(seconds);
    ListenProgress shown;
    bool shownNothing = true;  // the first listen is shown at once
    shown.totalSeconds = seconds;
    size_t bytesRead = 0;
    const bool eachByte = SerialPort::MarksEachByte() != 0;
    ReceivedByte bytes[kReadBytes];
    uint8_t values[kReadBytes];
    while (!detection.Done() && Clock::now() < end && !stopped()) {
        ListenPlan plan = detection.Plan();
        port.Configure(portName.c_str(), plan.settings.baudRate, plan.settings.parity, plan.settings.dataBits,
                       plan.settings.stopBits, kNoFlowControl, kReadMilliseconds);
        if (port.Open() == 0) {
            *problem =
                "cannot open " + portName + " (no such port, in use by another program, or no permission)";
            return 0;
        }
        Clock::time_point listenEnd = end;
        if (plan.maxMilliseconds > 0)
            listenEnd = std::min(end, Clock::now() + std::chrono::milliseconds(plan.maxMilliseconds));
        size_t listenBytes = 0;
        bool enough = false;
        while (!enough && Clock::now() < listenEnd && !stopped()) {
            int elapsed = Milliseconds(Clock::now() - start) / 1000;
            if (elapsed != shown.elapsedSeconds || plan.settings != shown.settings ||
                detection.LineFound() != shown.lineFound || shownNothing) {
                shownNothing = false;
                shown.elapsedSeconds = elapsed;
                shown.settings = plan.settings;
                shown.bytesRead = bytesRead;
                shown.lineFound = detection.LineFound();
                progress(shown);
            }
            int waited = 0;
            int count = port.ReadMarked(bytes, kReadBytes, &waited);
            if (count == 0) {
                if (port.LastReadFailed() != 0) {
                    *problem = "reading " + portName + " failed (the port went away)";
                    return 0;
                }
                continue;  // quiet for a moment
            }
            if (eachByte) {
                enough = detection.Feed(bytes, static_cast<size_t>(count), waited != 0);
            } else {
                uint8_t marks = 0;
                for (int i = 0; i < count; ++i) {
                    values[i] = bytes[i].value;
                    marks |= bytes[i].marks;
                }
                enough = detection.FeedRead(values, static_cast<size_t>(count), marks, waited != 0);
            }
            bytesRead += static_cast<size_t>(count);
            listenBytes += static_cast<size_t>(count);
            if (plan.maxBytes > 0 && listenBytes >= static_cast<size_t>(plan.maxBytes))
                enough = true;
        }
        port.Close();
        detection.EndListen();
    }
    *findings = detection.Result();
    return 1;
}
