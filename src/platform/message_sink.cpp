#include <atomic>

#include "platform/os.h"

namespace zamri {

int ShowPlatformMessage(const char* text, const char* caption, unsigned style);
void WritePlatformErrorLine(const char* text);

namespace {
std::atomic<MessageSink> currentSink{nullptr};
std::atomic<ErrorLineSink> currentLineSink{nullptr};
}  // namespace

ErrorLineSink SetErrorLineSink(ErrorLineSink sink) {
    return currentLineSink.exchange(sink);
}

void WriteErrorLine(const char* text) {
    ErrorLineSink sink = currentLineSink.load();
    if (sink != nullptr) {
        sink(text != nullptr ? text : "");
        return;
    }
    WritePlatformErrorLine(text != nullptr ? text : "");
}

MessageSink SetMessageSink(MessageSink sink) {
    return currentSink.exchange(sink);
}

int ShowMessage(const char* text, const char* caption, unsigned style) {
    MessageSink sink = currentSink.load();
    if (sink != nullptr)
        return sink(text, caption, style);
    return ShowPlatformMessage(text != nullptr ? text : "", caption != nullptr ? caption : "", style);
}

}  // namespace zamri
