#include <pthread.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/os.h"

namespace zamri {

int ShowPlatformMessage(const char* text, const char* caption, unsigned style) {
    // One write, so that lines from several threads never interleave.
    char line[1200];
    int length = std::snprintf(line, sizeof line, "%s: %s\n", caption, text);
    if (length > 0) {
        size_t size =
            static_cast<size_t>(length) < sizeof line ? static_cast<size_t>(length) : sizeof line - 1;
        ssize_t ignored = write(STDERR_FILENO, line, size);
        (void)ignored;
    }
    return (style & kMsgYesNo) ? 6 /* yes */ : 1 /* OK */;
}

void WritePlatformErrorLine(const char* text) {
    char line[1200];
    int length = std::snprintf(line, sizeof line, "%s\n", text);
    if (length > 0) {
        size_t size =
            static_cast<size_t>(length) < sizeof line ? static_cast<size_t>(length) : sizeof line - 1;
        if (line[size - 1] != '\n')
            line[size - 1] = '\n';
        ssize_t ignored = write(STDERR_FILENO, line, size);
        (void)ignored;
    }
}

void SleepMilliseconds(int milliseconds) {
    if (milliseconds <= 0)
        return;
    timespec wanted{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    while (nanosleep(&wanted, &wanted) != 0 && errno == EINTR) {
    }
}

std::string ComputerName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return std::string();
    return name;
}

int ProcessId() {
    return static_cast<int>(getpid());
}

int GetExecutablePath(char* out, int size) {
    if (out == nullptr || size <= 1)
        return 0;
    ssize_t length = readlink("/proc/self/exe", out, static_cast<size_t>(size - 1));
    if (length <= 0) {
        out[0] = 0;
        return 0;
    }
    out[length] = 0;
    return static_cast<int>(length);
}

int GetSystemSettingsDirectory(char* out, int size) {
    if (out == nullptr || size <= 1)
        return 0;
    const char* dir = std::getenv("ZAMRI_WINDOWS_DIR");
    if (dir == nullptr || *dir == 0)
        dir = "/etc";
    int length = std::snprintf(out, static_cast<size_t>(size), "%s", dir);
    return length > 0 && length < size ? length : 0;
}

int MarkThreadAsBackgroundWorker() {
    int policy = 0;
    sched_param param{};
    // A policy chosen by the administrator (a real-time class given with chrt) stays.
    if (pthread_getschedparam(pthread_self(), &policy, &param) != 0 || policy != SCHED_OTHER)
        return 0;
    param.sched_priority = 0;
    return pthread_setschedparam(pthread_self(), SCHED_BATCH, &param) == 0 ? 1 : 0;
}

}  // namespace zamri
