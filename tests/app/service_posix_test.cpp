// The Linux service as a whole: the real executable, started, signalled and watched from here.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "send_client.h"
#include "support/overlay_log.h"
#include "support/service_process.h"
#include "support/temp_dir.h"
#include "support/wait.h"

namespace {

using testing_support::FreePort;
using testing_support::OverlayCall;
using testing_support::ReadFileBytes;
using testing_support::ReadOverlayLog;
using testing_support::TempDir;
using testing_support::WaitUntil;
using testing_support::WriteFileBytes;

// One run of the service with its own overlay record and console output.
class ServiceRun : public testing_support::ServiceProcess {
  public:
    ServiceRun(const TempDir& dir, const std::string& name, const std::string& program = ZAMRI_SERVICE_PATH)
        : ServiceProcess(dir, name, program) {}
};

// The overlay record of a whole run: opened first, closed last, once each.
void ExpectOpenedFirstAndClosedLast(const std::vector<OverlayCall>& calls) {
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ("OV_open", calls.front().name);
    EXPECT_EQ("OV_close", calls.back().name);
    int closes = 0;
    for (const OverlayCall& call : calls)
        closes += call.name == "OV_close";
    EXPECT_EQ(1, closes);
}

int CountWrites(const std::vector<OverlayCall>& calls) {
    int writes = 0;
    for (const OverlayCall& call : calls)
        writes += call.name == "OV_write";
    return writes;
}

class ServiceTest : public ::testing::Test {
  protected:
    std::string Settings(const std::string& content) {
        std::string path = dir.File("zamri.ini");
        EXPECT_TRUE(WriteFileBytes(path, content));
        return path;
    }
    TempDir dir;
};

TEST_F(ServiceTest, HelpAndVersion) {
    ServiceRun version(dir, "version");
    EXPECT_EQ(0, version.Run({"--version"}));
    EXPECT_EQ("zamri 1.3.0.0\n", ReadFileBytes(version.out));

    ServiceRun help(dir, "help");
    EXPECT_EQ(0, help.Run({"--help"}));
    EXPECT_NE(std::string::npos, ReadFileBytes(help.out).find("--settings FILE"));

    ServiceRun wrong(dir, "wrong");
    EXPECT_EQ(2, wrong.Run({"--serial"}));
    EXPECT_TRUE(wrong.ErrorSays("unknown argument: --serial"));
}

// Lines sent while the service runs reach the overlay on their camera; SIGTERM in the middle
// of a stream of lines stops the server and its worker before the overlay library closes.
TEST_F(ServiceTest, TcpModeDeliversUntilSigtermThenStopsInOrder) {
    int port = FreePort();
    std::string settings = Settings("[Channel]\r\nPORT=" + std::to_string(port) + "\r\n");
    ServiceRun service(dir, "tcp");
    service.Start({"/TCP", "--settings", settings});
    std::string announced = "TCP mode, port " + std::to_string(port);
    ASSERT_TRUE(WaitUntil([&] { return service.ErrorSays(announced); })) << ReadFileBytes(service.err);
    EXPECT_TRUE(service.ErrorSays(settings));

    SendClient client;
    ASSERT_EQ(1, client.Connect("127.0.0.1", port));
    ASSERT_EQ(1, client.OpeningExchange());
    const int lines = 50;
    for (int i = 0; i < lines; ++i) {
        std::string text = "LINE " + std::to_string(i) + "\n";
        ASSERT_EQ(1, client.SendTextLine(3, text.data(), static_cast<int>(text.size())));
    }
    ASSERT_TRUE(WaitUntil([&] { return CountWrites(service.Calls()) == lines; }));
    auto writes = testing_support::ReadOverlayWrites(service.overlay);
    EXPECT_EQ(2, writes.front().numbers[1]);  // camera 3 is channel 2
    EXPECT_EQ("LINE 0", writes.front().text);
    EXPECT_EQ("LINE 49", writes.back().text);

    // A sender that keeps going while the service is told to stop.
    std::atomic<bool> sending{true};
    std::thread sender([&] {
        for (int i = 0; sending && client.SendTextLine(1, "MORE\n", 5) == 1; ++i) {
        }
    });
    ASSERT_TRUE(WaitUntil([&] { return service.Calls().size() > lines + 100u; }));
    kill(service.pid, SIGTERM);
    // The server reads what its clients still send while it stops, so the sender ends once
    // the stop has begun (a sender that never ends would hold the stop up).
    EXPECT_TRUE(WaitUntil([&] { return service.ErrorSays("terminated, stopping"); }));
    sending = false;
    sender.join();
    EXPECT_EQ(0, service.WaitExit());

    std::string err = ReadFileBytes(service.err);
    size_t stopping = err.find("terminated, stopping");
    ASSERT_NE(std::string::npos, stopping) << err;
    EXPECT_NE(std::string::npos, err.find("stopped", stopping + 20)) << err;
    EXPECT_NE(std::string::npos, err.find("zamri: nothing masked (card numbers on, 0 user masks)\n")) << err;
    ExpectOpenedFirstAndClosedLast(service.Calls());
}

// Whether the process blocks SIGTERM yet (from then on it takes the signal as a stop). A
// sanitizer's start-up blocks every signal for a moment before the program's own code runs;
// the program blocks only its stop signals, so SIGHUP still open tells the two apart.
bool BlocksSigterm(pid_t pid) {
    std::string status = ReadFileBytes("/proc/" + std::to_string(pid) + "/status");
    size_t at = status.find("SigBlk:");
    if (at == std::string::npos)
        return false;
    unsigned long long mask = std::stoull(status.substr(at + 7), nullptr, 16);
    return (mask & (1ull << (SIGTERM - 1))) != 0 && (mask & (1ull << (SIGHUP - 1))) == 0;
}

// A mistyped count starts at once with the entries the file holds; a stop asked for while the
// start-up is still under way (here: a slow overlay library) ends it in order.
TEST_F(ServiceTest, StartUpIsBoundedAndHeedsAStop) {
    int port = FreePort();
    std::string settings = Settings("[Channel]\r\nPORT=" + std::to_string(port) +
                                    "\r\n[Important]\r\ncount=2000000000\r\n0=TOTAL\r\n");
    ServiceRun service(dir, "huge");
    service.Start({"--tcp", "--settings", settings});
    ASSERT_TRUE(WaitUntil([&] { return service.ErrorSays("TCP mode"); })) << ReadFileBytes(service.err);
    SendClient client;
    ASSERT_EQ(1, client.Connect("127.0.0.1", port));
    ASSERT_EQ(1, client.OpeningExchange());
    ASSERT_EQ(1, client.SendTextLine(1, "TOTAL 5.00\n", 11));
    ASSERT_TRUE(WaitUntil([&] { return CountWrites(service.Calls()) == 1; }));
    EXPECT_EQ(4, testing_support::ReadOverlayWrites(service.overlay).front().numbers[2]);
    kill(service.pid, SIGTERM);
    EXPECT_EQ(0, service.WaitExit());

    setenv("OVTEXT_OPEN_DELAY_MS", "3000", 1);
    ServiceRun slow(dir, "slow");
    slow.Start({"--tcp", "--settings", settings});
    unsetenv("OVTEXT_OPEN_DELAY_MS");
    ASSERT_TRUE(WaitUntil([&] { return BlocksSigterm(slow.pid); }));
    kill(slow.pid, SIGTERM);
    EXPECT_EQ(0, slow.WaitExit());
    EXPECT_TRUE(slow.ErrorSays("terminated, stopping"));
    EXPECT_FALSE(slow.ErrorSays("TCP mode")) << "capture never started";
    ExpectOpenedFirstAndClosedLast(slow.Calls());
}

TEST_F(ServiceTest, SerialModeIsTheDefaultAndSigintStopsIt) {
    std::string settings = Settings("[Channel]\r\n1=0,COM1,9600,8,0,0,0,0,0,\r\n");
    ServiceRun service(dir, "serial");
    service.Start({"--settings=" + settings});
    ASSERT_TRUE(WaitUntil([&] { return service.ErrorSays("serial mode"); })) << ReadFileBytes(service.err);
    kill(service.pid, SIGINT);
    EXPECT_EQ(0, service.WaitExit());
    EXPECT_TRUE(service.ErrorSays("interrupted, stopping"));
    ExpectOpenedFirstAndClosedLast(service.Calls());
}

// A pseudo-terminal stands for the printer line: what is written to its master side arrives on
// the channel's port. SIGTERM while bytes keep coming stops the capture thread before the
// overlay library closes.
TEST_F(ServiceTest, SerialModeCapturesUntilSigtermThenStopsInOrder) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(0, grantpt(master));
    ASSERT_EQ(0, unlockpt(master));
    std::string port = ptsname(master);
    // Never blocks the feeder below once nobody reads the line any more.
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    // Channel 2: enabled, the pseudo-terminal, 9600 8N1, no flow control, "Text Only", form feed.
    std::string settings = Settings("[Channel]\r\n2=1," + port + ",9600,0,8,0,0,1,0,\r\n");
    ServiceRun service(dir, "serial-capture");
    service.Start({"--settings", settings});
    ASSERT_TRUE(WaitUntil([&] { return service.ErrorSays("channel 2: port " + port + "\n"); }))
        << ReadFileBytes(service.err);

