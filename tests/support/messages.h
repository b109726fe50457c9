// What the program would have shown the user, captured while an instance lives: the messages
// (message boxes on Windows, "caption: text" lines on Linux) as "caption|text", and the lines of
// its error output. One recorder at a time.
#pragma once

#include <string>
#include <vector>

#include "platform/os.h"

namespace testing_support {

class MessageRecorder {
  public:
    MessageRecorder();
    // Releases a held message and gives the display back.
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    // "caption|text" for every message, in the order shown.
    std::vector<std::string> Messages() const;
    // How many messages were exactly this "caption|text".
    int Count(const std::string& captionAndText) const;
    // Every line of the error output, in order.
    std::vector<std::string> ErrorLines() const;
    // How many error lines hold text.
    int ErrorLinesWith(const std::string& text) const;

    // While held, a message stays "on screen": the thread that shows it waits, as behind a
    // message box that nobody has closed yet.
    void Hold();
    void Release();

  private:
    static int ShowMessage(const char* text, const char* caption, unsigned style);
    static void WriteErrorLine(const char* text);
    zamri::MessageSink previousMessages_;
    zamri::ErrorLineSink previousErrorLines_;
};

}  // namespace testing_support
