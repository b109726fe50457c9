// The one store of what the program knows about its camera channels: 32 records, the TCP
// port and server, the overlay output, and the Important and Ignore lists.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "config/channel_config.h"
#include "config/line_filter.h"
#include "config/line_flags.h"
#include "config/settings_parts.h"
#include "delivery/line_delivery.h"
#include "delivery/overlay_output.h"
#include "net/idle_slots.h"
#include "platform/paths.h"
#include "serial/channel_run.h"

class TcpIngestServer;

namespace zamri {
struct Settings;
}

class ChannelTable {
  public:
    ChannelTable();
    ~ChannelTable();
    ChannelTable(const ChannelTable&) = delete;
    ChannelTable& operator=(const ChannelTable&) = delete;

    // Records the mode (1 TCP, 0 serial); in TCP mode also creates the TCP server.
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
    // TCP server's rules, the filter lists and the masks from it.
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
    // count is 0. The delivery step filters by both lists, as one value, from then on: safe
    // while other threads deliver lines.
    int ReplaceFilterList(int kind, int count, char** list);
    // 1 keep the line (an Important match adds 4 to flags), 0 drop it, by the delivery step's
    // current filter. Allocates nothing.
    int FilterLine(const char* text, int& flags) const {
        return delivery.CurrentFilter()->Apply(text, flags);
    }

    // The overlay step of the delivery (see OverlayOutput).
    void WriteOverlayLine(int channel, int flags, const char* text) {
        overlay.WriteOverlayLine(channel, flags, text);
    }

    // Capture start and stop for the whole program and per serial channel.
    int StartCapture();
    int StopCapture();
    int StartChannel(int index);
    int StopChannel(int index);

    // Since when (ms on the steady clock) a running serial channel's port has been failing;
    // -1 while it reads well, -2 when the channel has no capture running.
    int64_t PortFailingSince(int index);

    // Binary dump of one running serial channel.
    int StartDump(const char* portName, const char* fileName);
    int StopDump(int index);

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
    TcpIngestServer* tcpServer = nullptr;
    ChannelConfig channels[kChannelCount];
    // Each channel's running capture, if any (see channel_run.h).
    ChannelRun runs[kChannelCount];
    // The lists as the filter page edits them (main thread); the delivery step filters by a
    // value made from them whenever they change.
    int32_t importantCount = 0;
    int32_t ignoreCount = 0;
    char** importantList = nullptr;
    char** ignoreList = nullptr;
    // Opened first and closed last: every line of every source goes through the delivery step
    // (mask, filter, overlay, sinks), which writes to it.
    OverlayOutput overlay;
    LineDelivery delivery{overlay};

  private:
    // The mode-specific halves of capture start and stop and of the TCP server's life.
    int StartSerialCapture();
    int StopSerialCapture();
    int StartTcpCapture();
    int StopTcpCapture();
    void CreateTcpServer();
    void DestroyTcpServer();
    // Stop, then Start on tcpPort; "TCP Server is not started." when the start fails.
    void RestartTcpServer();
    void StopTcpServer();

    // Puts list in place of the kind's list, frees the old one, and hands the delivery step the
    // filter the two lists make now.
    void InstallFilterList(int kind, char** list, int count);

    char** ListOf(int kind) { return kind == kFilterImportant ? importantList : ignoreList; }
    const char* const* ListOf(int kind) const {
        return kind == kFilterImportant ? importantList : ignoreList;
    }
    int32_t CountOf(int kind) const { return kind == kFilterImportant ? importantCount : ignoreCount; }

    char settingsPath[zamri::kMaxPath] = {};
    mutable std::mutex settingsLock;  // held while settings is read or replaced
    std::shared_ptr<const zamri::Settings> settings;
};
