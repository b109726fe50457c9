#include "journal/journal_settings.h"

#include "journal/journal_files.h"
#include "platform/profile.h"

namespace zamri {

namespace {

bool IsAbsolute(const std::string& path) {
    if (path.empty())
        return false;
    if (path[0] == '/' || path[0] == '\\')
        return true;
    return path.size() >= 2 && path[1] == ':';
}

}  // namespace

std::string BesideSettings(const std::string& settingsPath, const std::string& path) {
    if (IsAbsolute(path))
        return path;
    size_t cut = settingsPath.find_last_of("/\\");
    if (cut == std::string::npos)
        return path;
    return JoinPath(settingsPath.substr(0, cut), path);
}

JournalSettings ReadJournalSettings(const std::string& settingsPath) {
    JournalSettings settings;
    char value[260] = {};
    // A value that cannot be typed tells a missing key from an empty one.
    const char kMissing[] = "\x01";
    ProfileReadText(settingsPath.c_str(), "Options", "Journal", kMissing, value, sizeof value);
    std::string folder = value;
    if (folder == kMissing)
        folder = "journal";
    settings.folder = folder.empty() ? std::string() : BesideSettings(settingsPath, folder);
    int days = ProfileReadInt(settingsPath.c_str(), "Options", "JournalDays", 90);
    settings.keepDays = days < 0 ? 90 : days;
    int sizeMB = ProfileReadInt(settingsPath.c_str(), "Options", "JournalSizeMB", kDefaultJournalSizeMB);
    int freeMB = ProfileReadInt(settingsPath.c_str(), "Options", "JournalFreeMB", kDefaultJournalFreeMB);
    settings.space.budgetBytes = static_cast<uint64_t>(sizeMB < 0 ? kDefaultJournalSizeMB : sizeMB) << 20;
    settings.space.freeFloorBytes = static_cast<uint64_t>(freeMB < 0 ? kDefaultJournalFreeMB : freeMB) << 20;
    return settings;
}

}  // namespace zamri
