#include "serial/decoding_options.h"

#include <cstdio>
#include <cstring>

#include "codepage/code_page.h"
#include "platform/profile.h"

namespace {

constexpr char kCodePageKey[] = "CodePage";
constexpr char kIdleSecondsKey[] = "IdleSeconds";
constexpr int kMissing = -2147483647;

void SectionName(int channelNumber, char* out, size_t size) {
    std::snprintf(out, size, "Channel %d", channelNumber);
}

int WriteIfChanged(const char* path, const char* section, const char* key, int value) {
    int stored = zamri::ProfileReadInt(path, section, key, kMissing);
    if (stored == value || (stored == kMissing && value == 0))
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
    return WriteIfChanged(settingsPath, section, kIdleSecondsKey, options.idleSeconds) & written;
}

int ApplyDecodingOptions(LineDecoder& decoder, const DecodingOptions& options, int recorderPage,
                         const char* sourceName, char* problem, int size) {
    problem[0] = 0;
    int ok = 1;
    if (!IsWindowsCodePage(recorderPage)) {
        std::snprintf(problem, static_cast<size_t>(size),
                      "RecorderCodePage=%d is not a Windows code page (874, 1250 to 1258); 1252 is used.",
                      recorderPage);
        recorderPage = kDefaultRecorderCodePage;
        ok = 0;
    }
    bool usable = options.codePage == 0 || options.codePage == kNoConversion ||
                  FindCodePage(options.codePage) != nullptr;
    if (!usable) {
        size_t used = std::strlen(problem);
        std::snprintf(problem + used, static_cast<size_t>(size) - used,
                      "%sCode page %d of %s is not supported; the printer's own page is used.",
                      used > 0 ? " " : "", options.codePage, sourceName);
        ok = 0;
    }
    decoder.SetCodePages(usable ? options.codePage : 0, recorderPage);
    decoder.SetIdleEnd(static_cast<int64_t>(options.idleSeconds) * 1000);
    return ok;
}
