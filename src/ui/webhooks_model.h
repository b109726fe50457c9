// What the Webhooks page shows and writes: StoreName and DigestTime of [Options] and the hooks
// of [Webhook N], read from the settings file when the sheet opens and written back after OK,
// only where they changed. What the user types is checked by the alert settings' own readers,
// so the page refuses exactly what the program would leave out at start.
#pragma once

#include <string>
#include <vector>

#include "config/alert_settings.h"

// One [Webhook N] section as the page edits it.
struct HookEntry {
    int number = 0;  // N of [Webhook N]
    std::string url;
    std::string secret;
    unsigned events = 1u << static_cast<int>(zamri::AlertEvent::kException);

    // "exception, digest": the Events value for these events.
    std::string EventsText() const;
};

class WebhooksModel {
  public:
    // Reads [Options] StoreName and DigestTime and [Webhook 1] to [Webhook 16] (the sections
    // with a URL) of the file.
    void Read(const char* path);

    // The digest time as typed: 1 (HH:MM or empty), or 0 with the reader's sentence.
    static int CheckDigestTime(const std::string& text, std::string* message);
    // The hook as typed: 0 fine; 1 no URL; 2 no event chosen; 3 the start-up check would leave
    // it out, its sentence in *message.
    static int CheckHook(const HookEntry& hook, std::string* message);
    // The number of [Webhook N] a new hook gets: the lowest free; 0 when all 16 are taken.
    int NewHookNumber() const;
    // After CheckHook: puts the hook in place (index -1: adds it, in number order).
    void StoreHook(const HookEntry& hook, int index);
    void RemoveHook(int index);

    // Writes what differs from what was read: the two [Options] keys, removed hooks' sections
    // and the changed keys of each hook. Other keys (CAFile, WebhookTimeout, ...) stay as they
    // are. Returns the number of writes, or -1 when one failed.
    int Write(const char* path) const;

    std::string storeName;
    std::string digestTime;
    std::vector<HookEntry> hooks;  // in number order

  private:
    std::string readStoreName, readDigestTime;
    std::vector<HookEntry> readHooks;
};
