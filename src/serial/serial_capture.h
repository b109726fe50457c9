// One running serial channel: its port, the byte source over that port (binary dump, Hebrew
// code-page shift, recovery of a port that went away) and the line decoder.
#pragma once

#include <atomic>
#include <cstdint>

#include "codepage/hebrew_setting.h"
#include "serial/decoding_options.h"
#include "serial/line_decoder.h"
#include "serial/serial_port.h"

class SerialCapture : public SerialPort {
  public:
    int SetEmulation(int code) { return decoder.SetEmulation(code); }
    int SetPattern(int flags, const char* text) { return decoder.SetPattern(flags, text); }
    // The printer's code page, the recorder's and the idle end. Returns 1, or 0 with a message for
    // the user in problem when a page cannot be used (the emulation's default applies then).
    int SetDecoding(const DecodingOptions& options, int recorderPage, char* problem, int size);
    // The port read time-out that lets the idle end be seen on a quiet line (0: as configured).
    static int ReadTimeoutFor(const DecodingOptions& options, int configured) {
        return options.idleSeconds > 0 && configured == 0 ? kQuietReportMilliseconds : configured;
    }
    // The recorder's settings file that holds "pos_hebrew"; none means the setting is 0.
    void SetRecorderSettingsPath(const char* path) { hebrew.SetPath(path); }

    // The next decoded line, as LineDecoder::ReadLine, over this port.
    int ReadLine(const char** text, int* flags);

    // The byte source: a byte (shifted by the Hebrew setting), -1 when nothing came (after a
    // pause of 100 ms), -2 when a stop was requested or the port is closed, -3 once when the
    // port has been opened again after it went away.
    //
    // A port that keeps failing for a second (a USB adapter pulled out) is closed and opened
    // again by name once a second until it is back; meanwhile nothing comes, and the reopen is
    // reported as an interruption, so the half-printed line is dropped.
    int NextByte();

    // Since when (ms on the steady clock) the port has been failing, -1 while reads succeed.
    // Read by other threads for the status page.
    int64_t FailingSince() const { return failingSince.load(); }

    static constexpr int kFailurePauseMilliseconds = 100;
    static constexpr int kReopenAfterMilliseconds = 1000;

    LineDecoder decoder;

  private:
    static int NextByteOf(void* context) { return static_cast<SerialCapture*>(context)->NextByte(); }
    int ReadFailed();
    int TryReopen();

    HebrewSetting hebrew;
    bool reconnecting = false;
    std::atomic<int64_t> failingSince{-1};
    int64_t nextReopen = 0;
};
