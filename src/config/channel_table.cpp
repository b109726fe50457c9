#include "config/channel_table.h"

#include <cstdio>
#include <cstring>

#include "config/channel_settings.h"
#include "platform/ovtext.h"
#include "platform/profile.h"

namespace {
const char kChannelSection[] = "Channel";
const char kPortKey[] = "PORT";
const char kAllowedSendersKey[] = "AllowedSenders";
const char kOptionsSection[] = "Options";
const char kListenAddressKey[] = "ListenAddress";

// The section of a channel's settings beyond its record in [Channel]: "Channel 3".
void ChannelSection(int index, char* out, size_t size) {
    std::snprintf(out, size, "Channel %d", index + 1);
}
}  // namespace

ChannelTable::ChannelTable() {
    for (int i = 0; i < kChannelCount; ++i) {
        ChannelConfig& record = channels[i];
        std::snprintf(record.portName, sizeof record.portName, "COM%d", i + 1);
    }
    overlayHandle = OV_open(0, 1);
}

ChannelTable::~ChannelTable() {
    StopCapture();
    DestroyTcpServer();
    OV_close(overlayHandle.load());
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
    char value[kSettingsValueSize];
    for (int i = 0; i < kChannelCount; ++i) {
        std::snprintf(key, sizeof key, "%d", i + 1);
        zamri::ProfileReadText(settingsPath, kChannelSection, key, "", value, sizeof value);
        channels[i].emulation = 0;
        ParseChannelValue(value, channels[i]);
        char section[32];
        ChannelSection(i, section, sizeof section);
        zamri::ProfileReadText(settingsPath, section, kAllowedSendersKey, "", channels[i].allowedSenders,
                               sizeof channels[i].allowedSenders);
        channels[i].decoding = LoadDecodingOptions(settingsPath, i + 1);
    }
    SetTcpPort(zamri::ProfileReadInt(settingsPath, kChannelSection, kPortKey, kDefaultTcpPort));
    zamri::ProfileReadText(settingsPath, kOptionsSection, kListenAddressKey, "", tcpListenAddress,
                           sizeof tcpListenAddress);
    zamri::ProfileReadText(settingsPath, kOptionsSection, kAllowedSendersKey, "", tcpAllowedSenders,
                           sizeof tcpAllowedSenders);
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
    // Written only when it says something or changes, so that a file without network
    // channels gains no sections.
    char section[32];
    ChannelSection(index, section, sizeof section);
    zamri::ProfileReadText(settingsPath, section, kAllowedSendersKey, "", value, sizeof value);
    if (std::strcmp(value, channels[index].allowedSenders) != 0)
        zamri::ProfileWriteText(settingsPath, section, kAllowedSendersKey, channels[index].allowedSenders);
}

void ChannelTable::SaveTcpSenderRules() {
    char value[kSettingsValueSize];
    const struct {
        const char* key;
        const char* text;
    } entries[] = {{kListenAddressKey, tcpListenAddress}, {kAllowedSendersKey, tcpAllowedSenders}};
    for (const auto& entry : entries) {
        zamri::ProfileReadText(settingsPath, kOptionsSection, entry.key, "", value, sizeof value);
        if (std::strcmp(value, entry.text) != 0)
            zamri::ProfileWriteText(settingsPath, kOptionsSection, entry.key, entry.text);
    }
}
