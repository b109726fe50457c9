// Helpers of the TCP tests: waiting for a condition, the messages the program showed, and the
// events a server reported to its owner.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace tcp_testing {

// Polls until the condition holds or the (generous) bound passes; the last result.
bool WaitUntil(const std::function<bool()>& condition, int milliseconds = 15000);

// Captures every message shown while an instance lives.
class MessageRecorder {
  public:
    MessageRecorder();
    ~MessageRecorder();
    // "caption|text" for every message, in order.
    std::vector<std::string> Messages();
    int Count(const std::string& captionAndText);
    // While held, a message stays "on screen": the thread that shows it waits, as behind a
    // message box that nobody has closed yet.
    void Hold();
    void Release();
};

// An owner for a server: records its events; lines can be held back by closing the gate.
class EventLog {
  public:
    static int Callback(void* owner, int code, intptr_t arg, char* text);

    std::vector<std::pair<int, std::string>> Lines();
    size_t LineCount();
    int Connected();
    int Closed();
    // While closed, the worker waits inside the callback, as behind a slow overlay library.
    void CloseGate();
    void OpenGate();

  private:
    std::mutex lock;
    std::condition_variable gateChanged;
    bool gateClosed = false;
    std::vector<std::pair<int, std::string>> lines;
    int connected = 0;
    int closed = 0;
};

}  // namespace tcp_testing
