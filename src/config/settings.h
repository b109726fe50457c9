// The settings as the program reads them: one value made of a part per area, read in one pass
// by ReadSettings from the one table of keys (settings_keys.h). Each part of the program takes
// the piece it needs; nothing else reads the settings file.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "config/alert_settings.h"
#include "config/channel_config.h"
#include "config/health_settings.h"
#include "config/settings_parts.h"

namespace zamri {

struct Settings {
    Settings();  // the defaults: every channel off, on COM1 to COM32

    ChannelConfig channels[kChannelCount];  // [Channel] and [Channel N]
    TcpSettings tcp;
    std::vector<std::string> important;  // [Important]
    std::vector<std::string> ignore;     // [Ignore]
    MaskSettings masks;                  // [Options] MaskCardNumbers, [Mask]
    int recorderCodePage = 1252;         // as written; UsableRecorderCodePage tells what is used
    JournalSettings journal;
    SyslogSettings syslog;
    WebSettings web;
    ReceiptSettings receipts;   // [Channel N] Template, the receipt keys of [Options], [Template N], [Rule N]
    AlertSettings alerts;       // [Options] StoreName, DigestTime, Webhook...; [Webhook N]
    FeedHealthSettings health;  // [Options] HealthSilentMinutes, HealthOpeningHours, HealthLineErrors
    // Every problem met, in the order of the file's keys as the table lists them.
    std::vector<SettingsProblem> problems;
};

// Reads every key of the table from the settings file at path. A missing file, section or key
// leaves the default. A channel value that stops short leaves the fields after it as they are in
// channels (kChannelCount records; the defaults when null), as a second load over the table
// does. Shows nothing: what could not be used is in problems.
std::shared_ptr<Settings> ReadSettings(const char* path, const ChannelConfig* channels = nullptr);

// Shows every problem of the settings whose area is area ("" for those told when the settings
// are read), as the program shows warnings.
void ReportSettingsProblems(const Settings& settings, const char* area = "");

// The value as text, one line per channel and key that differs from the defaults, one per other
// part and one per problem: what the golden tests compare.
std::string SettingsText(const Settings& settings);

// The Windows code page the recorder shows text in: the written one when it is a Windows page
// this program has a table for, else 1252.
int UsableRecorderCodePage(int written);

// path as it is when absolute, else joined to the folder of settingsPath.
std::string BesideSettings(const std::string& settingsPath, const std::string& path);

}  // namespace zamri
