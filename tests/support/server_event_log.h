// An owner for a TCP server in tests: records the events the server reports to it; lines can be
// held back by closing the gate, as behind a slow overlay library.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

class ServerEventLog {
  public:
    static int Callback(void* owner, int code, intptr_t arg, char* text);

    std::vector<std::pair<int, std::string>> Lines();
    size_t LineCount();
    int Connected();
    int Closed();
    // While closed, the worker waits inside the callback.
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

}  // namespace testing_support
