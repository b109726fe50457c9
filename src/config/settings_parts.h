// The parts of the settings value that the program's areas take, each on its own and light to
// include: the TCP server's, the masks', the journal's, the export's and the web page's. The
// whole value (settings.h) adds the channels and the lists.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zamri {

class ReceiptTemplate;
class ExceptionRules;

constexpr int kDefaultTcpPort = 10000;
constexpr int kDefaultJournalDays = 90;
constexpr int kDefaultJournalSizeMB = 2048;
constexpr int kDefaultJournalFreeMB = 1024;
// Ten minutes of a busy store (63 lines a second) while the collector is away: 37,800 lines,
// about 385 bytes each as queued (a 40-byte line in both code pages and its sender), 15 MB at
// most, and only while the collector is away.
constexpr int kDefaultSyslogBufferLines = 40000;
constexpr int kListenAddressSize = 16;  // an IPv4 address and its NUL

// Something in the file that could not be used as written, in words for the user ("The value of
// AllowedSenders in [Channel 6] is longer than 4095 characters and is not used; ...").
struct SettingsProblem {
    std::string section;  // where it is: "Channel 6", "Options", ...
    std::string key;
    // Who tells the user: "" when the settings are read (a warning), "web" when the web page
    // starts (as the reason it is off).
    std::string area;
    std::string text;
};

// TCP mode's server: where it listens, who may connect and when a silent connection gives way.
struct TcpSettings {
    int32_t port = kDefaultTcpPort;  // [Channel] PORT
    std::string listenAddress;       // empty: every local address
    std::string allowedSenders;      // empty: everyone
    int32_t slotIdleSeconds = 60;    // 0: a full server refuses every newcomer
};

// What the delivery step masks in every line.
struct MaskSettings {
    bool cardNumbers = true;
    std::vector<std::string> patterns;  // as in the file, also those that do not compile
};

struct JournalSettings {
    std::string folder;  // empty: the journal is off
    int keepDays = kDefaultJournalDays;
    uint64_t budgetBytes = static_cast<uint64_t>(kDefaultJournalSizeMB) << 20;     // 0: no limit
    uint64_t freeFloorBytes = static_cast<uint64_t>(kDefaultJournalFreeMB) << 20;  // 0: no floor
};

struct SyslogSettings {
    std::string collector;  // as written; empty: no export
    int bufferLines = kDefaultSyslogBufferLines;
};

// How the delivery step reads each camera's receipts into transactions and exceptions.
struct ReceiptSettings {
    // Per channel: -1 its receipts are not read (the default), 0 the built-in template, else the
    // number of a [Template N] section.
    int templateChoice[32];
    // Indexed by number; [0] the built-in template, null where no such section compiled.
    std::vector<std::shared_ptr<const ReceiptTemplate>> templates;
    std::shared_ptr<const ExceptionRules> rules;
    ReceiptSettings() {
        for (int& choice : templateChoice)
            choice = -1;
    }
};

// The web page.
struct WebSettings {
    int port = 0;  // 0: no web page
    char address[64] = "127.0.0.1";
    char password[128] = {};
    char hostNames[1024] = {};  // as in the file; checked by ParseHostNames
    char error[160] = {};       // why a named port cannot be used; empty when fine
};

}  // namespace zamri
