// What the two settings backends share: the limits, and how a refused value is told.
#include <algorithm>
#include <cstring>

#include "platform/os.h"
#include "platform/profile.h"

namespace zamri {

namespace {

int CopyOut(const char* text, char* out, int size) {
    size_t keep = std::min(std::strlen(text), static_cast<size_t>(size - 1));
    std::memcpy(out, text, keep);
    out[keep] = 0;
    return static_cast<int>(keep);
}

}  // namespace

std::string OverlongSettingMessage(const char* section, const char* key, int limit, const char* consequence) {
    std::string text = std::string("The value of ") + (key != nullptr ? key : "") + " in [" +
                       (section != nullptr ? section : "") + "] is longer than " + std::to_string(limit) +
                       " characters and is not used";
    if (consequence != nullptr && consequence[0] != 0)
        text += std::string("; ") + consequence;
    return text + ".";
}

void ReportSettingsProblem(const std::string& message) {
    ShowMessage(message.c_str(), "Warning", kMsgIconWarning);
}

void DropOverlongEntries(const char* section, std::vector<std::pair<std::string, std::string>>* entries,
                         std::vector<std::string>* keys) {
    auto overlong = [section, keys](const std::pair<std::string, std::string>& entry) {
        if (entry.second.size() <= static_cast<size_t>(kMaxSettingsValueLength))
            return false;
        if (keys != nullptr)
            keys->push_back(entry.first);
        else
            ReportSettingsProblem(
                OverlongSettingMessage(section, entry.first.c_str(), kMaxSettingsValueLength, nullptr));
        return true;
    };
    entries->erase(std::remove_if(entries->begin(), entries->end(), overlong), entries->end());
}

int ReadSettingsValue(const char* path, const char* section, const char* key, std::string* value,
                      int maxLength, const char* consequence) {
    std::string ignored;
    std::string& out = value != nullptr ? *value : ignored;
    maxLength = std::max(0, std::min(maxLength, kMaxSettingsValueLength));
    int got = ProfileReadValue(path, section, key, &out);
    if (got > 0 && out.size() > static_cast<size_t>(maxLength))
        got = -1;
    if (got < 0) {
        out.clear();
        ReportSettingsProblem(OverlongSettingMessage(section, key, maxLength, consequence));
    }
    return got;
}

int ProfileReadText(const char* path, const char* section, const char* key, const char* def, char* out,
                    int size) {
    if (out == nullptr || size <= 0)
        return 0;
    std::string value;
    if (ReadSettingsValue(path, section, key, &value, size - 1) > 0)
        return CopyOut(value.c_str(), out, size);
    return CopyOut(def != nullptr ? def : "", out, size);
}

}  // namespace zamri
