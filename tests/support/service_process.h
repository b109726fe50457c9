// The Linux service as a separate process in tests: started with its arguments, its overlay
// record and console output in files of the test's folder; killed at the end if it still runs.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "support/free_port.h"
#include "support/overlay_log.h"
#include "support/temp_dir.h"

namespace testing_support {

class ServiceProcess {
  public:
    // The run's files are <name>.overlay, <name>.out and <name>.err in dir.
    ServiceProcess(const TempDir& dir, const std::string& name, const std::string& program);
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    void Start(const std::vector<std::string>& args);
    // SIGTERM, as systemd stops it; then WaitExit.
    int Stop(int seconds = 30);
    // The exit code, or -1 when the process did not end in time (or ended by a signal).
    int WaitExit(int seconds = 30);
    int Run(const std::vector<std::string>& args) {
        Start(args);
        return WaitExit();
    }
    bool ErrorSays(const std::string& text) const;
    std::string Said() const { return ReadFileBytes(err); }
    std::vector<OverlayCall> Calls() const { return ReadOverlayLog(overlay); }

    const std::string overlay, out, err;
    pid_t pid = -1;

  private:
    std::string program_;
};

}  // namespace testing_support
