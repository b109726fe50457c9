#include "mask/mask_set.h"

#include <cstdio>

#include "mask/card_mask.h"
#include "platform/profile.h"

namespace {
const char kOptionsSection[] = "Options";
const char kCardNumbersKey[] = "MaskCardNumbers";
const char kMaskSection[] = "Mask";
}  // namespace

MaskSettings ReadMaskSettings(const char* path) {
    MaskSettings settings;
    settings.cardNumbers = zamri::ProfileReadInt(path, kOptionsSection, kCardNumbersKey, 1) != 0;
    int count = zamri::ProfileReadInt(path, kMaskSection, "count", 0);
    char key[16];
    char value[MaskPattern::kMaxLength + 1];
    for (int i = 0; i < count; ++i) {
        std::snprintf(key, sizeof key, "%d", i);
        zamri::ProfileReadText(path, kMaskSection, key, "", value, sizeof value);
        settings.patterns.emplace_back(value);
    }
    return settings;
}

int WriteMaskPatterns(const char* path, const std::vector<std::string>& patterns) {
    char key[16];
    std::snprintf(key, sizeof key, "%d", static_cast<int>(patterns.size()));
    int ok = zamri::ProfileWriteText(path, kMaskSection, "count", key);
    for (size_t i = 0; ok && i < patterns.size(); ++i) {
        std::snprintf(key, sizeof key, "%d", static_cast<int>(i));
        ok = zamri::ProfileWriteText(path, kMaskSection, key, patterns[i].c_str());
    }
    return ok;
}

int WriteMaskCardNumbers(const char* path, bool on) {
    return zamri::ProfileWriteText(path, kOptionsSection, kCardNumbersKey, on ? "1" : "0");
}

MaskSet::MaskSet(const MaskSettings& from, std::vector<std::string>* errors) : settings(from) {
    for (const std::string& text : settings.patterns) {
        MaskPattern pattern;
        std::string error;
        if (pattern.Compile(text, &error))
            compiled.push_back(std::move(pattern));
        else if (errors != nullptr)
            errors->push_back(error);
    }
}

void MaskSet::Apply(char* text, int length, int* cardNumbers, int* userMatches) const {
    int cards = settings.cardNumbers ? MaskCardNumbers(text, length) : 0;
    int user = 0;
    for (const MaskPattern& pattern : compiled)
        user += pattern.Apply(text, length);
    if (cardNumbers != nullptr)
        *cardNumbers += cards;
    if (userMatches != nullptr)
        *userMatches += user;
}