    // The capture thread opens the port on its own time and an opening port may drop what
    // waits in it: feed a line until one arrives, then end that receipt.
    bool ready = false;
    for (int attempt = 0; attempt < 40 && !ready; ++attempt) {
        ASSERT_EQ(7, write(master, "READY\r\n", 7));
        ready = WaitUntil([&] { return CountWrites(service.Calls()) > 0; }, 1000);
    }
    ASSERT_TRUE(ready) << ReadFileBytes(service.err);
    ASSERT_EQ(1, write(master, "\f", 1));
    auto ended = [&] {
        auto all = testing_support::ReadOverlayWrites(service.overlay);
        return !all.empty() && all.back().numbers[2] == 2;
    };
    ASSERT_TRUE(WaitUntil(ended)) << ReadFileBytes(service.overlay);
    size_t base = testing_support::ReadOverlayWrites(service.overlay).size();

    const std::string receipt = "STORE 0042\r\nVISA 4111 1111 1111 1111\r\nTOTAL 1.20\r\n\f";
    ASSERT_EQ(static_cast<ssize_t>(receipt.size()), write(master, receipt.data(), receipt.size()));
    ASSERT_TRUE(WaitUntil([&] { return CountWrites(service.Calls()) >= static_cast<int>(base) + 4; }))
        << ReadFileBytes(service.overlay);
    auto all = testing_support::ReadOverlayWrites(service.overlay);
    std::vector<OverlayCall> writes(all.begin() + static_cast<long>(base), all.end());
    ASSERT_EQ(4u, writes.size());
    EXPECT_EQ("STORE 0042", writes[0].text);
    EXPECT_EQ(1, writes[0].numbers[1]);  // channel index 1
    EXPECT_EQ(1, writes[0].numbers[2]);  // the receipt's first line
    EXPECT_EQ("VISA **** **** **** 1111", writes[1].text);
    EXPECT_EQ("TOTAL 1.20", writes[2].text);
    EXPECT_EQ(0, writes[2].numbers[2]);
    EXPECT_EQ("", writes[3].text);
    EXPECT_EQ(2, writes[3].numbers[2]);  // the form feed ends the receipt

