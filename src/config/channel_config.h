// One camera channel's record: its configuration (stored in the settings file) and the
// run-time state of its capture.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/profile.h"
#include "serial/decoding_options.h"

class SerialCapture;
class NetworkCapture;
struct CaptureThread;  // the serial layer's handle of a running capture thread

constexpr int kChannelCount = 32;
constexpr int kChannelTextSize = 64;  // port names and footer texts: 63 characters and a NUL
constexpr int kAllowedSendersSize = zamri::kMaxSettingsValueLength + 1;  // the whole of a settings value

struct ChannelConfig {
    ChannelConfig() = default;
    ChannelConfig(const ChannelConfig& other) { *this = other; }
    ChannelConfig& operator=(const ChannelConfig& other);

    // Copies the configuration fields only; the run-time fields stay as they are.
    void CopyConfiguration(const ChannelConfig& from);

    int32_t enabled = 0;
    // Run-time (serial capture): written by the starter before the thread runs and cleared by the
    // thread's own teardown while the main thread polls them, hence atomic.
    std::atomic<int32_t> threadId{-1};
    std::atomic<CaptureThread*> thread{nullptr};
    char portName[kChannelTextSize] = {};
    int32_t baudRate = 9600;
    int32_t dataBits = 8;
    int32_t parity = 0;       // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int32_t stopBits = 0;     // 0 one, 1 one and a half, 2 two
    uint8_t flowControl = 0;  // bit 0 DTR/DSR, bit 1 RTS/CTS, bit 2 XON/XOFF
    int32_t readTimeout = 0;  // ms for one port read, 0 = none; never set by the settings file
    int32_t emulation = 0;    // 0 "ESC/P", 1 "Text Only"
    std::atomic<SerialCapture*> capture{nullptr};
    int32_t patternFlags = 0;  // 0 form feed, 1 footer text
    char patternText[kChannelTextSize] = {};
    DecodingOptions decoding;  // "[Channel N]": printer code page, idle end
    // Network sources: who may connect or send ("AllowedSenders" in section "Channel N"; empty:
    // anyone), and the running source while its capture thread runs (run-time).
    char allowedSenders[kAllowedSendersSize] = {};
    std::atomic<NetworkCapture*> network{nullptr};
};
