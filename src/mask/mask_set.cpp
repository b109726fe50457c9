#include "mask/mask_set.h"

#include <cstdio>

#include "mask/card_mask.h"
#include "platform/profile.h"

namespace {
const char kOptionsSection[] = "Options";
const char kCardNumbersKey[] = "MaskCardNumbers";
const char kMaskSection[] = "Mask";
}  // namespace

// The entries first and the count last: a write that fails half-way leaves the old count, so the
// file never counts an entry that was not written.
int WriteMaskPatterns(const char* path, const std::vector<std::string>& patterns) {
    char key[16];
    int ok = 1;
    for (size_t i = 0; ok && i < patterns.size(); ++i) {
        std::snprintf(key, sizeof key, "%d", static_cast<int>(i));
        ok = zamri::ProfileWriteText(path, kMaskSection, key, patterns[i].c_str());
    }
    std::snprintf(key, sizeof key, "%d", static_cast<int>(patterns.size()));
    return ok && zamri::ProfileWriteText(path, kMaskSection, "count", key);
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

void MaskSet::Apply(char* text, int length, int* cardNumbers, int* userMatches, int runCuts,
                    const char* after) const {
    int afterLength = 0;
    while (after != nullptr && afterLength < kCardMaxSpan && after[afterLength] != 0)
        ++afterLength;
    int cards = settings.cardNumbers ? MaskCardNumbers(text, length, runCuts, after, afterLength) : 0;
    int user = 0;
    for (const MaskPattern& pattern : compiled)
        user += pattern.Apply(text, length);
    if (cardNumbers != nullptr)
        *cardNumbers += cards;
    if (userMatches != nullptr)
        *userMatches += user;
}
