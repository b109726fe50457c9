// The Linux service under a store's load, measured from outside as an administrator would: the
// real program starts with a settings file of its own, N tills connect in TCP mode and each sends
// R lines a second for S seconds (by default 63 tills, 10 lines a second, 25 seconds: ten times a
// busy store), with the features asked for switched on. Each row of the table is a fresh service;
// its figures are what the kernel counted for the service's process while the lines came in:
//
//   CPU            user and system time over the sending time, as a share of one core
//   CPU per line   the same time divided by the lines sent
//   resident       the largest resident set seen (sampled every 250 ms)
//   wake-ups/line  the times the service's threads went to sleep and were woken (their voluntary
//                  context switches), over the lines sent: what the scheduler costs, which other
//                  load on the machine does not change as it does the CPU figures
//   threads, fds   the most threads and open descriptors seen
//   check          "ok" when every line reached the overlay library and every sink that is on;
//                  otherwise what is missing where
//
// Features (a comma list for --features; "none" or "all" also do):
//   journal   the journal in a folder of the run's own (off: Journal= empty)
//   syslog    the syslog export over TCP to a receiver in this program that counts the messages
//   web       the web page with one live reader (a client of /api/live that counts the lines)
//   masks     two user masks ([Mask]); card numbers are masked in every row, as shipped
//
// Usage: bench_service_load [--service PATH]... [--features LIST]... [--tills N] [--rate R]
//                           [--seconds S] [--rounds K] [--keep]
// Each --features adds a row (default: one row with every feature); each --service adds a
// program to measure (default: the zamri built beside this tool), so an old and a new build are
// compared in the same run. Rows alternate between the programs, round after round, so that
// other load on the machine falls on all of them alike. Exit code 0 when every check held.
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "send_client.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kJournal = 1;
constexpr int kSyslog = 2;
constexpr int kWeb = 4;
constexpr int kMasks = 8;
constexpr int kAllFeatures = kJournal | kSyslog | kWeb | kMasks;

struct Options {
    std::vector<std::string> services;
    std::vector<int> rows;
    int tills = 63;
    int rate = 10;
    int seconds = 25;
    int rounds = 1;
    bool keep = false;
};

std::string FeatureNames(int features) {
    if (features == 0)
        return "none";
    std::string names;
    const char* all[] = {"journal", "syslog", "web", "masks"};
    for (int bit = 0; bit < 4; ++bit) {
        if ((features & (1 << bit)) == 0)
            continue;
        if (!names.empty())
            names += ",";
        names += all[bit];
    }
    return names;
}

// -1 when the list names something unknown.
int ParseFeatures(const std::string& list) {
    if (list == "none")
        return 0;
    if (list == "all")
        return kAllFeatures;
    int features = 0;
    std::stringstream in(list);
    std::string name;
    while (std::getline(in, name, ',')) {
        if (name == "journal")
            features |= kJournal;
        else if (name == "syslog")
            features |= kSyslog;
        else if (name == "web")
            features |= kWeb;
        else if (name == "masks")
            features |= kMasks;
        else
            return -1;
    }
    return features;
}

std::string ProgramBeside(const char* argv0) {
    std::error_code error;
    fs::path self = fs::canonical("/proc/self/exe", error);
    if (error)
        self = argv0;
    return (self.parent_path() / "zamri").string();
}

// A port nobody listens on right now (the kernel's choice for a socket bound to port 0).
int FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

