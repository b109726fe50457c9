// Shows the journal's and the export's trouble as the program shows errors (a message box on
// Windows, a line on standard error on Linux), from a thread of its own: the sinks' workers
// must go on while a message box waits for the user.
#pragma once

#include <memory>
#include <string>

namespace zamri {

class TroubleReporter {
  public:
    TroubleReporter();
    // Shows what is queued; a message still on screen after a second is left to the process's
    // end rather than holding the program's exit.
    ~TroubleReporter();
    TroubleReporter(const TroubleReporter&) = delete;
    TroubleReporter& operator=(const TroubleReporter&) = delete;

    // Any thread; returns at once.
    void Report(const std::string& message);

    // What the reporter and its thread share; the thread may outlive the reporter.
    struct Shared;

  private:
    std::shared_ptr<Shared> shared;
};

}  // namespace zamri
