#include "serial/serial_capture.h"

#include <chrono>

#include "serial/hebrew_shift.h"

namespace {

int64_t NowMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

int SerialCapture::SetDecoding(const DecodingOptions& options, int recorderPage, char* problem, int size) {
    return ApplyDecodingOptions(decoder, options, recorderPage, portName, problem, size);
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
