#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "app/app_startup.h"
#include "app/service.h"
#include "config/settings.h"
#include "delivery/delivery_report.h"
#include "platform/language.h"
#include "program/program.h"

namespace zamri {

namespace {

// One instance per settings file: an advisory lock on "<settings>.lock", held until exit.
class InstanceLock {
  public:
    InstanceLock() = default;
    // 1 when this process now holds the lock, 0 when another one does, -1 when the lock file
    // can be neither made nor opened (errno tells why). A lock file that exists is locked
    // through a read-only descriptor where it may not be written: a service whose settings
    // folder is read-only to it (/etc under systemd) finds the one that its package made.
    int Acquire(const char* settingsPath) {
        std::snprintf(path, sizeof path, "%s.lock", settingsPath);
        fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))
            fd = open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return -1;
        if (flock(fd, LOCK_EX | LOCK_NB) == 0)
            return 1;
        return errno == EWOULDBLOCK ? 0 : -1;
    }
    const char* Path() const { return path; }
    ~InstanceLock() {
        if (fd >= 0)
            close(fd);  // releases the lock
    }
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

  private:
    int fd = -1;
    char path[kMaxPath + 8] = {};
};

// One write per line, so that lines never mix with the messages of capture threads.
__attribute__((format(printf, 1, 2))) void Say(const char* format, ...) {
    char line[kMaxPath + 200];
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (length <= 0)
        return;
    size_t size = static_cast<size_t>(length) < sizeof line ? static_cast<size_t>(length) : sizeof line - 1;
    ssize_t ignored = write(STDERR_FILENO, line, size);
    (void)ignored;
}

void AnnounceCapture(Program& program, const char* settingsPath) {
    ChannelTable& table = program.Table();
    if (table.GetMode() == 1) {
        Say("zamri %s: TCP mode, port %d, settings %s\n", kProgramVersion, table.GetTcpPort(), settingsPath);
        return;
    }
    Say("zamri %s: serial mode, settings %s\n", kProgramVersion, settingsPath);
    int enabled = 0;
    for (int i = 0; i < kChannelCount; ++i) {
        ChannelConfig* record = table.GetChannel(i);
        if (record->enabled == 0)
            continue;
        ++enabled;
        Say("zamri: channel %d: port %s%s\n", i + 1, record->portName,
            program.Capture().runs[i].thread.load() != nullptr ? "" : " (not capturing)");
    }
    if (enabled == 0)
        Say("zamri: no channel is enabled in the settings file\n");
}

void AnnounceWebPage(WebFront& web, const std::string& error) {
    if (web.Running()) {
        std::string address = web.ListenAddress();
        if (address == web.LocalAddress())
            Say("zamri: web page at %s\n", address.c_str());
        else
            Say("zamri: web page at %s (on this machine: %s)\n", address.c_str(), web.LocalAddress().c_str());
        if (!web.Warning().empty())
            Say("zamri: %s\n", web.Warning().c_str());
    } else if (!error.empty()) {
        Say("zamri: %s\n", error.c_str());
    }
}

sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

void PrepareServiceSignals() {
    sigset_t set = StopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    // A client that vanishes mid-send must not end the process.
    signal(SIGPIPE, SIG_IGN);
}

namespace {

// Takes SIGINT and SIGTERM from the moment it exists, so that a stop asked for during start-up
// (while a slow overlay library opens, or the settings are read) is seen at the next step.
class StopSignalWatch {
  public:
    StopSignalWatch() : thread([this] { Watch(); }) {}
    ~StopSignalWatch() {
        ending = true;
        thread.join();
    }
    StopSignalWatch(const StopSignalWatch&) = delete;
    StopSignalWatch& operator=(const StopSignalWatch&) = delete;

    // The signal received so far, or 0.
    int Received() const { return received.load(); }
    // Waits for a signal; returns it.
    int Wait() {
        std::unique_lock<std::mutex> guard(lock);
        arrived.wait(guard, [this] { return received.load() != 0; });
        return received.load();
    }

  private:
    void Watch() {
        sigset_t set = StopSignals();
        timespec tick{0, 100 * 1000 * 1000};  // how soon the watch notices it is no longer needed
        while (!ending.load()) {
            int signal = sigtimedwait(&set, nullptr, &tick);
            if (signal == SIGINT || signal == SIGTERM) {
                {
                    std::lock_guard<std::mutex> guard(lock);
                    received = signal;
                }
                arrived.notify_all();
                return;
            }
        }
    }

    std::atomic<int> received{0};
    std::atomic<bool> ending{false};
    std::mutex lock;
    std::condition_variable arrived;
    std::thread thread;
};

// 1 after an orderly stop, 0 after a silent end, -1 when another instance runs. The program
// lives exactly as long as this call, so its destruction (TCP server and worker, then the
// overlay library) is complete when it returns.
int RunProgram(const char* settingsPath, int mode) {
    // Declared first so that it is released last: no new instance starts before this one has
    // closed the overlay library.
    InstanceLock lock;
    StopSignalWatch stop;
    Program program(kProgramVersion);
    program.Table().SetSettingsPath(settingsPath);
    program.Table().SetMode(mode);

    int locked = lock.Acquire(settingsPath);
    if (locked < 0) {
        Say("zamri: cannot open the lock file %s: %s\n", lock.Path(), std::strerror(errno));
        return -1;
    }
    if (locked == 0) {
        Say("zamri: another instance is running with the settings file %s\n", settingsPath);
        return -1;
    }
    // As in the tray program: a language pack without a title ends the program silently.
    if (!LanguageHasTitle(langPack))
        return 0;

    // A stop during start-up skips the steps left; capture that never started needs no stop.
    if (program.Start(ProcessPaths().recorderSettings, [&stop] { return stop.Received() != 0; })) {
        AnnounceCapture(program, settingsPath);
        AnnounceWebPage(program.Web(), program.WebError());
    }
    int received = stop.Wait();
    Say("zamri: %s, stopping\n", received == SIGINT ? "interrupted" : "terminated");
    program.Stop();
    // Every line has been delivered once capture has stopped, so the counts are final.
    for (const std::string& line : DeliveryReport(program.Delivery()))
        Say("zamri: %s\n", line.c_str());
    return 1;
}

}  // namespace

int RunService(const ServiceOptions& options) {
    if (!BuildAppPaths(options.settings)) {
        Say("zamri: cannot build the settings file path\n");
        return 1;
    }
    const char* settingsPath = ProcessPaths().settings;
    int stopped = RunProgram(settingsPath, options.mode);
    if (stopped > 0)
        Say("zamri: stopped\n");
    return stopped < 0 ? 1 : 0;
}

}  // namespace zamri
