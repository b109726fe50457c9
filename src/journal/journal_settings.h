// The journal's settings in section [Options] of the settings file:
//   Journal=FOLDER     the journal folder; a relative path is taken beside the settings file.
//                      Missing: "journal" beside the settings file. Empty: no journal.
//   JournalDays=N      day files kept, today included (default 90; 0 keeps every file).
//   JournalSizeMB=N    the day files together are kept within N MB (default 2048; 0: no limit).
//   JournalFreeMB=N    at least N MB are left free on the journal's disk (default 1024; 0: none).
#pragma once

#include <string>

#include "journal/journal_writer.h"

namespace zamri {

constexpr int kDefaultJournalSizeMB = 2048;
constexpr int kDefaultJournalFreeMB = 1024;

struct JournalSettings {
    std::string folder;  // empty: the journal is off
    int keepDays = 90;
    JournalSpace space;
};

JournalSettings ReadJournalSettings(const std::string& settingsPath);

// path as it is when absolute, else joined to the folder of settingsPath.
std::string BesideSettings(const std::string& settingsPath, const std::string& path);

}  // namespace zamri
