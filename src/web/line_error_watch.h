// Whether what a serial channel sees disagrees with how it is set: the framing and parity
// errors its port marks, sampled each time the status is asked for. A count that grows means
// the bytes do not fit the line settings (or the cable is bad); the status says so for a while
// after each growth, and stops once the count stands still.
#pragma once

#include <cstdint>
#include <mutex>

namespace zamri {

constexpr char kLineSettingsWrong[] = "framing errors: line settings probably wrong";
// How long a growth of the count is shown.
constexpr int64_t kLineErrorShowMilliseconds = 60000;

class LineErrorWatch {
  public:
    // errors: the channel's count now (-1: no serial capture runs). True while the count has
    // grown within kLineErrorShowMilliseconds. A count that falls (the port was opened again)
    // starts over from it.
    bool Disagrees(int index, int64_t errors, int64_t steadyNowMs);

  private:
    static constexpr int kChannels = 32;
    std::mutex lock;
    int64_t seen[kChannels] = {};
    int64_t grewAt[kChannels] = {};
    bool known[kChannels] = {};
    bool grew[kChannels] = {};
};

}  // namespace zamri
