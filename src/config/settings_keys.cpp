#include "config/settings_keys.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/channel_settings.h"
#include "config/host_names.h"
#include "receipt/receipt_rules.h"
#include "receipt/receipt_settings.h"

namespace zamri {

namespace {

constexpr char kOptions[] = "Options";
constexpr char kChannel[] = "Channel";

std::string ChannelSection(int number) {
    return "Channel " + std::to_string(number);
}

ChannelConfig& Record(SettingsReading& reading, int number) {
    return reading.Value().channels[number - 1];
}

// A sender rule is read whole or not at all: one refused as too long becomes
// kRefusedSettingText, which admits nobody, never the empty text that would admit everyone.
std::string SenderRule(SettingsReading& reading, const char* section, const char* key, int maxLength,
                       const char* consequence) {
    std::string value;
    int got = reading.Text(section, key, &value, maxLength, consequence);
    return got < 0 ? std::string(kRefusedSettingText) : value;
}

std::string TextOr(SettingsReading& reading, const char* key, int maxLength, const char* def) {
    return reading.TextOr(kOptions, key, maxLength, def);
}

// A plain IPv4 or IPv6 literal: digits, hex letters, dots and colons only. The server parses
// it for real; this only keeps a host name (which would need a lookup) out.
bool LooksLikeAddress(const char* text) {
    if (text[0] == 0)
        return false;
    for (const char* p = text; *p != 0; ++p) {
        char c = *p;
        bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == '.' ||
                  c == ':';
        if (!ok)
            return false;
    }
    return true;
}

void ChannelValue(SettingsReading& reading, const SettingKey&, int number) {
    ChannelConfig& record = Record(reading, number);
    std::string key = std::to_string(number);
    std::string consequence = "channel " + key + " stays off";
    std::string value;
    reading.Text(kChannel, key.c_str(), &value, kMaxSettingsValueLength, consequence.c_str());
    // A missing emulation field reads as ESC/P whatever the record held.
    record.emulation = 0;
    if (const char* field = OverlongChannelField(value.c_str())) {
        reading.Problem(kChannel, key,
                        std::string("The ") + field + " in the value of " + key + " in [" + kChannel +
                            "] is longer than " + std::to_string(kChannelTextSize - 1) + " characters; " +
                            consequence + ".");
        return;
    }
    ParseChannelValue(value.c_str(), record);
}

void ChannelAllowedSenders(SettingsReading& reading, const SettingKey&, int number) {
    ChannelConfig& record = Record(reading, number);
    std::string consequence =
        "no sender may connect to channel " + std::to_string(number) + " until it is shortened";
    std::string rule = SenderRule(reading, ChannelSection(number).c_str(), "AllowedSenders",
                                  kAllowedSendersSize - 1, consequence.c_str());
    std::snprintf(record.allowedSenders, sizeof record.allowedSenders, "%s", rule.c_str());
}

void ChannelCodePage(SettingsReading& reading, const SettingKey&, int number) {
    Record(reading, number).decoding.codePage =
        reading.Integer(ChannelSection(number).c_str(), "CodePage", 0);
}

void ChannelIdleSeconds(SettingsReading& reading, const SettingKey&, int number) {
    int seconds = reading.Integer(ChannelSection(number).c_str(), "IdleSeconds", 0);
    Record(reading, number).decoding.idleSeconds = std::clamp(seconds, 0, kMaxIdleSeconds);
}

void ChannelCutEndsReceipt(SettingsReading& reading, const SettingKey&, int number) {
    // Only a plain 0 turns it off: a mistyped value keeps receipts ending at their cuts.
    std::string value = reading.TextOr(ChannelSection(number).c_str(), "CutEndsReceipt", 15, "1");
    char* end = nullptr;
    long parsed = std::strtol(value.c_str(), &end, 10);
    Record(reading, number).decoding.cutEndsReceipt =
        end != value.c_str() && *end == 0 && parsed == 0 ? 0 : 1;
}

// Missing or empty: the channel's receipts are not read, so a file written before receipts were
// read keeps every line and flag as it was.
void ChannelTemplate(SettingsReading& reading, const SettingKey&, int number) {
    std::string section = ChannelSection(number);
    std::string value;
    int& choice = reading.Value().receipts.templateChoice[number - 1];
    choice = kNoTemplate;
    if (reading.Text(section.c_str(), "Template", &value, 15, "its receipts are not read") <= 0 ||
        value.empty())
        return;
    std::string error;
    if (!ParseTemplateChoice(value, &choice, &error))
        reading.Problem(section, "Template", error);
}

void ReceiptOption(SettingsReading& reading, const SettingKey& row, int) {
    std::string value;
    if (reading.Text(kOptions, row.key, &value) > 0)
        reading.receiptOptions.push_back({row.key, value});
}

std::vector<SettingSection> NumberedSections(SettingsReading& reading, const char* name, int last) {
    std::vector<SettingSection> sections;
    for (int number = 1; number <= last; ++number) {
        std::string section = std::string(name) + " " + std::to_string(number);
        std::vector<std::string> overlong;
        auto entries = ProfileReadSection(reading.Path(), section.c_str(), &overlong);
        for (const std::string& key : overlong)
            reading.Problem(
                section, key,
                OverlongSettingMessage(section.c_str(), key.c_str(), kMaxSettingsValueLength, nullptr));
        if (entries.empty())
            continue;
        SettingSection read;
        read.number = number;
        for (auto& entry : entries)
            read.keys.push_back({std::move(entry.first), std::move(entry.second)});
        sections.push_back(std::move(read));
    }
    return sections;
}

// The templates and rules, compiled in the recorder's code page, as the lines arrive. What does
// not compile is reported and left out; the rest is used.
void ReceiptSections(SettingsReading& reading, const SettingKey&, int) {
    Settings& settings = reading.Value();
    ReceiptSettings& receipts = settings.receipts;
    int codePage = UsableRecorderCodePage(settings.recorderCodePage);
    std::vector<std::string> errors;
    ExceptionOptions options;
    ParseExceptionOptions(reading.receiptOptions, &options, &errors);
    for (const std::string& error : errors)
        reading.Problem(kOptions, "", error);
    receipts.templates.assign(kMaxTemplates + 1, nullptr);
    receipts.templates[kBuiltinTemplate] = std::make_shared<const ReceiptTemplate>(codePage);
    for (const SettingSection& section : NumberedSections(reading, "Template", kMaxTemplates)) {
        errors.clear();
        receipts.templates[section.number] = ReceiptTemplate::Compile(section, codePage, &errors);
        for (const std::string& error : errors)
            reading.Problem("Template " + std::to_string(section.number), "", error);
    }
    errors.clear();
    receipts.rules =
        ExceptionRules::Compile(options, NumberedSections(reading, "Rule", kMaxRules), codePage, &errors);
    for (const std::string& error : errors)
        reading.Problem("Rule", "", error);
    for (int number = 1; number <= kChannelCount; ++number) {
        int& choice = receipts.templateChoice[number - 1];
        if (choice > 0 && receipts.templates[choice] == nullptr) {
            reading.Problem(ChannelSection(number), "Template",
                            "Template=" + std::to_string(choice) + " in [" + ChannelSection(number) +
                                "]: there is no section [Template " + std::to_string(choice) +
                                "]; the built-in template reads its receipts.");
            choice = kBuiltinTemplate;
        }
    }
}

void ListenAddress(SettingsReading& reading, const SettingKey&, int) {
    reading.Value().tcp.listenAddress = SenderRule(reading, kOptions, "ListenAddress", kListenAddressSize - 1,
                                                   "the TCP server does not start until it is corrected");
}

void TcpAllowedSenders(SettingsReading& reading, const SettingKey&, int) {
    reading.Value().tcp.allowedSenders =
        SenderRule(reading, kOptions, "AllowedSenders", kAllowedSendersSize - 1,
                   "no sender may connect to the TCP server until it is shortened");
}

void ImportantList(SettingsReading& reading, const SettingKey&, int) {
    reading.Value().important = reading.List("Important");
}

void IgnoreList(SettingsReading& reading, const SettingKey&, int) {
    reading.Value().ignore = reading.List("Ignore");
}

void MaskCardNumbers(SettingsReading& reading, const SettingKey&, int) {
    // Only a plain 0 switches masking off: a mistyped value keeps card numbers hidden.
    std::string value = TextOr(reading, "MaskCardNumbers", 15, "1");
    char* end = nullptr;
    long number = std::strtol(value.c_str(), &end, 10);
    reading.Value().masks.cardNumbers = !(end != value.c_str() && *end == 0 && number == 0);
}

void MaskList(SettingsReading& reading, const SettingKey&, int) {
    reading.Value().masks.patterns = reading.List("Mask");
}

void RecorderCodePage(SettingsReading& reading, const SettingKey& row, int) {
    reading.Value().recorderCodePage = reading.Integer(row.section, row.key, DefaultNumber(row));
}

void Journal(SettingsReading& reading, const SettingKey&, int) {
    // A value that cannot be typed tells a missing key from an empty one.
    const char kMissing[] = "\x01";
    std::string folder = TextOr(reading, "Journal", 259, kMissing);
    if (folder == kMissing)
        folder = "journal";
    reading.Value().journal.folder = folder.empty() ? std::string() : BesideSettings(reading.Path(), folder);
}

// A size in MB into one of the journal's byte counts; a negative one gives the row's default.
template <uint64_t JournalSettings::*Field>
void JournalMegabytes(SettingsReading& reading, const SettingKey& row, int) {
    int size = reading.Integer(row.section, row.key, DefaultNumber(row));
    reading.Value().journal.*Field = static_cast<uint64_t>(size < 0 ? DefaultNumber(row) : size) << 20;
}

// The page's keys are read one after the other while each holds: a page that is off says why
// once, and keys after the first one in the way are not looked at. WebSettings::port is set by
// the last one, when all of them hold.
constexpr int kWebOff = -1;

void WebOff(SettingsReading& reading, const char* key, const char* format, const std::string& value,
            int room) {
    WebSettings& web = reading.Value().web;
    std::snprintf(web.error, sizeof web.error, format, room, value.c_str());
    reading.Problem(kOptions, key, web.error, "web");
}

void HttpPort(SettingsReading& reading, const SettingKey&, int) {
    std::string value = TextOr(reading, "HttpPort", 255, "");
    reading.webPort = kWebOff;
    if (value.empty())
        return;
    char* end = nullptr;
    long port = std::strtol(value.c_str(), &end, 10);
    if (end == value.c_str() || *end != 0 || port < 1 || port > 65535) {
        WebOff(reading, "HttpPort",
               "HttpPort=%.*s in [Options] is not a port from 1 to 65535; the web page is off.", value, 40);
        return;
    }
    reading.webPort = static_cast<int>(port);
}

void HttpAddress(SettingsReading& reading, const SettingKey&, int) {
    if (reading.webPort == kWebOff)
        return;
    WebSettings& web = reading.Value().web;
    std::string value = TextOr(reading, "HttpAddress", 255, "127.0.0.1");
    if (value.empty())
        value = "127.0.0.1";
    if (!LooksLikeAddress(value.c_str()) || value.size() >= sizeof web.address) {
        WebOff(reading, "HttpAddress",
               "HttpAddress=%.*s in [Options] is not an IP address; the web page is off.", value, 60);
        reading.webPort = kWebOff;
        return;
    }
    std::memcpy(web.address, value.c_str(), value.size() + 1);
}

void HttpPassword(SettingsReading& reading, const SettingKey&, int) {
    if (reading.webPort == kWebOff)
        return;
    WebSettings& web = reading.Value().web;
    // Refused, not cut, and never read as no password: the page stays off.
    std::string password;
    if (reading.Text(kOptions, "HttpPassword", &password, sizeof web.password - 1, "the web page is off") <
        0) {
        reading.webPort = kWebOff;
        return;
    }
    std::memcpy(web.password, password.c_str(), password.size() + 1);
}

void HttpHostNames(SettingsReading& reading, const SettingKey&, int) {
    if (reading.webPort == kWebOff)
        return;
    WebSettings& web = reading.Value().web;
    // A cut list could end in the middle of a name; refused as a whole, the page stays off.
    std::string hostNames;
    if (reading.Text(kOptions, "HttpHostNames", &hostNames, sizeof web.hostNames - 1, "the web page is off") <
        0)
        return;
    std::vector<std::string> names;
    std::string bad;
    if (!ParseHostNames(hostNames, &names, &bad)) {
        WebOff(reading, "HttpHostNames",
               "HttpHostNames in [Options]: \"%.*s\" is not a host name; the web page is off.", bad, 60);
        return;
    }
    std::memcpy(web.hostNames, hostNames.c_str(), hostNames.size() + 1);
    web.port = reading.webPort;
}

// A sentence of the alert settings ("[Options] DigestTime: ..." or "[Webhook 2] URL: ...") as a
// problem of its section and key.
void AlertProblems(SettingsReading& reading, const std::vector<std::string>& sentences) {
    for (const std::string& sentence : sentences) {
        size_t close = sentence.find("] ");
        std::string section = close == std::string::npos ? "" : sentence.substr(1, close - 1);
        size_t colon = sentence.find(": ", close == std::string::npos ? 0 : close);
        std::string key = close == std::string::npos || colon == std::string::npos
                              ? std::string()
                              : sentence.substr(close + 2, colon - close - 2);
        if (key.find(' ') != std::string::npos)
            key.clear();
        reading.Problem(section, key, sentence);
    }
}

template <std::string AlertOptionsText::*Field>
void AlertOption(SettingsReading& reading, const SettingKey& row, int) {
    reading.alertOptions.*Field = reading.TextOr(row.section, row.key, kMaxSettingsValueLength, "");
}

// The last of the [Options] alert keys: all four are read, so they are parsed together.
void WebhookRetryMinutes(SettingsReading& reading, const SettingKey& row, int number) {
    AlertOption<&AlertOptionsText::webhookRetryMinutes>(reading, row, number);
    std::vector<std::string> sentences;
    ParseAlertOptions(reading.alertOptions, &reading.Value().alerts.options, &sentences);
    AlertProblems(reading, sentences);
}

std::string WebhookSection(int number) {
    return "Webhook " + std::to_string(number);
}

template <std::string WebhookSectionText::*Field>
void WebhookKey(SettingsReading& reading, const SettingKey& row, int) {
    for (int number = 1; number <= kMaxWebhooks; ++number)
        reading.webhooks[number - 1].*Field =
            reading.TextOr(WebhookSection(number).c_str(), row.key, kMaxSettingsValueLength, "");
}

// The last key of a hook's section: every section is read, so each is made into a hook, or
// reported and left out.
void WebhookCaFile(SettingsReading& reading, const SettingKey& row, int number) {
    WebhookKey<&WebhookSectionText::caFile>(reading, row, number);
    std::vector<WebhookConfig>& hooks = reading.Value().alerts.hooks;
    hooks.clear();
    for (int n = 1; n <= kMaxWebhooks; ++n) {
        std::vector<std::string> sentences;
        WebhookConfig hook;
        if (ParseWebhookSection(n, reading.webhooks[n - 1], &hook, &sentences))
            hooks.push_back(std::move(hook));
        AlertProblems(reading, sentences);
    }
}

template <std::string SettingsReading::*Field>
void HealthOption(SettingsReading& reading, const SettingKey& row, int) {
    reading.*Field = reading.TextOr(row.section, row.key, kMaxSettingsValueLength, "");
}

// The last of the feed-health keys: the three are parsed together.
void HealthLineErrors(SettingsReading& reading, const SettingKey& row, int) {
    std::string lineErrors = reading.TextOr(row.section, row.key, kMaxSettingsValueLength, "");
    std::vector<std::string> sentences;
    ParseFeedHealthSettings(reading.healthSilent, reading.healthHours, lineErrors, &reading.Value().health,
                            &sentences);
    AlertProblems(reading, sentences);
}

const std::vector<SettingKey> kPlainKeys = {
    // One channel: its value in [Channel], then its own section [Channel N].
    {"Channel", "1 to 32", "channel value", "0,COMN,9600,0,8,0,0,0,0,", "",
     "enabled, port, baud rate, parity, data bits, stop bits, flow control (hex), emulation, end of receipt, "
     "footer text",
     true, ChannelValue},
    {"Channel N", "AllowedSenders", "addresses and blocks", "", "",
     "who may connect to or send to a network source (empty: anyone)", true, ChannelAllowedSenders},
    {"Channel N", "CodePage", "code page", "0", "",
     "the printer's page until the stream selects one (0: as the printer ships, -1: none)", true,
     ChannelCodePage},
    {"Channel N", "IdleSeconds", "seconds", "0", "0 to 3600",
     "end an open receipt after this long without data (0: never)", true, ChannelIdleSeconds},
    {"Channel N", "CutEndsReceipt", "0 or 1", "1", "",
     "a paper cut (ESC/POS, Star) ends the receipt as a form feed does (only 0 switches it off, for a "
     "till that cuts inside a receipt)",
     true, ChannelCutEndsReceipt},
    {"Channel N", "Template", "builtin, none or 1 to 32", "none", "",
     "how the channel's receipts are read into transactions and exceptions: the built-in template, a "
     "[Template N] section, or not at all",
     true, ChannelTemplate},
    // TCP mode.
    {"Channel", "PORT", "port", "10000", "", "TCP mode's listening port", false,
     NumberKey<&Settings::tcp, &TcpSettings::port>},
    {"Options", "ListenAddress", "IPv4 address", "", "",
     "the local address TCP mode listens on (empty: every one)", false, ListenAddress},
    {"Options", "AllowedSenders", "addresses and blocks", "", "",
     "who may connect in TCP mode (empty: anyone)", false, TcpAllowedSenders},
    {"Options", "SlotIdleSeconds", "seconds", "60", "0 to 86400",
     "a full server lets a newcomer in once its most silent connection has sent nothing for this long (0: "
     "never)",
     false, ClampedKey<&Settings::tcp, &TcpSettings::slotIdleSeconds, 0, 86400>},
    // The line filter and the masks.
    {"Important", "count, 0, 1, ...", "list of texts", "", "",
     "a line that holds one of them is kept and flagged 4 (case of a to z ignored)", false, ImportantList},
    {"Ignore", "count, 0, 1, ...", "list of texts", "", "",
     "a line that holds one of them is dropped, unless it is Important", false, IgnoreList},
    {"Options", "MaskCardNumbers", "0 or 1", "1", "",
     "card numbers are masked in every line (only 0 switches it off)", false, MaskCardNumbers},
    {"Mask", "count, 0, 1, ...", "list of patterns", "", "",
     "user masks: wildcard patterns, or re: and a regular expression", false, MaskList},
    // The sinks.
    {"Options", "RecorderCodePage", "code page", "1252", "874, 1250 to 1258",
     "the Windows code page the recorder shows text in", false, RecorderCodePage},
    {"Options", "Journal", "folder", "journal", "",
     "the journal folder, beside the settings file when relative (empty: no journal)", false, Journal},
    {"Options", "JournalDays", "days", "90", "0 and up", "day files kept, today included (0: every one)",
     false, NumberKey<&Settings::journal, &JournalSettings::keepDays, 0>},
    {"Options", "JournalSizeMB", "MB", "2048", "0 and up",
     "the day files together are kept within this (0: no limit)", false,
     JournalMegabytes<&JournalSettings::budgetBytes>},
    {"Options", "JournalFreeMB", "MB", "1024", "0 and up",
     "at least this much stays free on the journal's disk (0: no floor)", false,
     JournalMegabytes<&JournalSettings::freeFloorBytes>},
    {"Options", "Syslog", "collector", "", "",
     "tcp://HOST[:PORT], udp://HOST[:PORT] or HOST[:PORT]; port 514 unless given (empty: no export)", false,
     TextKey<&Settings::syslog, &SyslogSettings::collector, 259>},
    {"Options", "SyslogBuffer", "lines", "40000", "1 and up",
     "lines held while the collector is away; the default is ten minutes of a busy store (63 lines a "
     "second), "
     "about 385 bytes a line in memory (15 MB), used only while it is away",
     false, NumberKey<&Settings::syslog, &SyslogSettings::bufferLines, 1>},
    // The web page.
    {"Options", "HttpPort", "port", "", "1 to 65535", "the web page's port (empty: no web page)", false,
     HttpPort},
    {"Options", "HttpAddress", "IP address", "127.0.0.1", "",
     "where the page listens (0.0.0.0: every address)", false, HttpAddress},
    {"Options", "HttpPassword", "text", "", "at most 127 characters", "when set, the browser asks for it",
     false, HttpPassword},
    {"Options", "HttpHostNames", "host names", "", "",
     "other names the page answers to, besides its address and localhost", false, HttpHostNames},
    // Alerts: webhooks and the daily digest.
    {"Options", "StoreName", "text", "", "", "the store's name in every webhook body and digest", false,
     AlertOption<&AlertOptionsText::storeName>},
    {"Options", "DigestTime", "local time HH:MM", "", "00:00 to 23:59, or empty",
     "when the daily digest of receipts and exceptions is made; empty: no digest", false,
     AlertOption<&AlertOptionsText::digestTime>},
    {"Options", "WebhookTimeout", "seconds", "10", "1 to 120", "how long a webhook receiver has to answer",
     false, AlertOption<&AlertOptionsText::webhookTimeout>},
    {"Options", "WebhookRetryMinutes", "minutes", "15", "0 to 1440",
     "how long a failed webhook delivery is retried before it is dropped (0: not retried)", false,
     WebhookRetryMinutes},
    {"Webhook N", "URL", "http:// or https:// address", "", "",
     "where the hook's requests go (empty: no hook)", false, WebhookKey<&WebhookSectionText::url>},
    {"Webhook N", "Secret", "text", "", "not empty",
     "the key of the requests' HMAC-SHA256 signature (X-Zamri-Signature)", false,
     WebhookKey<&WebhookSectionText::secret>},
    {"Webhook N", "Events", "comma list", "exception", "exception, transaction, health, digest",
     "what the hook is sent", false, WebhookKey<&WebhookSectionText::events>},
    {"Webhook N", "CAFile", "file path", "", "",
     "PEM certificates trusted instead of the system's, for a receiver with the store's own certificate",
     false, WebhookCaFile},
    // Feed health.
    {"Options", "HealthSilentMinutes", "minutes", "0", "0 to 10080",
     "a watched channel or sender that sends nothing this long within the opening hours is reported (0: "
     "never)",
     false, HealthOption<&SettingsReading::healthSilent>},
    {"Options", "HealthOpeningHours", "local times HH:MM-HH:MM", "", "may cross midnight",
     "when silence counts (empty: all day)", false, HealthOption<&SettingsReading::healthHours>},
    {"Options", "HealthLineErrors", "errors per minute", "20", "1 and up",
     "more framing and parity errors than this in a minute on a serial port are reported (wrong line "
     "settings or a bad cable)",
     false, HealthLineErrors},
};

// Read with the rules, which come after it (ReceiptSections).
void ReadWithRules(SettingsReading&, const SettingKey&, int) {}

// The plain keys, then the receipt keys of [Options] and the templates and rules, read once
// the recorder's code page is known.
std::vector<SettingKey> AllKeys() {
    std::vector<SettingKey> keys = kPlainKeys;
    for (const ReceiptOptionKey& option : ReceiptOptionKeys()) {
        std::string key = option.key;
        bool threshold = key.size() > 9 && key.compare(key.size() - 9, 9, "Threshold") == 0;
        bool grace = key == "DrawerGrace";
        keys.push_back({"Options", option.key,
                        threshold ? "amount"
                        : grace   ? "seconds"
                                  : "0 or 1",
                        option.defaultValue,
                        threshold ? "0 and up"
                        : grace   ? "0 to 60"
                                  : "",
                        option.help, false, ReceiptOption});
    }
    keys.push_back(
        {"Template N",
         "Name, Builtin, Total, Subtotal, Tender, Change, Cashier, Register, Number, "
         "Void, Refund, Discount, PriceOverride, Cancel, NoSale",
         "patterns", "", "N 1 to 32",
         "a receipt template for a layout the built-in one does not read (patterns with named fields)", false,
         ReadWithRules});
    keys.push_back(
        {"Rule N", "Name, Line, Match, Hours, Banner, First, Then, Within", "rule", "", "N 1 to 99",
         "a user exception rule: a line pattern, conditions on the transaction, a time window, or a "
         "sequence",
         false, ReceiptSections});
    return keys;
}

}  // namespace

int DefaultNumber(const SettingKey& row) {
    return std::atoi(row.defaultValue);
}

const std::vector<SettingKey>& SettingKeys() {
    static const std::vector<SettingKey> keys = AllKeys();
    return keys;
}

}  // namespace zamri
