// What this machine's kernel charges a program for a line that arrives alone, with no work of the
// program's own: the floor under the service's CPU per line. A child process opens N loopback TCP
// connections and sends R lines a second on each for S seconds (the service load's defaults: 63
// tills, 10 lines a second, beats spread evenly), and the receiving process serves them in one of
// two ways:
//
//   one thread    epoll_wait, recv, and a write of the line to a file, on one thread
//   two threads   a network thread receives and queues the line and wakes a worker, which
//                 writes it, as TCP mode's network thread and worker do (the worker in the
//                 batch scheduling class, as the service's workers are)
//
// For each it prints the receiving process's CPU per line and its wake-ups (voluntary context
// switches) per line, with a check that every line was written.
//
// Usage: bench_wake_floor [--tills N] [--rate R] [--seconds S] [--rounds K]
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kLineBytes = 48;

struct Options {
    int tills = 63;
    int rate = 10;
    int seconds = 10;
    int rounds = 2;
};

struct Usage {
    double cpuSeconds = 0;
    long wakeUps = 0;
};

Usage ProcessUsage() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    Usage figures;
    figures.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    figures.wakeUps = usage.ru_nvcsw;
    return figures;
}

// The child: every till on its own beat, the beats spread over one interval.
[[noreturn]] void SendLines(const Options& options, const sockaddr_in& address) {
    std::vector<int> tills;
    for (int i = 0; i < options.tills; ++i) {
        int socket = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            _exit(2);
        tills.push_back(socket);
    }
    char line[kLineBytes];
    std::memset(line, 'x', sizeof line);
    line[kLineBytes - 1] = '\n';
    const auto interval = std::chrono::microseconds(1000000 / options.rate);
    const Clock::time_point begin = Clock::now();
    const long perTill = static_cast<long>(options.rate) * options.seconds;
    for (long beat = 0; beat < perTill; ++beat) {
        for (int i = 0; i < options.tills; ++i) {
            std::this_thread::sleep_until(begin + interval * beat + interval * i / options.tills);
            if (send(tills[i], line, sizeof line, 0) != kLineBytes)
                _exit(3);
        }
    }
    for (int socket : tills)
        close(socket);
    _exit(0);
}

// Writes each line to out, on this thread or by handing it to a worker.
class Writer {
  public:
    Writer(int out, bool worker) : out_(out) {
        if (worker)
            thread_ = std::thread(&Writer::Work, this);
    }
    ~Writer() { Finish(); }
    // Waits until every line handed over has been written.
    void Finish() {
        if (!thread_.joinable())
            return;
        {
            std::lock_guard<std::mutex> guard(lock_);
            ending_ = true;
        }
        arrived_.notify_one();
        thread_.join();
    }
    void Line(const char* text, size_t length) {
        if (!thread_.joinable()) {
            Write(text, length);
            return;
        }
        std::unique_lock<std::mutex> guard(lock_);
        lines_.emplace_back(text, length);
        bool wake = waiting_;
        waiting_ = false;
        guard.unlock();
        if (wake)
            arrived_.notify_one();
    }
    long Written() {
        std::lock_guard<std::mutex> guard(lock_);
        return written_;
    }

  private:
    void Write(const char* text, size_t length) {
        if (write(out_, text, length) == static_cast<ssize_t>(length)) {
            std::lock_guard<std::mutex> guard(lock_);
            ++written_;
        }
    }
    void Work() {
        sched_param param{};
        pthread_setschedparam(pthread_self(), SCHED_BATCH, &param);
        std::unique_lock<std::mutex> guard(lock_);
        for (;;) {
            while (lines_.empty() && !ending_) {
                waiting_ = true;
                arrived_.wait(guard);
                waiting_ = false;
            }
            if (lines_.empty())
                return;
            std::deque<std::string> batch;
            batch.swap(lines_);
            guard.unlock();
            for (const std::string& line : batch)
                Write(line.data(), line.size());
            guard.lock();
        }
    }

    int out_;
    std::mutex lock_;
    std::condition_variable arrived_;
    std::deque<std::string> lines_;
    bool waiting_ = false;
    bool ending_ = false;
    long written_ = 0;
    std::thread thread_;
};

struct Row {
    double cpuPerLine = 0;
    double wakeUpsPerLine = 0;
    long lines = 0;
    long expected = 0;
};