    std::atomic<bool> feeding{true};
    std::thread feeder([&] {
        const char line[] = "MORE\r\n";
        while (feeding) {
            if (write(master, line, sizeof line - 1) < 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    ASSERT_TRUE(WaitUntil([&] { return CountWrites(service.Calls()) > 20; }));
    kill(service.pid, SIGTERM);
    EXPECT_EQ(0, service.WaitExit());
    feeding = false;
    feeder.join();
    close(master);
    EXPECT_TRUE(service.ErrorSays("terminated, stopping"));
    EXPECT_TRUE(service.ErrorSays("zamri: camera 2: 1 card number and 0 user-mask matches masked\n"))
        << ReadFileBytes(service.err);
    ExpectOpenedFirstAndClosedLast(service.Calls());
}

TEST_F(ServiceTest, OneInstancePerSettingsFile) {
    std::string settings = Settings("");
    ServiceRun first(dir, "first");
    first.Start({"--tcp", "--settings", settings});
    ASSERT_TRUE(WaitUntil([&] { return first.ErrorSays("TCP mode"); })) << ReadFileBytes(first.err);

    ServiceRun second(dir, "second");
    EXPECT_EQ(1, second.Run({"--tcp", "--settings", settings}));
    EXPECT_TRUE(second.ErrorSays("another instance is running"));
    EXPECT_FALSE(second.ErrorSays("TCP mode"));
    // Built and torn down like any run, but nothing started.
    auto calls = second.Calls();
    ASSERT_EQ(2u, calls.size());
    ExpectOpenedFirstAndClosedLast(calls);

    // Another settings file is another instance.
    ServiceRun other(dir, "other");
    other.Start({"--tcp", "--settings", dir.File("other.ini")});
    EXPECT_TRUE(WaitUntil([&] { return other.ErrorSays("TCP mode"); })) << ReadFileBytes(other.err);
    kill(other.pid, SIGTERM);
    EXPECT_EQ(0, other.WaitExit());

    kill(first.pid, SIGTERM);
    EXPECT_EQ(0, first.WaitExit());
    // The lock went with the first instance.
    ServiceRun third(dir, "third");
    third.Start({"--tcp", "--settings", settings});
    EXPECT_TRUE(WaitUntil([&] { return third.ErrorSays("TCP mode"); })) << ReadFileBytes(third.err);
    kill(third.pid, SIGTERM);
    EXPECT_EQ(0, third.WaitExit());

    // A lock that cannot be made is reported as such, not as another instance.
    ServiceRun nowhere(dir, "nowhere");
    EXPECT_EQ(1, nowhere.Run({"--tcp", "--settings", dir.File("missing/zamri.ini")}));
    EXPECT_TRUE(nowhere.ErrorSays("cannot open the lock file " + dir.File("missing/zamri.ini.lock")))
        << ReadFileBytes(nowhere.err);
    EXPECT_FALSE(nowhere.ErrorSays("another instance"));
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// A journal folder that cannot be made and a collector that is not there are each reported
// once on standard error, at start-up, while every line still reaches the overlay; by default
// the journal is kept beside the settings file.
TEST_F(ServiceTest, JournalAndExportTroubleIsReportedOnceAndCaptureGoesOn) {
    ASSERT_TRUE(WriteFileBytes(dir.File("blocked"), "a file, not a folder"));
    int port = FreePort();
    std::string settings = Settings("[Channel]\r\nPORT=" + std::to_string(port) +
                                    "\r\n[Options]\r\nJournal=" + dir.File("blocked/journal") +
                                    "\r\nSyslog=tcp://127.0.0.1:" + std::to_string(FreePort()) + "\r\n");
    ServiceRun service(dir, "trouble");
    service.Start({"--tcp", "--settings", settings});
    // Shown at start-up, before any line asks for the journal or the collector.
    ASSERT_TRUE(WaitUntil([&] {
        return service.ErrorSays("Journal: cannot") && service.ErrorSays("Syslog: cannot reach") &&
               service.ErrorSays("TCP mode");
    })) << ReadFileBytes(service.err);
    SendClient client;
    ASSERT_EQ(1, client.Connect("127.0.0.1", port));
    ASSERT_EQ(1, client.OpeningExchange());
    const int lines = 200;
    for (int i = 0; i < lines; ++i) {
        std::string text = "LINE " + std::to_string(i) + "\n";
        ASSERT_EQ(1, client.SendTextLine(1 + i % 4, text.data(), static_cast<int>(text.size())));
    }
    ASSERT_TRUE(WaitUntil([&] { return CountWrites(service.Calls()) == lines; }));
    kill(service.pid, SIGTERM);
    EXPECT_EQ(0, service.WaitExit());
    std::string err = ReadFileBytes(service.err);
    EXPECT_EQ(1u, Count(err, "Journal: cannot")) << err;
    EXPECT_EQ(1u, Count(err, "Syslog: cannot reach")) << err;
    EXPECT_EQ(1u, Count(err, "Journal: " + std::to_string(lines) + " lines were not written")) << err;

    std::string plain = Settings("[Channel]\r\nPORT=" + std::to_string(port) + "\r\n");
    ServiceRun kept(dir, "kept");
    kept.Start({"--tcp", "--settings", plain});
    ASSERT_TRUE(WaitUntil([&] { return kept.ErrorSays("TCP mode"); })) << ReadFileBytes(kept.err);
    SendClient again;
    ASSERT_EQ(1, again.Connect("127.0.0.1", port));
    ASSERT_EQ(1, again.OpeningExchange());
    ASSERT_EQ(1, again.SendTextLine(7, "K\xC4SE 2.40\n", 11));
    ASSERT_TRUE(WaitUntil([&] { return CountWrites(kept.Calls()) == 1; }));
    kill(kept.pid, SIGTERM);
    EXPECT_EQ(0, kept.WaitExit());
    EXPECT_FALSE(kept.ErrorSays("Journal:")) << ReadFileBytes(kept.err);
    std::string journal;
    for (const auto& entry : std::filesystem::directory_iterator(dir.File("journal")))
        journal += ReadFileBytes(entry.path().string());
    EXPECT_NE(std::string::npos, journal.find("\"camera\":7")) << journal;
    EXPECT_NE(std::string::npos, journal.find("K\xC3\x84SE 2.40")) << journal;
}

// A language file beside the program that has a general section without "title" ends the
// program at once, silently, with exit code 0.
TEST_F(ServiceTest, LanguageWithoutTitleEndsSilently) {
    std::string copy = dir.File("zamri");
    std::filesystem::copy_file(ZAMRI_SERVICE_PATH, copy);
    ASSERT_TRUE(WriteFileBytes(dir.File("zamri.lng"), "version=Version\n[Menu]\nexit=Quit\n"));
    ServiceRun service(dir, "notitle", copy);
    EXPECT_EQ(0, service.Run({"--tcp"}));
    EXPECT_EQ("", ReadFileBytes(service.err));
    ExpectOpenedFirstAndClosedLast(service.Calls());
    EXPECT_EQ(2u, service.Calls().size());

    // With a title the same copy runs (and reads its settings beside itself).
    ASSERT_TRUE(WriteFileBytes(dir.File("zamri.lng"), "title=zamri\n"));
    ServiceRun titled(dir, "titled", copy);
    titled.Start({"--tcp"});
    EXPECT_TRUE(WaitUntil([&] { return titled.ErrorSays(dir.File("zamri.ini")); }))
        << ReadFileBytes(titled.err);
    kill(titled.pid, SIGTERM);
    EXPECT_EQ(0, titled.WaitExit());
}

}  // namespace
