#include "tcp_test_support.h"

#include <thread>

#include "platform/os.h"
#include "tcp/server_events.h"

namespace tcp_testing {

namespace {
std::mutex messageLock;
std::condition_variable messageReleased;
bool messagesHeld = false;
std::vector<std::string> messages;

int RecordMessage(const char* text, const char* caption, unsigned style) {
    std::unique_lock<std::mutex> guard(messageLock);
    messages.push_back(std::string(caption) + "|" + text);
    messageReleased.wait(guard, [] { return !messagesHeld; });
    return 1;
}
}  // namespace

bool WaitUntil(const std::function<bool()>& condition, int milliseconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

MessageRecorder::MessageRecorder() {
    {
        std::lock_guard<std::mutex> guard(messageLock);
        messages.clear();
    }
    zamri::SetMessageSink(RecordMessage);
}

MessageRecorder::~MessageRecorder() {
    Release();
    zamri::SetMessageSink(nullptr);
}

void MessageRecorder::Hold() {
    std::lock_guard<std::mutex> guard(messageLock);
    messagesHeld = true;
}

void MessageRecorder::Release() {
    {
        std::lock_guard<std::mutex> guard(messageLock);
        messagesHeld = false;
    }
    messageReleased.notify_all();
}

std::vector<std::string> MessageRecorder::Messages() {
    std::lock_guard<std::mutex> guard(messageLock);
    return messages;
}

int MessageRecorder::Count(const std::string& captionAndText) {
    int count = 0;
    for (const std::string& message : Messages())
        count += message == captionAndText;
    return count;
}

int EventLog::Callback(void* owner, int code, intptr_t arg, char* text) {
    EventLog* log = static_cast<EventLog*>(owner);
    std::unique_lock<std::mutex> guard(log->lock);
    if (code == EVT_CLIENT_CONNECTED)
        ++log->connected;
    if (code == EVT_CLIENT_CLOSED)
        ++log->closed;
    if (code == EVT_LINE_RECEIVED) {
        log->gateChanged.wait(guard, [log] { return !log->gateClosed; });
        log->lines.emplace_back(static_cast<int>(arg), text != nullptr ? text : "<null>");
    }
    return 0;
}

std::vector<std::pair<int, std::string>> EventLog::Lines() {
    std::lock_guard<std::mutex> guard(lock);
    return lines;
}

size_t EventLog::LineCount() {
    std::lock_guard<std::mutex> guard(lock);
    return lines.size();
}

int EventLog::Connected() {
    std::lock_guard<std::mutex> guard(lock);
    return connected;
}

int EventLog::Closed() {
    std::lock_guard<std::mutex> guard(lock);
    return closed;
}

void EventLog::CloseGate() {
    std::lock_guard<std::mutex> guard(lock);
    gateClosed = true;
}

void EventLog::OpenGate() {
    {
        std::lock_guard<std::mutex> guard(lock);
        gateClosed = false;
    }
    gateChanged.notify_all();
}

}  // namespace tcp_testing
