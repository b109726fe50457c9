// The one store of what the program knows about its camera channels: 32 records, the TCP
// port and its rules, the settings as read, and the Important and Ignore lists. Capture and
// the filter's use are above it: the program gives the table its capture (CaptureControl) and
// a receiver for the filter and for what LoadSettings read, and the table's capture members
// hand on to them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "config/capture_control.h"
#include "config/channel_config.h"
#include "config/line_filter.h"
#include "config/line_flags.h"
#include "config/settings_parts.h"
#include "net/idle_slots.h"
#include "platform/paths.h"

namespace zamri {
struct Settings;
}

class ChannelTable {
  public:
    ChannelTable();
    ~ChannelTable();
    ChannelTable(const ChannelTable&) = delete;
    ChannelTable& operator=(const ChannelTable&) = delete;

    // Records the mode (1 TCP, 0 serial) and tells the capture (TCP mode's server exists from
    // then on).
    void SetMode(int newMode);
    int GetMode() const { return mode; }

    // The record, or nullptr when index is 32 or more.
    ChannelConfig* GetChannel(unsigned index);
    // Copies the configuration fields in; 1 done, 0 when index is 32 or more.
    int UpdateChannel(unsigned index, const ChannelConfig& record);

    int GetTcpPort() const { return tcpPort; }
    void SetTcpPort(int port) { tcpPort = port; }

    // The settings file (normally "zamri.ini" beside the executable).
    void SetSettingsPath(const char* path);
    const char* GetSettingsPath() const { return settingsPath; }
    // Reads the settings file once (shows what could not be used) and takes the channels, the
    // TCP server's rules and the filter lists from it; then hands what it read to the settings
    // receiver (the delivery step takes its masks from there).
    void LoadSettings();
    // What LoadSettings read, for the parts that take their piece from it (the defaults before
    // it runs). Safe from any thread.
    std::shared_ptr<const zamri::Settings> GetSettings() const;
    void SaveChannel(int index);
    // Writes tcpListenAddress and tcpAllowedSenders to [Options], each only when it differs from
    // the file, so that a file that never had them gains nothing.
    void SaveTcpSenderRules();

    // Line filter. Kind 0 Important, 1 Ignore. Load takes the list from what LoadSettings read.
    void LoadFilterList(int kind);
    void SaveFilterList(int kind);
    void ClearFilterList(int kind);
    // Lends the table's own array (main thread only); 0 when kind is greater than 1.
    int GetFilterList(int kind, int* count, char*** list);
    // Takes ownership of list and its strings (allocated with new[]); list may be null when
    // count is 0. The filter receiver gets both lists, as one value, from then on.
    int ReplaceFilterList(int kind, int count, char** list);

    // Where the filter goes whenever the lists change (the delivery step, which filters by the
    // value while other threads deliver lines), and what LoadSettings read. Given once by the
    // program, before anything is read; each is called on the thread that changes the table.
    void SetFilterReceiver(std::function<void(LineFilter)> receiver) { filterReceiver = std::move(receiver); }
    void SetSettingsReceiver(std::function<void(const zamri::Settings&)> receiver) {
        settingsReceiver = std::move(receiver);
    }
    // The capture that the members below hand on to; nullptr takes it away (they then do
    // nothing and return 0, or -2 for PortFailingSince).
    void SetCaptureControl(CaptureControl* control) { capture = control; }

    // Capture start and stop for the whole program and per serial channel.
    int StartCapture() { return capture != nullptr ? capture->StartCapture() : 0; }
    int StopCapture() { return capture != nullptr ? capture->StopCapture() : 0; }
    int StartChannel(int index) { return capture != nullptr ? capture->StartChannel(index) : 0; }
    int StopChannel(int index) { return capture != nullptr ? capture->StopChannel(index) : 0; }

    // A Detect's pause of the running channel that holds a port, and its end (see
    // capture_control.h).
    int PauseChannelOnPort(const char* portName) {
        return capture != nullptr ? capture->PauseChannelOnPort(portName) : -1;
    }
    int ResumeChannel(int index) { return capture != nullptr ? capture->ResumeChannel(index) : 0; }

    // Since when (ms on the steady clock) a running serial channel's port has been failing;
    // -1 while it reads well, -2 when the channel has no capture running.
    int64_t PortFailingSince(int index) { return capture != nullptr ? capture->PortFailingSince(index) : -2; }
    // Framing and parity errors of a running serial channel's port; -1 when none runs.
    int64_t LineErrors(int index) { return capture != nullptr ? capture->LineErrors(index) : -1; }

    // Binary dump of one running channel.
    int StartDump(const char* portName, const char* fileName) {
        return capture != nullptr ? capture->StartDump(portName, fileName) : -1;
    }
    int StopDump(int index) { return capture != nullptr ? capture->StopDump(index) : 0; }

    int32_t tcpPort = zamri::kDefaultTcpPort;
    // TCP mode's server: the local address it listens on ("ListenAddress" in [Options]; empty:
    // every one) and who may connect ("AllowedSenders" in [Options]; empty: everyone).
    char tcpListenAddress[16] = {};
    char tcpAllowedSenders[kAllowedSendersSize] = {};
    // When every slot of a server (TCP mode's, a listen:// or printer:// channel's) is taken, a
    // connection silent for longer than this gives way to a newcomer ("SlotIdleSeconds" in
    // [Options]; 0: never).
    int32_t slotIdleSeconds = zamri::kDefaultSlotIdleSeconds;
    int32_t mode = 0;
    ChannelConfig channels[kChannelCount];
    // The lists as the filter page edits them (main thread); the delivery step filters by a
    // value made from them whenever they change.
    int32_t importantCount = 0;
    int32_t ignoreCount = 0;
    char** importantList = nullptr;
    char** ignoreList = nullptr;

  private:
    // Puts list in place of the kind's list, frees the old one, and hands the filter receiver
    // the filter the two lists make now.
    void InstallFilterList(int kind, char** list, int count);

    char** ListOf(int kind) { return kind == kFilterImportant ? importantList : ignoreList; }
    const char* const* ListOf(int kind) const {
        return kind == kFilterImportant ? importantList : ignoreList;
    }
    int32_t CountOf(int kind) const { return kind == kFilterImportant ? importantCount : ignoreCount; }

    char settingsPath[zamri::kMaxPath] = {};
    mutable std::mutex settingsLock;  // held while settings is read or replaced
    std::shared_ptr<const zamri::Settings> settings;
    std::function<void(LineFilter)> filterReceiver;
    std::function<void(const zamri::Settings&)> settingsReceiver;
    CaptureControl* capture = nullptr;
};
