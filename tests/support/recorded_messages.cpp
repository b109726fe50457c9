#include "support/recorded_messages.h"

#include <mutex>

namespace testing_support {

namespace {
// Never destroyed: a capture thread may show its message after the test that caused it.
std::mutex& messagesLock = *new std::mutex;
std::vector<std::string>& messages = *new std::vector<std::string>;
}  // namespace

RecordedMessages::RecordedMessages() {
    std::lock_guard<std::mutex> guard(messagesLock);
    messages.clear();
    previous_ = zamri::SetMessageSink(&RecordedMessages::Sink);
}

RecordedMessages::~RecordedMessages() {
    zamri::SetMessageSink(previous_);
}

std::vector<std::string> RecordedMessages::Texts() const {
    std::lock_guard<std::mutex> guard(messagesLock);
    return messages;
}

int RecordedMessages::Sink(const char* text, const char* caption, unsigned) {
    std::lock_guard<std::mutex> guard(messagesLock);
    messages.push_back(std::string(caption) + "|" + text);
    return 1;
}

}  // namespace testing_support
