// The recorder's text-overlay library as the first output of the delivery step: opened when the
// program is built, opened again on first need after a failed open, every call under one lock,
// closed when the program goes. Lines reach it synchronously, before any sink.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

class OverlayOutput {
  public:
    // OV_open(0, 1); a result of 0 is kept and the open is tried again for the next line.
    OverlayOutput();
    // Without the library: lines reach no overlay. For a tool that runs a recorded stream through
    // the delivery step, which must never show on the recorder's video.
    struct Detached {};
    explicit OverlayOutput(Detached) : attached(false) {}
    // OV_close, also when no handle was ever had.
    ~OverlayOutput();
    OverlayOutput(const OverlayOutput&) = delete;
    OverlayOutput& operator=(const OverlayOutput&) = delete;

    // Opens the library if no handle is open, then writes the line (channel 0 to 31); the line is
    // dropped when the library cannot be opened. Any thread.
    void WriteOverlayLine(int channel, int flags, const char* text);

    int32_t Handle() const { return overlayHandle.load(); }

  private:
    const bool attached = true;
    std::atomic<int32_t> overlayHandle{0};
    // Held around every single OV_open and OV_write, never longer.
    std::mutex overlayLock;
};
