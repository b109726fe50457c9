// What the channel table hands on when it is asked to start or stop capture: the program's
// capture (serial and network channels, TCP mode's server) implements it and gives itself to
// the table, so the table keeps its members without knowing the layers above it.
#pragma once

#include <cstdint>

class CaptureControl {
  public:
    virtual ~CaptureControl() = default;
    // The mode was set (1 TCP, 0 serial): TCP mode's server and worker exist from then on.
    virtual void ModeSet(int mode) = 0;
    virtual int StartCapture() = 0;
    virtual int StopCapture() = 0;
    virtual int StartChannel(int index) = 0;
    virtual int StopChannel(int index) = 0;
    virtual int64_t PortFailingSince(int index) = 0;
    // The framing and parity errors a running serial channel's port has marked since it opened;
    // -1 when the channel has no serial capture running.
    virtual int64_t LineErrors(int index) {
        (void)index;
        return -1;
    }
    // For a Detect on portName: the running serial channel that holds the port stops and stays
    // enabled, paused until ResumeChannel (or until capture as a whole stops). Its index, or -1
    // when no running channel holds the port.
    virtual int PauseChannelOnPort(const char* portName) {
        (void)portName;
        return -1;
    }
    // Starts a paused channel again: 1 started, 0 when it is not paused (any more).
    virtual int ResumeChannel(int index) {
        (void)index;
        return 0;
    }
    virtual int StartDump(const char* portName, const char* fileName) = 0;
    virtual int StopDump(int index) = 0;
};