// Serves the child's connections until all have closed.
Row Measure(const Options& options, bool worker) {
    Row row;
    row.expected = static_cast<long>(options.tills) * options.rate * options.seconds;
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, options.tills) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return row;
    pid_t child = fork();
    if (child == 0)
        SendLines(options, address);
    int poller = epoll_create1(0);
    std::vector<std::string> pending(static_cast<size_t>(options.tills));
    for (int i = 0; i < options.tills; ++i) {
        // A child that could not connect has ended: the wait is bounded, so the run stops.
        pollfd waiting{listener, POLLIN, 0};
        if (poll(&waiting, 1, 10000) != 1) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
            close(listener);
            close(poller);
            row.lines = -1;
            return row;
        }
        int socket = accept(listener, nullptr, nullptr);
        fcntl(socket, F_SETFL, O_NONBLOCK);
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u64 = (static_cast<uint64_t>(i) << 32) | static_cast<uint32_t>(socket);
        epoll_ctl(poller, EPOLL_CTL_ADD, socket, &event);
    }
    close(listener);
    char name[] = "/tmp/zamri-wake-floor-XXXXXX";
    int out = mkstemp(name);
    unlink(name);
    Usage start = ProcessUsage();
    {
        Writer writer(out, worker);
        int open = options.tills;
        char bytes[4096];
        while (open > 0) {
            epoll_event events[64];
            int ready = epoll_wait(poller, events, 64, -1);
            for (int e = 0; e < ready; ++e) {
                int socket = static_cast<int>(events[e].data.u64 & 0xffffffffu);
                std::string& held = pending[events[e].data.u64 >> 32];
                ssize_t got = recv(socket, bytes, sizeof bytes, 0);
                if (got <= 0) {
                    close(socket);
                    --open;
                    continue;
                }
                held.append(bytes, static_cast<size_t>(got));
                size_t from = 0;
                for (size_t end; (end = held.find('\n', from)) != std::string::npos; from = end + 1)
                    writer.Line(held.data() + from, end + 1 - from);
                held.erase(0, from);
            }
        }
        writer.Finish();
        Usage stop = ProcessUsage();
        row.lines = writer.Written();
        row.cpuPerLine = (stop.cpuSeconds - start.cpuSeconds) * 1e6 / static_cast<double>(row.expected);
        row.wakeUpsPerLine =
            static_cast<double>(stop.wakeUps - start.wakeUps) / static_cast<double>(row.expected);
    }
    close(out);
    close(poller);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        row.lines = -1;
    return row;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        int* target = nullptr;
        if (std::strcmp(argv[i], "--tills") == 0)
            target = &options.tills;
        else if (std::strcmp(argv[i], "--rate") == 0)
            target = &options.rate;
        else if (std::strcmp(argv[i], "--seconds") == 0)
            target = &options.seconds;
        else if (std::strcmp(argv[i], "--rounds") == 0)
            target = &options.rounds;
        if (target == nullptr || i + 1 >= argc) {
            std::fprintf(stderr,
                         "usage: bench_wake_floor [--tills N] [--rate R] [--seconds S] [--rounds K]\n");
            return 2;
        }
        *target = std::atoi(argv[++i]);
    }
    if (options.tills < 1 || options.tills > 1000 || options.rate < 1 || options.rate > 100000 ||
        options.seconds < 1 || options.rounds < 1) {
        std::fprintf(stderr,
                     "bench_wake_floor: tills 1 to 1000, rate 1 to 100000, seconds and rounds at least 1\n");
        return 2;
    }
    std::printf("%d tills x %d lines a second for %d s, %d round(s)\n\n", options.tills, options.rate,
                options.seconds, options.rounds);
    std::printf("| road | CPU per line | wake-ups per line | lines | check |\n|---|---|---|---|---|\n");
    bool allWritten = true;
    for (int round = 0; round < options.rounds; ++round) {
        for (bool worker : {false, true}) {
            Row row = Measure(options, worker);
            bool ok = row.lines == row.expected;
            allWritten = allWritten && ok;
            std::printf("| %s | %.1f us | %.2f | %ld | %s |\n",
                        worker ? "two threads (network thread, worker)" : "one thread", row.cpuPerLine,
                        row.wakeUpsPerLine, row.expected,
                        ok              ? "ok"
                        : row.lines < 0 ? "the sender failed"
                                        : "lines missing");
            std::fflush(stdout);
        }
    }
    return allWritten ? 0 : 1;
}
