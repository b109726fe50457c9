#include "config/channel_config.h"

#include <cstring>

void ChannelConfig::CopyConfiguration(const ChannelConfig& from) {
    if (this == &from)
        return;
    enabled = from.enabled;
    std::memcpy(portName, from.portName, sizeof portName);
    portName[kChannelTextSize - 1] = 0;
    baudRate = from.baudRate;
    dataBits = from.dataBits;
    parity = from.parity;
    stopBits = from.stopBits;
    flowControl = from.flowControl;
    readTimeout = from.readTimeout;
    emulation = from.emulation;
    patternFlags = from.patternFlags;
    std::memcpy(patternText, from.patternText, sizeof patternText);
    patternText[kChannelTextSize - 1] = 0;
    std::memcpy(allowedSenders, from.allowedSenders, sizeof allowedSenders);
    allowedSenders[kAllowedSendersSize - 1] = 0;
    decoding = from.decoding;
}
