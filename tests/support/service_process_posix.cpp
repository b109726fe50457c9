#include "support/service_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "support/wait.h"

namespace testing_support {

ServiceProcess::ServiceProcess(const TempDir& dir, const std::string& name, const std::string& program)
    : overlay(dir.File(name + ".overlay")),
      out(dir.File(name + ".out")),
      err(dir.File(name + ".err")),
      program_(program) {}

ServiceProcess::~ServiceProcess() {
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

void ServiceProcess::Start(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {program_};
    argv.insert(argv.end(), args.begin(), args.end());
    pid = fork();
    if (pid == 0) {
        setenv("OVTEXT_LOG", overlay.c_str(), 1);
        std::FILE* ignored = std::freopen(out.c_str(), "w", stdout);
        ignored = std::freopen(err.c_str(), "w", stderr);
        (void)ignored;
        std::vector<char*> raw;
        for (std::string& a : argv)
            raw.push_back(&a[0]);
        raw.push_back(nullptr);
        execv(raw[0], raw.data());
        _exit(127);
    }
}

int ServiceProcess::Stop(int seconds) {
    if (pid > 0)
        kill(pid, SIGTERM);
    return WaitExit(seconds);
}

int ServiceProcess::WaitExit(int seconds) {
    if (pid <= 0)
        return -1;
    int status = 0;
    bool ended = WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, seconds * 1000);
    if (!ended)
        return -1;
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool ServiceProcess::ErrorSays(const std::string& text) const {
    return ReadFileBytes(err).find(text) != std::string::npos;
}

}  // namespace testing_support
