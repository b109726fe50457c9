#include "web/line_error_watch.h"

namespace zamri {

bool LineErrorWatch::Disagrees(int index, int64_t errors, int64_t steadyNowMs) {
    if (index < 0 || index >= kChannels)
        return false;
    std::lock_guard<std::mutex> guard(lock);
    if (errors < 0) {
        known[index] = false;
        grew[index] = false;
        return false;
    }
    // Errors counted before the first look were still made with these settings.
    int64_t before = known[index] && errors >= seen[index] ? seen[index] : 0;
    if (errors > before) {
        grewAt[index] = steadyNowMs;
        grew[index] = true;
    }
    seen[index] = errors;
    known[index] = true;
    return grew[index] && steadyNowMs - grewAt[index] < kLineErrorShowMilliseconds;
}

}  // namespace zamri
