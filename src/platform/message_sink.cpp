#include <atomic>

#include "platform/os.h"

namespace zamri {

int ShowPlatformMessage(const char* text, const char* caption, unsigned style);

namespace {
std::atomic<MessageSink> currentSink{nullptr};
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
