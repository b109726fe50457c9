#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>

#include "platform/os.h"

namespace zamri {

int ShowPlatformMessage(const char* text, const char* caption, unsigned style);
void WritePlatformErrorLine(const char* text);

namespace {
std::atomic<MessageSink> currentSink{nullptr};
std::atomic<ErrorLineSink> currentLineSink{nullptr};

std::mutex& RecentLock() {
    static std::mutex* lock = new std::mutex;  // outlives threads that report at exit
    return *lock;
}
RecentMessage recent[kRecentMessageCount];
int recentCount = 0;  // how many were ever recorded, capped at the array's size
int recentNext = 0;

void Remember(const char* text, const char* caption) {
    long long now = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    std::lock_guard<std::mutex> guard(RecentLock());
    RecentMessage& slot = recent[recentNext];
    slot.utcMs = now;
    std::snprintf(slot.text, sizeof slot.text, "%s: %s", caption, text);
    recentNext = (recentNext + 1) % kRecentMessageCount;
    if (recentCount < kRecentMessageCount)
        ++recentCount;
}
}  // namespace

int RecentMessages(RecentMessage* out, int max) {
    std::lock_guard<std::mutex> guard(RecentLock());
    int count = recentCount < max ? recentCount : max;
    for (int i = 0; i < count; ++i) {
        int index = (recentNext - count + i + kRecentMessageCount) % kRecentMessageCount;
        out[i] = recent[index];
    }
    return count;
}

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
    Remember(text != nullptr ? text : "", caption != nullptr ? caption : "");
    MessageSink sink = currentSink.load();
    if (sink != nullptr)
        return sink(text, caption, style);
    return ShowPlatformMessage(text != nullptr ? text : "", caption != nullptr ? caption : "", style);
}

}  // namespace zamri
