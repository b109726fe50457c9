// Shows the journal's and the export's trouble as the program shows errors (a message box on
// Windows, a line on standard error on Linux), from a thread of its own: the sinks' workers
// must go on while a message box waits for the user.
#pragma once

#include <string>

#include "platform/work_queue.h"

namespace zamri {

class TroubleReporter {
  public:
    // Far more than a program ever has to say at once; beyond it a message is dropped, not
    // shown a minute late behind a pile of message boxes.
    static constexpr size_t kQueueMessages = 1024;

    TroubleReporter();
    // Shows what is queued; a message still on screen after a second is left to the process's
    // end rather than holding the program's exit.
    ~TroubleReporter();
    TroubleReporter(const TroubleReporter&) = delete;
    TroubleReporter& operator=(const TroubleReporter&) = delete;

    // Any thread; returns at once.
    void Report(const std::string& message);

  private:
    WorkQueue<std::string> queue;
};

}  // namespace zamri
