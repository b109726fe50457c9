// What the main thread and a channel's capture thread share while the channel runs: the thread
// and its capture object (a serial port's, or a network source's). Written by the starter
// before the thread runs and cleared by the thread's own teardown (or by a stopper that gives
// up on it) while the main thread polls them, hence atomic; see capture_threads.cpp.
#pragma once

#include <atomic>
#include <cstdint>

class SerialCapture;
class NetworkCapture;
struct CaptureThread;  // the serial layer's handle of a running capture thread

struct ChannelRun {
    std::atomic<int32_t> threadId{-1};
    std::atomic<CaptureThread*> thread{nullptr};
    std::atomic<SerialCapture*> capture{nullptr};
    std::atomic<NetworkCapture*> network{nullptr};
    // Since when (ms on the steady clock) the channel's serial port could not be opened at the
    // channel's start; -1 once it opened. The thread ends after a failed open, so this is what
    // tells feed health that an enabled channel is not capturing.
    std::atomic<int64_t> openFailedSince{-1};
    // Stopped for the port's Detect while staying enabled: capture starts pass it over and feed
    // health does not watch it, until it is resumed or capture as a whole stops.
    std::atomic<bool> paused{false};
};
