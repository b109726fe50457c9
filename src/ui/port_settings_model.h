// What the port settings dialog offers and how it maps a channel record to list selections
// and back. Kept apart from the dialog so that the rules run and are tested on both platforms.
#pragma once

#include <string>
#include <vector>

#include "config/channel_config.h"

struct PortListItem {
    std::string text;
    int value;  // the port list's value is its text; value is then its position
};

std::vector<PortListItem> PortNameItems();  // "COM1" to "COM24"
std::vector<PortListItem> BaudRateItems();  // "1200 bps" to "115200 bps"
std::vector<PortListItem> DataBitsItems();  // "5" to "8"
std::vector<PortListItem> StopBitsItems();  // "1", "1.5", "2" with the codes 0, 1, 2
// The emulations in the order a sorted list shows them ("ESC/P", "ESC/POS", "Star", "Text Only");
// positions are not codes, so selection and storage go by value.
std::vector<PortListItem> EmulationItems();
// The printer code pages: first the printer's own default (value 0, shown as defaultText), then
// no conversion at all (value -1, noneText), then every supported page by its number, "PC850
// Multilingual" and so on.
std::vector<PortListItem> CodePageItems(const std::string& defaultText, const std::string& noneText = "");
// The idle seconds typed into the dialog: a number from 0 to kMaxIdleSeconds (larger ones are
// cut to it); anything else gives fallback.
int ParseIdleSeconds(const std::string& text, int fallback);
// Parity texts come from the language pack: keys in section "portconfig page", values 0 to 4.
extern const char* const kParityKeys[5];

// The first item whose text begins with prefix, ignoring ASCII case; -1 when none does.
int FindItemStartingWith(const std::vector<PortListItem>& items, const std::string& prefix);
// The first item with that value; -1 when none has it.
int FindItemByValue(const std::vector<PortListItem>& items, int value);

// The list positions that show a record (-1: no selection).
struct PortSelections {
    int port = -1;
    // The port field's text when it was typed rather than chosen (a network source such as
    // "printer://9100>192.168.1.50:9100", or a serial port the list does not offer); it wins
    // over port when not empty.
    std::string portText;
    int baudRate = -1;
    int dataBits = -1;
    int parity = -1;
    int stopBits = -1;
    int emulation = -1;
    int codePage = -1;  // position in CodePageItems
    int idleSeconds = 0;
    bool dtrDsr = false;
    bool rtsCts = false;
    bool xonXoff = false;
};

PortSelections SelectionsForRecord(const ChannelConfig& record, int parityItemCount);

// Whether the port field names a network source: its line settings do not apply.
bool PortIsNetwork(const std::string& text);

// What is wrong with what the user put in the dialog, as a code: 0 nothing, 1 a network port
// name that does not parse, 2 allowed senders that are not IPv4 addresses or blocks (listed in
// *bad when given).
int CheckPortEntries(const std::string& portText, const std::string& allowedSenders, std::string* bad);

// Stores the selections into the record. A list without a selection keeps the record's own
// value (a port name typed into the settings file, say, survives an OK that did not touch it);
// the flow-control bits other than the three shown are kept. For a network source the line
// settings and flow control are kept as stored.
void StoreSelections(const PortSelections& selections, int parityItemCount, ChannelConfig& record);
