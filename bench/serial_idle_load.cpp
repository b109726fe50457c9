// Serial capture load tool: the CPU time that 32 open but idle channels cost over a stretch of
// wall time (pseudo-terminals as ports), and how long stopping one channel takes.
//
//   bench_serial_idle [--seconds N] [--channels N] [--rounds N]
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/os.h"
#include "program/program.h"
#include "serial/serial_capture.h"

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec / 1e6;
}

struct Pty {
    int master = -1;
    int slave = -1;
    std::string name;
};

bool WaitOpen(zamri::Program& program, int index) {
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
        SerialCapture* capture = program.Capture().runs[index].capture.load();
        if (capture != nullptr && capture->IsOpen())
            return true;
        zamri::SleepMilliseconds(1);
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 60;
    int channels = 32;
    int rounds = 20;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--channels") == 0)
            channels = std::min(kChannelCount, std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--rounds") == 0)
            rounds = std::atoi(argv[i + 1]);
    }
    setenv("OVTEXT_LOG", "/dev/null", 1);

    std::vector<Pty> ptys(static_cast<size_t>(channels));
    zamri::Program program;
    ChannelTable& table = program.Table();
    for (int i = 0; i < channels; ++i) {
        char name[256];
        if (openpty(&ptys[i].master, &ptys[i].slave, name, nullptr, nullptr) != 0) {
            std::fprintf(stderr, "openpty failed\n");
            return 1;
        }
        ptys[i].name = name;
        ChannelConfig& record = table.channels[i];
        record.enabled = 1;
        std::snprintf(record.portName, sizeof record.portName, "%s", name);
    }

    table.StartCapture();
    for (int i = 0; i < channels; ++i) {
        if (!WaitOpen(program, i)) {
            std::fprintf(stderr, "channel %d did not open\n", i);
            return 1;
        }
    }
    double cpuBefore = CpuSeconds();
    auto wallBefore = Clock::now();
    zamri::SleepMilliseconds(seconds * 1000);
    double cpu = CpuSeconds() - cpuBefore;
    double wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();
    std::printf("idle: %d open channels for %.1f s used %.3f ms of CPU (%.5f%% of one core)\n", channels,
                wall, cpu * 1000, 100.0 * cpu / wall);

    auto stopAllStart = Clock::now();
    table.StopCapture();
    double stopAll = std::chrono::duration<double, std::milli>(Clock::now() - stopAllStart).count();
    std::printf("stop: StopCapture of %d idle channels took %.2f ms\n", channels, stopAll);

    std::vector<double> latencies;
    for (int round = 0; round < rounds; ++round) {
        table.StartChannel(0);
        if (!WaitOpen(program, 0))
            return 1;
        auto start = Clock::now();
        table.StopChannel(0);
        latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(latencies.begin(), latencies.end());
    if (!latencies.empty()) {
        std::printf(
            "stop: StopChannel of one idle channel, %d rounds: min %.2f ms, median %.2f ms, max %.2f ms\n",
            rounds, latencies.front(), latencies[latencies.size() / 2], latencies.back());
    }
    for (Pty& pty : ptys) {
        close(pty.master);
        close(pty.slave);
    }
    return 0;
}
