#include "config/decoding_options.h"

#include <cstdio>

#include "platform/profile.h"

namespace {

constexpr char kCodePageKey[] = "CodePage";
constexpr char kIdleSecondsKey[] = "IdleSeconds";
constexpr char kCutEndsReceiptKey[] = "CutEndsReceipt";
constexpr int kMissing = -2147483647;

void SectionName(int channelNumber, char* out, size_t size) {
    std::snprintf(out, size, "Channel %d", channelNumber);
}

int WriteIfChanged(const char* path, const char* section, const char* key, int value, int byDefault = 0) {
    int stored = zamri::ProfileReadInt(path, section, key, kMissing);
    if (stored == value || (stored == kMissing && value == byDefault))
        return 1;
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    return zamri::ProfileWriteText(path, section, key, text);
}

}  // namespace

int SaveDecodingOptions(const char* settingsPath, int channelNumber, const DecodingOptions& options) {
    char section[32];
    SectionName(channelNumber, section, sizeof section);
    int written = WriteIfChanged(settingsPath, section, kCodePageKey, options.codePage);
    written &= WriteIfChanged(settingsPath, section, kIdleSecondsKey, options.idleSeconds);
    return WriteIfChanged(settingsPath, section, kCutEndsReceiptKey, options.cutEndsReceipt ? 1 : 0,
                          DecodingOptions{}.cutEndsReceipt) &
           written;
}