int ConnectLoopback(int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// The syslog collector: accepts the export's connections and counts octet-counted messages.
class SyslogReceiver {
  public:
    SyslogReceiver() {
        listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int on = 1;
        setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener, 4);
        socklen_t length = sizeof address;
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        worker = std::thread([this] { Run(); });
    }
    ~SyslogReceiver() {
        stop = true;
        worker.join();
        close(listener);
    }
    int Port() const { return port; }
    long Messages() const { return messages.load(); }

  private:
    void Run() {
        std::vector<pollfd> fds;
        std::vector<std::string> pending;
        fds.push_back({listener, POLLIN, 0});
        pending.emplace_back();
        char buffer[65536];
        while (!stop.load()) {
            if (poll(fds.data(), fds.size(), 100) <= 0)
                continue;
            if (fds[0].revents & POLLIN) {
                int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd >= 0) {
                    fds.push_back({fd, POLLIN, 0});
                    pending.emplace_back();
                }
            }
            for (size_t i = 1; i < fds.size(); ++i) {
                if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
                    continue;
                ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
                if (got <= 0) {
                    close(fds[i].fd);
                    fds.erase(fds.begin() + static_cast<long>(i));
                    pending.erase(pending.begin() + static_cast<long>(i));
                    --i;
                    continue;
                }
                pending[i].append(buffer, static_cast<size_t>(got));
                Count(pending[i]);
            }
        }
        for (size_t i = 1; i < fds.size(); ++i)
            close(fds[i].fd);
    }
    // Takes every whole "LENGTH SP MESSAGE" off the front of data.
    void Count(std::string& data) {
        size_t at = 0;
        for (;;) {
            size_t blank = data.find(' ', at);
            if (blank == std::string::npos)
                break;
            size_t length = std::strtoul(data.c_str() + at, nullptr, 10);
            if (data.size() < blank + 1 + length)
                break;
            at = blank + 1 + length;
            ++messages;
        }
        data.erase(0, at);
    }

    int listener = -1;
    int port = 0;
    std::atomic<bool> stop{false};
    std::atomic<long> messages{0};
    std::thread worker;
};

// One browser's worth of live view: reads the page's line stream and counts its line events.
class LiveReader {
  public:
    // 1 once the stream's answer has begun.
    int Open(int port) {
        for (int attempt = 0; attempt < 200 && fd < 0; ++attempt) {
            fd = ConnectLoopback(port);
            if (fd < 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (fd < 0)
            return 0;
        const char request[] =
            "GET /api/live HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/event-stream\r\n\r\n";
        if (write(fd, request, sizeof request - 1) != static_cast<ssize_t>(sizeof request - 1))
            return 0;
        std::string head;
        char byte;
        while (head.find("\r\n\r\n") == std::string::npos && read(fd, &byte, 1) == 1)
            head += byte;
        if (head.compare(0, 12, "HTTP/1.1 200") != 0)
            return 0;
        worker = std::thread([this] { Run(); });
        return 1;
    }
    ~LiveReader() {
        stop = true;
        if (worker.joinable())
            worker.join();
        if (fd >= 0)
            close(fd);
    }
    long Lines() const { return lines.load(); }
    long Skipped() const { return skipped.load(); }

  private:
    void Run() {
        std::string data;
        char buffer[65536];
        while (!stop.load()) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0)
                continue;
            ssize_t got = read(fd, buffer, sizeof buffer);
            if (got <= 0)
                return;
            data.append(buffer, static_cast<size_t>(got));
            size_t at = 0;
            for (size_t end; (end = data.find('\n', at)) != std::string::npos; at = end + 1) {
                if (data.compare(at, end - at, "event: line") == 0)
                    ++lines;
                else if (data.compare(at, end - at, "event: skipped") == 0)
                    ++skipped;
            }
            data.erase(0, at);
        }
    }

    int fd = -1;
    std::atomic<bool> stop{false};
    std::atomic<long> lines{0};
    std::atomic<long> skipped{0};
    std::thread worker;
};

// What the kernel tells of a process.
struct ProcessFigures {
    double cpuSeconds = 0;  // user and system
    long residentKB = 0;
    long threads = 0;
    long descriptors = 0;
    long wakeUps = 0;  // voluntary context switches of every thread so far (ended ones not)
};

ProcessFigures ReadProcess(pid_t pid) {
    ProcessFigures figures;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    size_t close = text.rfind(')');
    if (close != std::string::npos) {
        std::stringstream fields(text.substr(close + 2));
        std::string field;
        // After the name: state is field 3; utime and stime are fields 14 and 15.
        unsigned long long utime = 0, stime = 0;
        for (int n = 3; n <= 15 && fields >> field; ++n) {
            if (n == 14)
                utime = std::strtoull(field.c_str(), nullptr, 10);
            if (n == 15)
                stime = std::strtoull(field.c_str(), nullptr, 10);
        }
        figures.cpuSeconds = static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "VmRSS:") == 0)
            figures.residentKB = std::strtol(line.c_str() + 6, nullptr, 10);
        else if (line.compare(0, 8, "Threads:") == 0)
            figures.threads = std::strtol(line.c_str() + 8, nullptr, 10);
    }
    std::error_code error;
    for (auto it = fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error);
         !error && it != fs::directory_iterator(); it.increment(error))
        ++figures.descriptors;
    for (auto it = fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error);
         !error && it != fs::directory_iterator(); it.increment(error)) {
        std::ifstream task(it->path() / "status");
        while (std::getline(task, line)) {
            if (line.compare(0, 24, "voluntary_ctxt_switches:") == 0)
                figures.wakeUps += std::strtol(line.c_str() + 24, nullptr, 10);
        }
    }
    return figures;
}

