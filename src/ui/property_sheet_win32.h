// The property sheet opened by the tray menu's "Property...", and what its pages and dialogs work
// on: the channel table they edit, the delivery step whose masks the filter page sets, and the
// working copy of the channel records.
#pragma once

#include <windows.h>

#include <functional>

#include "config/channel_table.h"
#include "platform/langpack.h"
#include "ui/exceptions_model.h"
#include "ui/webhooks_model.h"

class LineDelivery;
namespace zamri {
struct Settings;
}

// Owned by the program's front; the table and the delivery step must outlive it. Used on the
// window thread alone.
struct PropertySheetState : DialogHelper {
    PropertySheetState(ChannelTable& table, LineDelivery& lineDelivery)
        : channelTable(table), delivery(lineDelivery) {}
    PropertySheetState(const PropertySheetState&) = delete;
    PropertySheetState& operator=(const PropertySheetState&) = delete;

    ChannelTable& channelTable;
    // Holds the masks in use: the filter page shows them and replaces them after OK.
    LineDelivery& delivery;
    // The module whose resources hold the page and dialog templates; set when the sheet opens.
    HINSTANCE instance = nullptr;
    // The records being edited: the first page copies them from the table, OK writes them back.
    ChannelConfig workingChannels[kChannelCount];
    // The record workingChannels[editChannel] that the port settings and pattern dialogs edit.
    int editChannel = 0;
    // The Exceptions and Webhooks pages' working copies, read from the file when the sheet
    // opens and written back by ApplyPropertySheet.
    ExceptionsModel exceptions;
    WebhooksModel webhooks;
    // Where the exception settings go after OK changed them (the program's receipt readers and
    // its web page); without one, the delivery step's readers alone.
    std::function<void(const zamri::Settings&)> receiptsChanged;
    // What the rule and webhook dialogs edit: a copy, and the list position it came from (-1
    // for a new one).
    RuleEntry editRule;
    HookEntry editHook;
    int editIndex = -1;
    // 1 when the TCP page changed what the server was started with, so OK restarts capture.
    int tcpRestartPending = 0;
    // 1 while the sheet is shown: a second "Property..." does not open another.
    int open = 0;
};

// Shows the sheet over owner and returns when it has closed: 0 when one was open already, else
// 1. After OK the working copy is applied (ApplyPropertySheet).
int ShowPropertySheet(PropertySheetState& sheet, HINSTANCE instance, HWND owner);
// The working copy into the table, every record saved, capture restarted; the exception
// settings written and used from then on, the webhook settings written for the next start.
int ApplyPropertySheet(PropertySheetState& sheet);
