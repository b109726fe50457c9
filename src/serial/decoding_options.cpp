#include "serial/decoding_options.h"

#include <cstdio>
#include <cstring>

#include "codepage/code_page.h"

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
    decoder.SetCutEndsReceipt(options.cutEndsReceipt != 0);
    return ok;
}
