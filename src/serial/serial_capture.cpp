#include "serial/serial_capture.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "codepage/code_page.h"
#include "serial/hebrew_shift.h"

namespace {

int64_t NowMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

int SerialCapture::SetDecoding(const DecodingOptions& options, int recorderPage, char* problem, int size) {
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
                      used > 0 ? " " : "", options.codePage, portName);
        ok = 0;
    }
    decoder.SetCodePages(usable ? options.codePage : 0, recorderPage);
    decoder.SetIdleEnd(static_cast<int64_t>(options.idleSeconds) * 1000);
    return ok;
}

int SerialCapture::ReadLine(const char** text, int* flags) {
    ByteSource source{&SerialCapture::NextByteOf, this};
    return decoder.ReadLine(source, text, flags);
}

int SerialCapture::NextByte() {
    if (StopRequested())
        return kSourceStopped;
    if (!IsOpen())
        return reconnecting ? TryReopen() : kSourceStopped;
    unsigned char byte;
    if (ReadBytes(&byte, 1) == 0)
        return ReadFailed();
    failingSince = -1;
    if (StopRequested())
        return kSourceStopped;  // the byte came too late: not dumped, not used
    DumpByte(byte);
    return ApplyHebrewShift(byte, hebrew.Current());
}

int SerialCapture::ReadFailed() {
    if (StopRequested())
        return kSourceStopped;
    if (LastReadFailed()) {
        int64_t now = NowMilliseconds();
        if (failingSince < 0) {
            failingSince = now;
        } else if (now - failingSince >= kReopenAfterMilliseconds) {
            // The handle is dead; only a fresh open by name finds the device again.
            Close();
            reconnecting = true;
            nextReopen = now;
        }
    }
    PauseUnlessStopped(kFailurePauseMilliseconds);
    return StopRequested() ? kSourceStopped : kNothingCame;
}

int SerialCapture::TryReopen() {
    int64_t now = NowMilliseconds();
    if (now >= nextReopen) {
        nextReopen = now + kReopenAfterMilliseconds;
        if (Open()) {
            reconnecting = false;
            failingSince = -1;
            // What was printed before the device went away does not go on with what comes now.
            return StopRequested() ? kSourceStopped : kSourceInterrupted;
        }
    }
    PauseUnlessStopped(kFailurePauseMilliseconds);
    return StopRequested() ? kSourceStopped : kNothingCame;
}
