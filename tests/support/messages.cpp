#include "support/messages.h"

#include <condition_variable>
#include <mutex>

namespace testing_support {

namespace {

// Never destroyed: a capture thread may show its message after the test that caused it.
struct Recorded {
    std::mutex lock;
    std::condition_variable released;
    bool held = false;
    std::vector<std::string> messages;
    std::vector<std::string> errorLines;
};
Recorded& recorded = *new Recorded;

}  // namespace

MessageRecorder::MessageRecorder() {
    {
        std::lock_guard<std::mutex> guard(recorded.lock);
        recorded.messages.clear();
        recorded.errorLines.clear();
        recorded.held = false;
    }
    previousMessages_ = zamri::SetMessageSink(&MessageRecorder::ShowMessage);
    previousErrorLines_ = zamri::SetErrorLineSink(&MessageRecorder::WriteErrorLine);
}

MessageRecorder::~MessageRecorder() {
    Release();
    zamri::SetMessageSink(previousMessages_);
    zamri::SetErrorLineSink(previousErrorLines_);
}

int MessageRecorder::ShowMessage(const char* text, const char* caption, unsigned) {
    std::unique_lock<std::mutex> guard(recorded.lock);
    recorded.messages.push_back(std::string(caption != nullptr ? caption : "") + "|" +
                                (text != nullptr ? text : ""));
    recorded.released.wait(guard, [] { return !recorded.held; });
    return 1;
}

void MessageRecorder::WriteErrorLine(const char* text) {
    std::lock_guard<std::mutex> guard(recorded.lock);
    recorded.errorLines.push_back(text != nullptr ? text : "");
}

std::vector<std::string> MessageRecorder::Messages() const {
    std::lock_guard<std::mutex> guard(recorded.lock);
    return recorded.messages;
}

int MessageRecorder::Count(const std::string& captionAndText) const {
    int count = 0;
    for (const std::string& message : Messages())
        count += message == captionAndText;
    return count;
}

std::vector<std::string> MessageRecorder::ErrorLines() const {
    std::lock_guard<std::mutex> guard(recorded.lock);
    return recorded.errorLines;
}

int MessageRecorder::ErrorLinesWith(const std::string& text) const {
    int count = 0;
    for (const std::string& line : ErrorLines())
        count += line.find(text) != std::string::npos;
    return count;
}

void MessageRecorder::Hold() {
    std::lock_guard<std::mutex> guard(recorded.lock);
    recorded.held = true;
}

void MessageRecorder::Release() {
    {
        std::lock_guard<std::mutex> guard(recorded.lock);
        recorded.held = false;
    }
    recorded.released.notify_all();
}

}  // namespace testing_support
