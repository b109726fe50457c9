#include "config/channel_table.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "config/channel_settings.h"
#include "platform/profile.h"

namespace {
const char kChannelSection[] = "Channel";
const char kPortKey[] = "PORT";
const char kAllowedSendersKey[] = "AllowedSenders";
const char kOptionsSection[] = "Options";
const char kListenAddressKey[] = "ListenAddress";
const char kSlotIdleSecondsKey[] = "SlotIdleSeconds";

// The section of a channel's settings beyond its record in [Channel]: "Channel 3".
void ChannelSection(int index, char* out, size_t size) {
    std::snprintf(out, size, "Channel %d", index + 1);
}

// A sender rule is read whole or not at all: one refused as too long becomes
// kRefusedSettingText, which admits nobody, never the empty text that would admit everyone.
void LoadSenderRule(const char* path, const char* section, const char* key, char* field, size_t size,
                    const char* consequence) {
    std::string value;
    int got = zamri::ReadSettingsValue(path, section, key, &value, static_cast<int>(size) - 1, consequence);
    std::snprintf(field, size, "%s", got < 0 ? kRefusedSettingText : value.c_str());
}

// Written only when it says something new, so that a file without network channels gains no
// sections; a refused rule leaves the file's value in place.
void WriteSenderRule(const char* path, const char* section, const char* key, const char* text) {
    if (std::strcmp(text, kRefusedSettingText) == 0)
        return;
    std::string stored;
    zamri::ProfileReadValue(path, section, key, &stored);
    if (stored != text)
        zamri::ProfileWriteText(path, section, key, text);
}
}  // namespace

ChannelTable::ChannelTable() {
    for (int i = 0; i < kChannelCount; ++i) {
        ChannelConfig& record = channels[i];
        std::snprintf(record.portName, sizeof record.portName, "COM%d", i + 1);
    }
}

ChannelTable::~ChannelTable() {
    StopCapture();
    DestroyTcpServer();
    ClearFilterList(kFilterImportant);
    ClearFilterList(kFilterIgnore);
}

void ChannelTable::SetMode(int newMode) {
    mode = newMode;
    if (mode == 1 && tcpServer == nullptr)
        CreateTcpServer();
}

ChannelConfig* ChannelTable::GetChannel(unsigned index) {
    return index < static_cast<unsigned>(kChannelCount) ? &channels[index] : nullptr;
}

int ChannelTable::UpdateChannel(unsigned index, const ChannelConfig& record) {
    if (index >= static_cast<unsigned>(kChannelCount))
        return 0;
    channels[index].CopyConfiguration(record);
    return 1;
}

void ChannelTable::SetSettingsPath(const char* path) {
    std::snprintf(settingsPath, sizeof settingsPath, "%s", path != nullptr ? path : "");
}

void ChannelTable::LoadSettings() {
    char key[16];
    char section[32];
    char consequence[96];
    std::string value;
    for (int i = 0; i < kChannelCount; ++i) {
        ChannelConfig& record = channels[i];
        std::snprintf(key, sizeof key, "%d", i + 1);
        record.emulation = 0;
        std::snprintf(consequence, sizeof consequence, "channel %d stays off", i + 1);
        zamri::ReadSettingsValue(settingsPath, kChannelSection, key, &value, zamri::kMaxSettingsValueLength,
                                 consequence);
        if (const char* field = OverlongChannelField(value.c_str())) {
            zamri::ReportSettingsProblem(std::string("The ") + field + " in the value of " + key + " in [" +
                                         kChannelSection + "] is longer than " +
                                         std::to_string(kChannelTextSize - 1) + " characters; " +
                                         consequence + ".");
        } else {
            ParseChannelValue(value.c_str(), record);
        }
        ChannelSection(i, section, sizeof section);
        std::snprintf(consequence, sizeof consequence,
                      "no sender may connect to channel %d until it is shortened", i + 1);
        LoadSenderRule(settingsPath, section, kAllowedSendersKey, record.allowedSenders,
                       sizeof record.allowedSenders, consequence);
        record.decoding = LoadDecodingOptions(settingsPath, i + 1);
    }
    SetTcpPort(zamri::ProfileReadInt(settingsPath, kChannelSection, kPortKey, kDefaultTcpPort));
    LoadSenderRule(settingsPath, kOptionsSection, kListenAddressKey, tcpListenAddress,
                   sizeof tcpListenAddress, "the TCP server does not start until it is corrected");
    LoadSenderRule(settingsPath, kOptionsSection, kAllowedSendersKey, tcpAllowedSenders,
                   sizeof tcpAllowedSenders, "no sender may connect to the TCP server until it is shortened");
    slotIdleSeconds = std::clamp(zamri::ProfileReadInt(settingsPath, kOptionsSection, kSlotIdleSecondsKey,
                                                       zamri::kDefaultSlotIdleSeconds),
                                 0, zamri::kMaxSlotIdleSeconds);
    LoadFilterList(kFilterImportant);
    LoadFilterList(kFilterIgnore);
    delivery.LoadMasks(settingsPath);
}

void ChannelTable::SaveChannel(int index) {
    if (index < 0 || index >= kChannelCount)
        return;
    char key[16];
    char value[kSettingsValueSize];
    std::snprintf(key, sizeof key, "%d", index + 1);
    if (FormatChannelValue(channels[index], value, sizeof value) >= 0) {
        zamri::ProfileWriteText(settingsPath, kChannelSection, key, value);
    }
    SaveDecodingOptions(settingsPath, index + 1, channels[index].decoding);
    std::snprintf(value, sizeof value, "%d", tcpPort);
    zamri::ProfileWriteText(settingsPath, kChannelSection, kPortKey, value);
    char section[32];
    ChannelSection(index, section, sizeof section);
    WriteSenderRule(settingsPath, section, kAllowedSendersKey, channels[index].allowedSenders);
}

void ChannelTable::SaveTcpSenderRules() {
    WriteSenderRule(settingsPath, kOptionsSection, kListenAddressKey, tcpListenAddress);
    WriteSenderRule(settingsPath, kOptionsSection, kAllowedSendersKey, tcpAllowedSenders);
}
