// The journal's settings in section [Options] of the settings file:
//   Journal=FOLDER     the journal folder; a relative path is taken beside the settings file.
//                      Missing: "journal" beside the settings file. Empty: no journal.
//   JournalDays=N      day files kept, today included (default 90; 0 keeps every file).
#pragma once

#include <string>

namespace zamri {

struct JournalSettings {
    std::string folder;  // empty: the journal is off
    int keepDays = 90;
};

JournalSettings ReadJournalSettings(const std::string& settingsPath);

// path as it is when absolute, else joined to the folder of settingsPath.
std::string BesideSettings(const std::string& settingsPath, const std::string& path);

}  // namespace zamri
