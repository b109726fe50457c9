#include "config/channel_table.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "config/channel_settings.h"
#include "config/settings.h"
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

// The table of keys reads SlotIdleSeconds within these.
static_assert(zamri::kDefaultSlotIdleSeconds == 60 && zamri::kMaxSlotIdleSeconds == 86400,
              "SlotIdleSeconds in the table of keys");

ChannelTable::ChannelTable() : settings(std::make_shared<const zamri::Settings>()) {
    for (int i = 0; i < kChannelCount; ++i) {
        ChannelConfig& record = channels[i];
        std::snprintf(record.portName, sizeof record.portName, "COM%d", i + 1);
    }
}

ChannelTable::~ChannelTable() {
    // Capture is stopped by its owner, which goes before the table; the filter receiver may be
    // gone by now.
    filterReceiver = nullptr;
    ClearFilterList(kFilterImportant);
    ClearFilterList(kFilterIgnore);
}

void ChannelTable::SetMode(int newMode) {
    mode = newMode;
    if (capture != nullptr)
        capture->ModeSet(mode);
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
    std::shared_ptr<const zamri::Settings> read = zamri::ReadSettings(settingsPath, channels);
    zamri::ReportSettingsProblems(*read);
    {
        std::lock_guard<std::mutex> guard(settingsLock);
        settings = read;
    }
    for (int i = 0; i < kChannelCount; ++i)
        channels[i].CopyConfiguration(read->channels[i]);
    SetTcpPort(read->tcp.port);
    std::snprintf(tcpListenAddress, sizeof tcpListenAddress, "%s", read->tcp.listenAddress.c_str());
    std::snprintf(tcpAllowedSenders, sizeof tcpAllowedSenders, "%s", read->tcp.allowedSenders.c_str());
    slotIdleSeconds = read->tcp.slotIdleSeconds;
    LoadFilterList(kFilterImportant);
    LoadFilterList(kFilterIgnore);
    if (settingsReceiver)
        settingsReceiver(*read);
}

std::shared_ptr<const zamri::Settings> ChannelTable::GetSettings() const {
    std::lock_guard<std::mutex> guard(settingsLock);
    return settings;
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
