// One camera channel's record: its configuration, as the settings file stores it. What a
// running capture shares with the main thread is kept apart (capture/channel_run.h).
#pragma once

#include <cstdint>

#include "config/decoding_options.h"
#include "platform/profile.h"

constexpr int kChannelCount = 32;
constexpr int kChannelTextSize = 64;  // port names and footer texts: 63 characters and a NUL
constexpr int kAllowedSendersSize = zamri::kMaxSettingsValueLength + 1;  // the whole of a settings value

struct ChannelConfig {
    // Copies every field, with the texts kept terminated.
    void CopyConfiguration(const ChannelConfig& from);

    int32_t enabled = 0;
    char portName[kChannelTextSize] = {};
    int32_t baudRate = 9600;
    int32_t dataBits = 8;
    int32_t parity = 0;        // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int32_t stopBits = 0;      // 0 one, 1 one and a half, 2 two
    uint8_t flowControl = 0;   // bit 0 DTR/DSR, bit 1 RTS/CTS, bit 2 XON/XOFF
    int32_t readTimeout = 0;   // ms for one port read, 0 = none; never set by the settings file
    int32_t emulation = 0;     // 0 "ESC/P", 1 "Text Only"
    int32_t patternFlags = 0;  // 0 form feed, 1 footer text
    char patternText[kChannelTextSize] = {};
    DecodingOptions decoding;  // "[Channel N]": printer code page, idle end
    // Network sources: who may connect or send ("AllowedSenders" in section "Channel N"; empty:
    // anyone).
    char allowedSenders[kAllowedSendersSize] = {};
};
