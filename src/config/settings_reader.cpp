// The one reader: walks the table of keys over the settings file, and the value as text.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "codepage/code_page.h"
#include "config/channel_settings.h"
#include "config/settings_keys.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "receipt/money.h"
#include "receipt/receipt_rules.h"
#include "receipt/receipt_settings.h"
#include "receipt/receipt_template.h"

namespace zamri {

namespace {

bool IsCountKey(const std::string& key) {
    static const char kCount[] = "count";
    if (key.size() != sizeof kCount - 1)
        return false;
    for (size_t i = 0; i < key.size(); ++i) {
        char c = key[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
        if (c != kCount[i])
            return false;
    }
    return true;
}

// The entry number a key names: a decimal number as the list writes it, else -1.
long EntryIndex(const std::string& key) {
    if (key.empty() || key.size() > 10 || (key.size() > 1 && key[0] == '0'))
        return -1;
    long index = 0;
    for (char c : key) {
        if (c < '0' || c > '9')
            return -1;
        index = index * 10 + (c - '0');
    }
    return index;
}

bool IsAbsolute(const std::string& path) {
    if (path.empty())
        return false;
    if (path[0] == '/' || path[0] == '\\')
        return true;
    return path.size() >= 2 && path[1] == ':';
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string Joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items)
        out += (out.empty() ? "" : " | ") + Quoted(item);
    return out.empty() ? "(none)" : out;
}

// The receipt reading's options where they differ from the defaults, its templates and its
// rules, one line each: what the goldens compare.
std::string ReceiptText(const ReceiptSettings& receipts) {
    std::string out;
    if (receipts.rules == nullptr)
        return out;
    const ExceptionOptions& options = receipts.rules->Options();
    const ExceptionOptions standard;
    std::string kinds;
    for (int k = 0; k < kExceptionKindCount; ++k) {
        const KindOptions& kind = options.kinds[k];
        const KindOptions& plain = standard.kinds[k];
        if (kind.on == plain.on && kind.threshold == plain.threshold && kind.banner == plain.banner)
            continue;
        kinds += (kinds.empty() ? "" : ", ") + std::string(ExceptionKindName(static_cast<ExceptionKind>(k))) +
                 (kind.on ? " on" : " off") + " threshold " + MoneyText(kind.threshold) + " banner " +
                 (kind.banner ? "on" : "off");
    }
    if (!kinds.empty() || options.drawerGraceSeconds != standard.drawerGraceSeconds)
        out += "exceptions: " + kinds + (kinds.empty() ? "" : ", ") + "drawer grace " +
               std::to_string(options.drawerGraceSeconds) + " s\n";
    for (size_t n = 1; n < receipts.templates.size(); ++n) {
        if (receipts.templates[n] != nullptr)
            out += "template " + std::to_string(n) + ": " + Quoted(receipts.templates[n]->Name()) + "\n";
    }
    static const char* const kTypes[] = {"line", "receipt", "sequence"};
    for (const Rule& rule : receipts.rules->Rules()) {
        out += "rule " + std::to_string(rule.number) + ": " + Quoted(rule.name) + ", " +
               kTypes[static_cast<int>(rule.type)];
        if (rule.type == Rule::Type::Sequence)
            out += " " + receipts.rules->EventName(rule.first) + " then " +
                   receipts.rules->EventName(rule.then) + " within " +
                   std::to_string(rule.withinMilliseconds / 1000) + " s";
        else
            out += ", " + std::to_string(rule.conditions.size()) +
                   (rule.conditions.size() == 1 ? " condition" : " conditions");
        if (rule.hours.set) {
            char hours[16];
            std::snprintf(hours, sizeof hours, "%02d:%02d-%02d:%02d", rule.hours.startMinute / 60,
                          rule.hours.startMinute % 60, rule.hours.endMinute / 60, rule.hours.endMinute % 60);
            out += std::string(", hours ") + hours;
        }
        if (!rule.banner)
            out += ", no banner";
        out += "\n";
    }
    return out;
}

}  // namespace

int SettingsReading::Text(const char* section, const char* key, std::string* out, int maxLength,
                          const char* consequence) {
    maxLength = std::max(0, std::min(maxLength, kMaxSettingsValueLength));
    int got = ProfileReadValue(path_, section, key, out);
    if (got > 0 && out->size() > static_cast<size_t>(maxLength))
        got = -1;
    if (got < 0) {
        out->clear();
        Problem(section, key, OverlongSettingMessage(section, key, maxLength, consequence));
    }
    return got;
}

std::string SettingsReading::TextOr(const char* section, const char* key, int maxLength, const char* def) {
    std::string value;
    return Text(section, key, &value, maxLength) > 0 ? value : std::string(def);
}

int SettingsReading::Integer(const char* section, const char* key, int def) {
    int value = def;
    if (ProfileReadInteger(path_, section, key, def, &value) < 0)
        Problem(section, key, OverlongSettingMessage(section, key, kMaxSettingsValueLength, nullptr));
    return value;
}

// The values of keys "0" to "count - 1", in that order, as far as the file holds them: the
// section is read in one pass and a count larger than the entries present (or a huge one) gives
// only those that are there. A key written with a leading zero or sign ("017", "+1") is not an
// entry, as a lookup of "17" would not find it; the first line of an index wins. An entry too
// long to be read is left out.
std::vector<std::string> SettingsReading::List(const char* section) {
    std::vector<std::string> overlong;
    std::vector<std::pair<std::string, std::string>> entries = ProfileReadSection(path_, section, &overlong);
    for (const std::string& key : overlong)
        Problem(section, key, OverlongSettingMessage(section, key.c_str(), kMaxSettingsValueLength, nullptr));
    long count = 0;
    for (const auto& entry : entries) {
        if (IsCountKey(entry.first)) {
            count = std::strtol(entry.second.c_str(), nullptr, 10);
            break;
        }
    }
    std::map<long, std::string*> indexed;
    for (auto& entry : entries) {
        long index = EntryIndex(entry.first);
        if (index >= 0 && index < count)
            indexed.emplace(index, &entry.second);
    }
    std::vector<std::string> list;
    list.reserve(indexed.size());
    for (const auto& entry : indexed)
        list.push_back(std::move(*entry.second));
    return list;
}

void SettingsReading::Problem(const std::string& section, const std::string& key, const std::string& text,
                              const char* area) {
    settings_->problems.push_back(SettingsProblem{section, key, area != nullptr ? area : "", text});
}

std::shared_ptr<Settings> ReadSettings(const char* path, const ChannelConfig* channels) {
    auto settings = std::make_shared<Settings>();
    for (int i = 0; channels != nullptr && i < kChannelCount; ++i)
        settings->channels[i].CopyConfiguration(channels[i]);
    SettingsReading reading(path, settings.get());
    const std::vector<SettingKey>& keys = SettingKeys();
    for (int number = 1; number <= kChannelCount; ++number) {
        for (const SettingKey& key : keys) {
            if (key.perChannel)
                key.read(reading, key, number);
        }
    }
    for (const SettingKey& key : keys) {
        if (!key.perChannel)
            key.read(reading, key, 0);
    }
    return settings;
}

void ReportSettingsProblems(const Settings& settings, const char* area) {
    for (const SettingsProblem& problem : settings.problems) {
        if (problem.area == area)
            ReportSettingsProblem(problem.text);
    }
}

Settings::Settings() {
    for (int i = 0; i < kChannelCount; ++i)
        std::snprintf(channels[i].portName, sizeof channels[i].portName, "COM%d", i + 1);
}

std::string SettingsText(const Settings& settings) {
    std::string out;
    static const Settings defaults;
    char value[kSettingsValueSize];
    for (int i = 0; i < kChannelCount; ++i) {
        const ChannelConfig& record = settings.channels[i];
        const ChannelConfig& standard = defaults.channels[i];
        std::string number = std::to_string(i + 1);
        FormatChannelValue(record, value, sizeof value);
        std::string text = value;
        FormatChannelValue(standard, value, sizeof value);
        if (text != value)
            out += "[Channel] " + number + " = " + text + "\n";
        if (record.decoding.codePage != standard.decoding.codePage)
            out += "[Channel " + number + "] CodePage = " + std::to_string(record.decoding.codePage) + "\n";
        if (record.decoding.idleSeconds != standard.decoding.idleSeconds)
            out += "[Channel " + number + "] IdleSeconds = " + std::to_string(record.decoding.idleSeconds) +
                   "\n";
        if (record.decoding.cutEndsReceipt != standard.decoding.cutEndsReceipt)
            out += "[Channel " + number +
                   "] CutEndsReceipt = " + std::to_string(record.decoding.cutEndsReceipt) + "\n";
        if (std::strcmp(record.allowedSenders, standard.allowedSenders) != 0)
            out += "[Channel " + number + "] AllowedSenders = " + Quoted(record.allowedSenders) + "\n";
        int choice = settings.receipts.templateChoice[i];
        if (choice != kNoTemplate)
            out += "[Channel " + number + "] Template = " +
                   (choice == kBuiltinTemplate ? std::string("builtin") : std::to_string(choice)) + "\n";
    }
    const TcpSettings& tcp = settings.tcp;
    out += "tcp: port " + std::to_string(tcp.port) + ", listen address " + Quoted(tcp.listenAddress) +
           ", allowed senders " + Quoted(tcp.allowedSenders) + ", slot idle seconds " +
           std::to_string(tcp.slotIdleSeconds) + "\n";
    out += "important: " + Joined(settings.important) + "\n";
    out += "ignore: " + Joined(settings.ignore) + "\n";
    out += std::string("masks: card numbers ") + (settings.masks.cardNumbers ? "on" : "off") + ", patterns " +
           Joined(settings.masks.patterns) + "\n";
    out += "recorder code page: " + std::to_string(settings.recorderCodePage) +
           " (used: " + std::to_string(UsableRecorderCodePage(settings.recorderCodePage)) + ")\n";
    const JournalSettings& journal = settings.journal;
    out += "journal: " + (journal.folder.empty() ? std::string("off") : Quoted(journal.folder)) + ", days " +
           std::to_string(journal.keepDays) + ", budget " + std::to_string(journal.budgetBytes >> 20) +
           " MB, free floor " + std::to_string(journal.freeFloorBytes >> 20) + " MB\n";
    out += "syslog: " +
           (settings.syslog.collector.empty() ? std::string("off") : Quoted(settings.syslog.collector)) +
           ", buffer " + std::to_string(settings.syslog.bufferLines) + " lines\n";
    const WebSettings& web = settings.web;
    if (web.port == 0)
        out += "web: off\n";
    else
        out += "web: port " + std::to_string(web.port) + ", address " + Quoted(web.address) + ", password " +
               (web.password[0] != 0 ? "set" : "none") + ", host names " + Quoted(web.hostNames) + "\n";
    const AlertOptions& alerts = settings.alerts.options;
    char digest[8] = "off";
    if (alerts.digestTime.on)
        std::snprintf(digest, sizeof digest, "%02d:%02d", alerts.digestTime.hour, alerts.digestTime.minute);
    const AlertOptions standard;
    bool alertsSet = !settings.alerts.hooks.empty() || alerts.storeName != standard.storeName ||
                     alerts.digestTime.on || alerts.webhookTimeoutSeconds != standard.webhookTimeoutSeconds ||
                     alerts.webhookRetryMinutes != standard.webhookRetryMinutes;
    if (alertsSet)
        out += "alerts: store " + Quoted(alerts.storeName) + ", digest " + digest + ", timeout " +
               std::to_string(alerts.webhookTimeoutSeconds) + " s, retries " +
               std::to_string(alerts.webhookRetryMinutes) + " min\n";
    for (const WebhookConfig& hook : settings.alerts.hooks) {
        std::string events;
        for (int e = 0; e < kAlertEventCount; ++e) {
            if (hook.Takes(static_cast<AlertEvent>(e)))
                events +=
                    (events.empty() ? "" : ",") + std::string(AlertEventName(static_cast<AlertEvent>(e)));
        }
        out += "webhook " + std::to_string(hook.number) + ": " + Quoted(hook.url.text) + ", events " +
               events + ", CA file " + (hook.caFile.empty() ? std::string("(system)") : Quoted(hook.caFile)) +
               "\n";
    }
    out += ReceiptText(settings.receipts);
    const FeedHealthSettings& health = settings.health;
    const FeedHealthSettings standardHealth;
    if (health.silentMinutes != standardHealth.silentMinutes || health.openMinute != health.closeMinute ||
        health.lineErrorsPerMinute != standardHealth.lineErrorsPerMinute) {
        char hours[32] = "all day";
        if (health.openMinute != health.closeMinute)
            std::snprintf(hours, sizeof hours, "%02d:%02d-%02d:%02d", health.openMinute / 60,
                          health.openMinute % 60, health.closeMinute / 60, health.closeMinute % 60);
        out += "health: silent after " + std::to_string(health.silentMinutes) + " min, " + hours + ", " +
               std::to_string(health.lineErrorsPerMinute) + " line errors a minute\n";
    }
    for (const SettingsProblem& problem : settings.problems)
        out += "problem" + (problem.area.empty() ? std::string() : " (" + problem.area + ")") + ": " +
               problem.text + "\n";
    return out;
}

int UsableRecorderCodePage(int written) {
    return IsWindowsCodePage(written) ? written : kDefaultRecorderCodePage;
}

std::string BesideSettings(const std::string& settingsPath, const std::string& path) {
    if (IsAbsolute(path))
        return path;
    size_t cut = settingsPath.find_last_of("/\\");
    if (cut == std::string::npos)
        return path;
    std::string folder = settingsPath.substr(0, cut);
    if (folder.empty())
        return path;
    char last = folder.back();
    if (last == '/' || last == kPathSeparator)
        return folder + path;
    return folder + kPathSeparator + path;
}

std::string SettingsReference() {
    std::string out =
        "# Settings reference\n\n"
        "Every key the program reads from its settings file (`zamri.ini` beside the program; the Debian\n"
        "package's service reads `/etc/zamri/zamri.ini`). Section and key names compare without regard\n"
        "to case; a key that is missing, or a value that cannot be used, leaves the default. A value is\n"
        "read whole up to 4095 characters; a longer one is refused with a warning and never cut.\n\n"
        "This page is made from the program's own table of keys (`src/config/settings_keys.cpp`) by\n"
        "`zamri-settings-doc > docs/settings.md`; a test fails when the two differ.\n";
    std::vector<std::string> sections;
    for (const SettingKey& key : SettingKeys()) {
        if (std::find(sections.begin(), sections.end(), key.section) == sections.end())
            sections.push_back(key.section);
    }
    for (const std::string& section : sections) {
        out += "\n## [" + section + "]\n\n";
        if (section == "Channel N")
            out += "One section per channel, `[Channel 1]` to `[Channel 32]`.\n\n";
        if (section == "Webhook N")
            out +=
                "One section per webhook, `[Webhook 1]` to `[Webhook 16]`; a missing number ends nothing. A "
                "hook "
                "whose URL does not parse, or that has no Secret, is reported at start-up and left out.\n\n";
        out += "| key | type | default | range | what it does |\n|---|---|---|---|---|\n";
        for (const SettingKey& key : SettingKeys()) {
            if (section != key.section)
                continue;
            std::string def = key.defaultValue[0] != 0 ? std::string("`") + key.defaultValue + "`" : "(none)";
            out += std::string("| `") + key.key + "` | " + key.type + " | " + def + " | " + key.range +
                   " | " + key.help + " |\n";
        }
    }
    return out;
}

}  // namespace zamri
