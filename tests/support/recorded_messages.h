// A message sink that records what the user would have been shown, while it lives.
#pragma once

#include <string>
#include <vector>

#include "platform/os.h"

namespace testing_support {

class RecordedMessages {
  public:
    RecordedMessages();
    ~RecordedMessages();
    RecordedMessages(const RecordedMessages&) = delete;
    RecordedMessages& operator=(const RecordedMessages&) = delete;
    std::vector<std::string> Texts() const;  // "caption|text"

  private:
    static int Sink(const char* text, const char* caption, unsigned style);
    zamri::MessageSink previous_;
};

}  // namespace testing_support
