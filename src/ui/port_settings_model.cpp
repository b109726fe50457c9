#include "ui/port_settings_model.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "codepage/code_page.h"
#include "net/allowed_senders.h"
#include "net/port_name.h"

const char* const kParityKeys[5] = {"none", "odd", "even", "mark", "space"};

namespace {

char Fold(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    if (prefix.size() > text.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (Fold(text[i]) != Fold(prefix[i]))
            return false;
    }
    return true;
}

std::vector<PortListItem> NumberItems(const int* values, size_t count, const char* format) {
    std::vector<PortListItem> items;
    char text[32];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(text, sizeof text, format, values[i]);
        items.push_back({text, values[i]});
    }
    return items;
}

}  // namespace

std::vector<PortListItem> PortNameItems() {
    std::vector<PortListItem> items;
    for (int i = 1; i <= 24; ++i)
        items.push_back({"COM" + std::to_string(i), i - 1});
    return items;
}

std::vector<PortListItem> BaudRateItems() {
    static const int kRates[] = {1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200};
    return NumberItems(kRates, sizeof kRates / sizeof kRates[0], "%d bps");
}

std::vector<PortListItem> DataBitsItems() {
    static const int kBits[] = {5, 6, 7, 8};
    return NumberItems(kBits, sizeof kBits / sizeof kBits[0], "%d");
}

std::vector<PortListItem> StopBitsItems() {
    return {{"1", 0}, {"1.5", 1}, {"2", 2}};
}

std::vector<PortListItem> EmulationItems() {
    return {{"ESC/P", 0}, {"ESC/POS", 2}, {"Star", 3}, {"Text Only", 1}};
}

std::vector<PortListItem> CodePageItems(const std::string& defaultText, const std::string& noneText) {
    std::vector<PortListItem> items{{defaultText, 0}, {noneText, -1}};
    for (int i = 0; i < kCodePageTableCount; ++i) {
        const CodePageTable& page = kCodePageTables[i];
        items.push_back({std::string(page.name) + " " + page.about, page.number});
    }
    return items;
}

int ParseIdleSeconds(const std::string& text, int fallback) {
    size_t begin = text.find_first_not_of(' ');
    size_t end = text.find_last_not_of(' ');
    if (begin == std::string::npos)
        return fallback;
    long value = 0;
    for (size_t i = begin; i <= end; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return fallback;
        value = std::min<long>(value * 10 + (text[i] - '0'), kMaxIdleSeconds);
    }
    return static_cast<int>(value);
}

int FindItemStartingWith(const std::vector<PortListItem>& items, const std::string& prefix) {
    for (size_t i = 0; i < items.size(); ++i) {
        if (StartsWithNoCase(items[i].text, prefix))
            return static_cast<int>(i);
    }
    return -1;
}

int FindItemByValue(const std::vector<PortListItem>& items, int value) {
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].value == value)
            return static_cast<int>(i);
    }
    return -1;
}

PortSelections SelectionsForRecord(const ChannelConfig& record, int parityItemCount) {
    PortSelections s;
    s.port = FindItemStartingWith(PortNameItems(), record.portName);
    s.baudRate = FindItemStartingWith(BaudRateItems(), std::to_string(record.baudRate) + " bps");
    s.dataBits = FindItemStartingWith(DataBitsItems(), std::to_string(record.dataBits));
    s.parity = record.parity >= 0 && record.parity < parityItemCount ? record.parity : -1;
    std::vector<PortListItem> stops = StopBitsItems();
    int stop = FindItemByValue(stops, record.stopBits);
    s.stopBits = stop >= 0 ? FindItemStartingWith(stops, stops[static_cast<size_t>(stop)].text) : -1;
    s.emulation = FindItemByValue(EmulationItems(), record.emulation);
    s.codePage = FindItemByValue(CodePageItems(""), record.decoding.codePage);
    s.idleSeconds = record.decoding.idleSeconds;
    s.dtrDsr = (record.flowControl & 1) != 0;
    s.rtsCts = (record.flowControl & 2) != 0;
    s.xonXoff = (record.flowControl & 4) != 0;
    return s;
}

bool PortIsNetwork(const std::string& text) {
    return IsNetworkPortName(text.c_str());
}

int CheckPortEntries(const std::string& portText, const std::string& allowedSenders, std::string* bad) {
    NetworkPortName parsed;
    if (PortIsNetwork(portText) && !ParseNetworkPortName(portText.c_str(), &parsed)) {
        if (bad != nullptr)
            *bad = portText;
        return 1;
    }
    AllowedSenders list;
    std::string rejected;
    list.Parse(allowedSenders.c_str(), &rejected);
    if (!rejected.empty()) {
        if (bad != nullptr)
            *bad = rejected;
        return 2;
    }
    return 0;
}

void StoreSelections(const PortSelections& s, int parityItemCount, ChannelConfig& record) {
    std::vector<PortListItem> ports = PortNameItems();
    if (!s.portText.empty()) {
        std::snprintf(record.portName, sizeof record.portName, "%s", s.portText.c_str());
    } else if (s.port >= 0 && s.port < static_cast<int>(ports.size())) {
        std::snprintf(record.portName, sizeof record.portName, "%s",
                      ports[static_cast<size_t>(s.port)].text.c_str());
    }
    if (PortIsNetwork(record.portName)) {
        std::vector<PortListItem> emulations = EmulationItems();
        if (s.emulation >= 0 && s.emulation < static_cast<int>(emulations.size()))
            record.emulation = emulations[static_cast<size_t>(s.emulation)].value;
        return;
    }
    auto store = [](const std::vector<PortListItem>& items, int selection, int32_t& field) {
        if (selection >= 0 && selection < static_cast<int>(items.size())) {
            field = items[static_cast<size_t>(selection)].value;
        }
    };
    store(BaudRateItems(), s.baudRate, record.baudRate);
    store(DataBitsItems(), s.dataBits, record.dataBits);
    if (s.parity >= 0 && s.parity < parityItemCount)
        record.parity = s.parity;
    store(StopBitsItems(), s.stopBits, record.stopBits);
    store(EmulationItems(), s.emulation, record.emulation);
    store(CodePageItems(""), s.codePage, record.decoding.codePage);
    if (s.idleSeconds >= 0 && s.idleSeconds <= kMaxIdleSeconds)
        record.decoding.idleSeconds = s.idleSeconds;
    uint8_t flow = record.flowControl & static_cast<uint8_t>(~0x07u);
    flow |= (s.dtrDsr ? 1 : 0) | (s.rtsCts ? 2 : 0) | (s.xonXoff ? 4 : 0);
    record.flowControl = flow;
}