long CountLinesStartingWith(const fs::path& file, const char* prefix) {
    std::ifstream in(file);
    std::string line;
    long count = 0;
    size_t length = std::strlen(prefix);
    while (std::getline(in, line)) {
        if (line.compare(0, length, prefix) == 0)
            ++count;
    }
    return count;
}

long JournalLines(const fs::path& folder) {
    long count = 0;
    std::error_code error;
    for (auto it = fs::directory_iterator(folder, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        if (it->path().extension() == ".jsonl")
            count += CountLinesStartingWith(it->path(), "{");
    }
    return count;
}

// A receipt of ten lines as a busy till prints them: a card number and a member number for the
// masks, the last line ending the receipt with a form feed.
std::string ReceiptLine(int till, long n) {
    char text[128];
    switch (n % 10) {
        case 0:
            std::snprintf(text, sizeof text, "STORE 0042  TILL %02d  RECEIPT %06ld\n", till, n / 10);
            break;
        case 1:
            std::snprintf(text, sizeof text, "BREAD WHOLEMEAL          1.20\n");
            break;
        case 2:
            std::snprintf(text, sizeof text, "MILK 1L                  0.95\n");
            break;
        case 3:
            std::snprintf(text, sizeof text, "CHEESE 200G              3.49\n");
            break;
        case 4:
            std::snprintf(text, sizeof text, "MEMBER 0042424242 GOLD\n");
            break;
        case 5:
            std::snprintf(text, sizeof text, "SUBTOTAL                 5.64\n");
            break;
        case 6:
            std::snprintf(text, sizeof text, "VISA 4111 1111 1111 1111\n");
            break;
        case 7:
            std::snprintf(text, sizeof text, "TEL 555-123-4567\n");
            break;
        case 8:
            std::snprintf(text, sizeof text, "THANK YOU  %02d:%02ld\n", till, n % 60);
            break;
        default:
            std::snprintf(text, sizeof text, "TOTAL                    5.64\f\n");
            break;
    }
    return text;
}

struct RowResult {
    std::string service;
    int features = 0;
    long sent = 0;
    double sendSeconds = 0;
    ProcessFigures start;
    ProcessFigures end;
    long residentKB = 0;
    long threads = 0;
    long descriptors = 0;
    std::string check;
};

bool WriteText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

pid_t StartService(const std::string& program, const fs::path& settings, const fs::path& overlay,
                   const fs::path& log) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "OVTEXT_", 7) != 0 && std::strncmp(*entry, "LD_LIBRARY_PATH=", 16) != 0)
            environment.push_back(*entry);
    }
    environment.push_back("OVTEXT_LOG=" + overlay.string());
    // The overlay and language libraries built with this program, wherever it was copied to.
    environment.push_back("LD_LIBRARY_PATH=" + fs::path(program).parent_path().string());
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string settingsText = settings.string();
    std::vector<char*> argv = {const_cast<char*>(program.c_str()), const_cast<char*>("--tcp"),
                               const_cast<char*>("--settings"), settingsText.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void StopService(pid_t pid) {
    kill(pid, SIGTERM);
    for (int i = 0; i < 400; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

RowResult RunRow(const Options& options, const std::string& program, int features) {
    RowResult result;
    result.service = program;
    result.features = features;
    char pattern[] = "/tmp/zamri-service-load-XXXXXX";
    fs::path dir = mkdtemp(pattern);
    fs::path journal = dir / "journal";
    fs::path overlay = dir / "overlay.log";
    int tcpPort = FreePort();
    int webPort = FreePort();
    std::unique_ptr<SyslogReceiver> receiver;
    if (features & kSyslog)
        receiver.reset(new SyslogReceiver);

    std::string settings = "[Channel]\nPORT=" + std::to_string(tcpPort) + "\n[Options]\n";
    settings += (features & kJournal) ? "Journal=" + journal.string() + "\n" : "Journal=\n";
    if (features & kSyslog)
        settings += "Syslog=tcp://127.0.0.1:" + std::to_string(receiver->Port()) + "\n";
    if (features & kWeb)
        settings += "HttpPort=" + std::to_string(webPort) + "\nHttpAddress=127.0.0.1\n";
    if (features & kMasks)
        settings += "[Mask]\ncount=2\n0=MEMBER *\n1=TEL ###-###-####\n";
    WriteText(dir / "zamri.ini", settings);

    pid_t pid = StartService(program, dir / "zamri.ini", overlay, dir / "service.log");
    if (pid < 0) {
        result.check = "cannot start " + program;
        return result;
    }
    // Ready once the TCP port takes connections (and the page answers, when it is on).
    bool ready = false;
    for (int i = 0; i < 600 && !ready; ++i) {
        int fd = ConnectLoopback(tcpPort);
        if (fd >= 0) {
            close(fd);
            ready = true;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    std::unique_ptr<LiveReader> reader;
    if (ready && (features & kWeb)) {
        reader.reset(new LiveReader);
        ready = reader->Open(webPort) != 0;
    }
    std::vector<std::unique_ptr<SendClient>> tills;
    for (int i = 0; ready && i < options.tills; ++i) {
        tills.emplace_back(new SendClient);
        ready = tills.back()->Connect("127.0.0.1", tcpPort) && tills.back()->OpeningExchange() == 1;
    }
    if (!ready) {
        result.check = "the service did not start (see " + (dir / "service.log").string() + ")";
        StopService(pid);
        return result;
    }

    // Every till sends on its own beat, the beats spread evenly over one interval.
    const auto interval = std::chrono::microseconds(1000000 / std::max(options.rate, 1));
    std::vector<Clock::time_point> next(tills.size());
    std::vector<long> counts(tills.size(), 0);
    Clock::time_point begin = Clock::now();
    for (size_t i = 0; i < tills.size(); ++i)
        next[i] = begin + interval * static_cast<long>(i) / static_cast<long>(tills.size());
    const Clock::time_point stopSending = begin + std::chrono::seconds(options.seconds);
    result.start = ReadProcess(pid);
    auto sample = [&] {
        ProcessFigures now = ReadProcess(pid);
        result.residentKB = std::max(result.residentKB, now.residentKB);
        result.threads = std::max(result.threads, now.threads);
        result.descriptors = std::max(result.descriptors, now.descriptors);
    };
    Clock::time_point nextSample = begin;
    bool sendFailed = false;
    while (Clock::now() < stopSending && !sendFailed) {
        Clock::time_point soonest = stopSending;
        for (size_t i = 0; i < tills.size(); ++i) {
            if (Clock::now() >= next[i]) {
                std::string line = ReceiptLine(static_cast<int>(i + 1), counts[i]);
                int camera = static_cast<int>(i % 32) + 1;
                if (!tills[i]->SendTextLine(camera, line.data(), static_cast<int>(line.size())))
                    sendFailed = true;
                ++counts[i];
                ++result.sent;
                next[i] += interval;
            }
            soonest = std::min(soonest, next[i]);
        }
        if (Clock::now() >= nextSample) {
            sample();
            nextSample += std::chrono::milliseconds(250);
        }
        std::this_thread::sleep_until(std::min(soonest, nextSample));
    }

    // Done once every line is everywhere it should be (or the bound has passed).
    auto delivered = [&](std::string* missing) {
        std::string gaps;
        auto note = [&](const char* where, long got) {
            if (got != result.sent)
                gaps += std::string(gaps.empty() ? "" : ", ") + where + " " + std::to_string(got) + "/" +
                        std::to_string(result.sent);
        };
        note("overlay", CountLinesStartingWith(overlay, "OV_write"));
        if (features & kJournal)
            note("journal", JournalLines(journal));
        if (features & kSyslog)
            note("syslog", receiver->Messages());
        if (features & kWeb)
            note("live view", reader->Lines());
        if (missing != nullptr)
            *missing = gaps;
        return gaps.empty();
    };
    Clock::time_point bound = Clock::now() + std::chrono::seconds(60);
    while (!delivered(nullptr) && Clock::now() < bound) {
        sample();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    sample();
    result.end = ReadProcess(pid);
    result.sendSeconds = std::chrono::duration<double>(Clock::now() - begin).count();
    std::string missing;
    result.check = sendFailed ? "a till could not send" : delivered(&missing) ? "ok" : "missing: " + missing;
    if (reader != nullptr && reader->Skipped() > 0)
        result.check += " (the live view skipped " + std::to_string(reader->Skipped()) + " times)";

    for (auto& till : tills)
        till->Close();
    StopService(pid);
    if (result.check == "ok" && !options.keep)
        fs::remove_all(dir);
    else
        result.check += " [kept " + dir.string() + "]";
    return result;
}

int ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* text = nullptr;
        if (arg == "--service" && (text = value()) != nullptr) {
            options.services.push_back(text);
        } else if (arg == "--features" && (text = value()) != nullptr) {
            int features = ParseFeatures(text);
            if (features < 0) {
                std::fprintf(stderr, "bench_service_load: unknown feature in \"%s\"\n", text);
                return 0;
            }
            options.rows.push_back(features);
        } else if (arg == "--tills" && (text = value()) != nullptr) {
            options.tills = std::atoi(text);
        } else if (arg == "--rate" && (text = value()) != nullptr) {
            options.rate = std::atoi(text);
        } else if (arg == "--seconds" && (text = value()) != nullptr) {
            options.seconds = std::atoi(text);
        } else if (arg == "--rounds" && (text = value()) != nullptr) {
            options.rounds = std::atoi(text);
        } else if (arg == "--keep") {
            options.keep = true;
        } else {
            std::fprintf(stderr,
                         "usage: bench_service_load [--service PATH]... [--features LIST]... [--tills N] "
                         "[--rate R] [--seconds S] [--rounds K] [--keep]\n"
                         "  LIST: none, all, or a comma list of journal, syslog, web, masks\n");
            return 0;
        }
    }
    if (options.tills < 1 || options.tills > 63 || options.rate < 1 || options.seconds < 1 ||
        options.rounds < 1) {
        std::fprintf(stderr, "bench_service_load: tills 1 to 63, rate, seconds and rounds at least 1\n");
        return 0;
    }
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    Options options;
    if (!ParseOptions(argc, argv, options))
        return 2;
    if (options.services.empty())
        options.services.push_back(ProgramBeside(argv[0]));
    if (options.rows.empty())
        options.rows.push_back(kAllFeatures);

    std::printf("%d tills x %d lines a second for %d s, %d round(s)\n", options.tills, options.rate,
                options.seconds, options.rounds);
    for (size_t s = 0; s < options.services.size(); ++s)
        std::printf("  [%zu] %s\n", s + 1, options.services[s].c_str());
    std::printf(
        "\n| service | features | CPU, share of one core | CPU per line | wake-ups per line | resident | "
        "threads | fds | lines | check |\n|---|---|---|---|---|---|---|---|---|---|\n");
    std::fflush(stdout);
    bool allOk = true;
    for (int round = 0; round < options.rounds; ++round) {
        for (int features : options.rows) {
            for (size_t s = 0; s < options.services.size(); ++s) {
                RowResult row = RunRow(options, options.services[s], features);
                double cpu = row.end.cpuSeconds - row.start.cpuSeconds;
                double share = row.sendSeconds > 0 ? 100.0 * cpu / row.sendSeconds : 0;
                double perLine = row.sent > 0 ? 1e6 * cpu / static_cast<double>(row.sent) : 0;
                double wakeUps = row.sent > 0 ? static_cast<double>(row.end.wakeUps - row.start.wakeUps) /
                                                    static_cast<double>(row.sent)
                                              : 0;
                std::printf("| [%zu] | %s | %.1f%% | %.0f us | %.2f | %.1f MB | %ld | %ld | %ld | %s |\n",
                            s + 1, FeatureNames(features).c_str(), share, perLine, wakeUps,
                            row.residentKB / 1024.0, row.threads, row.descriptors, row.sent,
                            row.check.c_str());
                std::fflush(stdout);
                allOk = allOk && row.check == "ok";
            }
        }
    }
    return allOk ? 0 : 1;
}
