// Syslog export to a real rsyslog, started here on a free loopback port with a private
// configuration (the system's own rsyslog is never touched): every line arrives, well formed,
// over TCP and UDP; a collector stopped and started again loses nothing while the buffer holds,
// and what overflows is counted and reported; a till's CR LF never makes a record of its own.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "codepage/code_page.h"
#include "export/syslog_sink.h"
#include "net/socket_seam.h"
#include "platform/os.h"
#include "support/free_port.h"
#include "support/temp_dir.h"
#include "support/wait.h"

using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WaitUntil;
using testing_support::WriteFileBytes;

namespace {

const char kRsyslogd[] = "/usr/sbin/rsyslogd";

// A port free for rsyslog's TCP and UDP listeners alike.
int FreePort() {
    return testing_support::FreePort(testing_support::PortUse::kBoth);
}

class Rsyslog {
  public:
    // globals: more parameters of rsyslog's global() statement.
    Rsyslog(const TempDir& dir, int port, const std::string& globals = "") : dir(dir), port(port) {
        output = dir.File("received.log");
        std::string conf = "global(workDirectory=\"" + dir.Path() + "\"" + globals +
                           ")\n"
                           "module(load=\"imtcp\")\n"
                           "module(load=\"imudp\")\n"
                           "input(type=\"imtcp\" address=\"127.0.0.1\" port=\"" +
                           std::to_string(port) +
                           "\")\n"
                           "input(type=\"imudp\" address=\"127.0.0.1\" port=\"" +
                           std::to_string(port) +
                           "\")\n"
                           "template(name=\"fields\" type=\"string\" string=\"%protocol-version%|"
                           "%timereported:::date-rfc3339%|%hostname%|%app-name%|%procid%|%msgid%|"
                           "%pri%|%structured-data%|%msg%\\n\")\n"
                           "action(type=\"omfile\" file=\"" +
                           output + "\" template=\"fields\")\n";
        WriteFileBytes(dir.File("rsyslog.conf"), conf);
    }
    ~Rsyslog() { Stop(); }

    bool Start() {
        std::string conf = dir.File("rsyslog.conf");
        std::string pidFile = dir.File("rsyslogd.pid");
        pid = fork();
        if (pid == 0) {
            execl(kRsyslogd, kRsyslogd, "-n", "-f", conf.c_str(), "-i", pidFile.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        // Ready when it accepts a connection.
        return WaitUntil([&] {
            zamri::SocketHandle s = zamri::SocketConnect("127.0.0.1", port);
            if (s == zamri::kInvalidSocket)
                return false;
            zamri::SocketClose(s);
            return true;
        });
    }
    void Stop() {
        if (pid <= 0)
            return;
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
    }
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::string bytes = ReadFileBytes(output);
        size_t start = 0, end;
        while ((end = bytes.find('\n', start)) != std::string::npos) {
            lines.push_back(bytes.substr(start, end - start));
            start = end + 1;
        }
        return lines;
    }

  private:
    const TempDir& dir;
    int port;
    std::string output;
    pid_t pid = -1;
};

DeliveredLine Line(int n, const char* text) {
    DeliveredLine line;
    line.utcMilliseconds = 1765198931300 + n;  // 2025-12-08T13:02:11.300Z
    line.utcOffsetMinutes = 60;
    line.camera = 1 + n % 32;
    line.flags = n % 5 == 4 ? 2 : 0;
    line.receipt = static_cast<uint32_t>(1 + n / 5);
    line.source = n % 2 ? "COM3" : "10.1.2.3";
    line.text = std::string(text) + " " + std::to_string(n);
    AppendWindowsAsUtf8(1252, line.text.data(), line.text.size(), &line.utf8);  // as delivered
    return line;
}

// What rsyslog must have written for line n.
std::string Expected(int n, const char* text) {
    DeliveredLine line = Line(n, "");
    char ms[16];
    std::snprintf(ms, sizeof ms, "%03d", 300 + n);
    return std::string("1|2025-12-08T14:02:11.") + ms + "+01:00|" + zamri::ComputerName() + "|zamri|" +
           std::to_string(getpid()) + "|line|134|[zamri@32473 camera=\"" + std::to_string(line.camera) +
           "\" flags=\"" + std::to_string(line.flags) + "\" receipt=\"" + std::to_string(line.receipt) +
           "\" source=\"" + line.source + "\"]|" + text + " " + std::to_string(n);
}

class RsyslogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (access(kRsyslogd, X_OK) != 0)
            GTEST_SKIP() << "rsyslog is not installed";
        port = FreePort();
        collector.reset(new Rsyslog(dir, port));
        ASSERT_TRUE(collector->Start());
    }
    std::shared_ptr<zamri::SyslogSink> Sink(bool udp, int buffer) {
        auto sink = std::make_shared<zamri::SyslogSink>(zamri::SyslogCollector{udp, "127.0.0.1", port},
                                                        buffer, [&](const std::string& m) {
                                                            std::lock_guard<std::mutex> guard(lock);
                                                            trouble.push_back(m);
                                                        });
        EXPECT_EQ(sink->Start(), 1);
        return sink;
    }
    std::vector<std::string> Trouble() {
        std::lock_guard<std::mutex> guard(lock);
        return trouble;
    }
    bool Received(size_t n) {
        return WaitUntil([&] { return collector->Lines().size() >= n; }, 30000);
    }

    TempDir dir;
    int port = 0;
    std::unique_ptr<Rsyslog> collector;
    std::mutex lock;
    std::vector<std::string> trouble;
};

TEST_F(RsyslogTest, EveryLineArrivesWellFormedOverTcpAndUdp) {
    auto tcp = Sink(false, 1000);
    for (int n = 0; n < 300; ++n)
        tcp->Accept(Line(n, "Bi\xE8re"));
    ASSERT_TRUE(Received(300));
    auto udp = Sink(true, 1000);
    for (int n = 300; n < 400; ++n) {
        udp->Accept(Line(n, "UDP"));
        // Datagrams are not held back by the receiver: pace them so none is dropped unread.
        if (n % 20 == 0)
            WaitUntil([&] { return collector->Lines().size() >= static_cast<size_t>(n - 10); });
    }
    ASSERT_TRUE(Received(400));
    auto lines = collector->Lines();
    for (int n = 0; n < 400; ++n)
        ASSERT_EQ(lines[n], Expected(n, n < 300 ? "Bi\xC3\xA8re" : "UDP")) << n;
    EXPECT_TRUE(Trouble().empty());
}

TEST_F(RsyslogTest, ACollectorStoppedAndStartedAgainLosesNothingWhileTheBufferHolds) {
    auto sink = Sink(false, 1000);
    for (int n = 0; n < 100; ++n)
        sink->Accept(Line(n, "BEFORE"));
    ASSERT_TRUE(Received(100));
    collector->Stop();
    for (int n = 100; n < 600; ++n)
        sink->Accept(Line(n, "WHILE AWAY"));
    ASSERT_TRUE(WaitUntil([&] { return !Trouble().empty(); }));
    ASSERT_TRUE(collector->Start());
    ASSERT_TRUE(Received(600));
    auto lines = collector->Lines();
    ASSERT_EQ(lines.size(), 600u);
    for (int n = 0; n < 600; ++n)
        ASSERT_EQ(lines[n], Expected(n, n < 100 ? "BEFORE" : "WHILE AWAY")) << n;
    ASSERT_TRUE(WaitUntil([&] { return Trouble().size() >= 2; }));
    auto messages = Trouble();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_NE(messages[0].find("cannot reach the collector tcp://127.0.0.1:"), std::string::npos)
        << messages[0];
    EXPECT_NE(messages[1].find("is back"), std::string::npos) << messages[1];
    EXPECT_EQ(messages[1].find("did not fit"), std::string::npos) << messages[1];
    EXPECT_EQ(sink->DroppedLines(), 0u);
}

TEST_F(RsyslogTest, WhatOverflowsTheBufferIsCountedAndReported) {
    collector->Stop();
    auto sink = Sink(false, 10);
    // The worker holds the first line while the collector is away; 9 more fit beside it.
    sink->Accept(Line(0, "HELD"));
    ASSERT_TRUE(WaitUntil([&] { return !Trouble().empty(); }));
    for (int n = 1; n < 100; ++n)
        sink->Accept(Line(n, "HELD"));
    EXPECT_EQ(sink->DroppedLines(), 90u);
    ASSERT_TRUE(collector->Start());
    ASSERT_TRUE(Received(10));
    ASSERT_TRUE(WaitUntil([&] { return Trouble().size() >= 2; }));
    EXPECT_NE(Trouble()[1].find("90 lines did not fit in the export buffer and were not sent"),
              std::string::npos)
        << Trouble()[1];
    auto lines = collector->Lines();
    ASSERT_EQ(lines.size(), 10u);
    for (int n = 0; n < 10; ++n)
        EXPECT_EQ(lines[n], Expected(n, "HELD"));
    sink->Stop();
    EXPECT_EQ(sink->UnsentLines(), 90u);
}

TEST_F(RsyslogTest, ControlCharactersNeverSplitARecordEvenWhenTheCollectorKeepsThem) {
    // A collector that keeps control characters as they come, as some are set up to.
    TempDir rawDir;
    int rawPort = FreePort();
    Rsyslog raw(rawDir, rawPort, " parser.escapeControlCharactersOnReceive=\"off\"");
    ASSERT_TRUE(raw.Start());
    const char kForged[] = "PAID\r\n<134>1 2025-12-08T14:02:11.300+01:00 till zamri 1 line - REFUND\t999";
    auto send = [&](bool udp) {
        auto sink = std::make_shared<zamri::SyslogSink>(zamri::SyslogCollector{udp, "127.0.0.1", rawPort},
                                                        100, nullptr);
        ASSERT_EQ(sink->Start(), 1);
        for (int n = 0; n < 10; ++n)
            sink->Accept(Line(n, kForged));
        sink->Stop(10000);
    };
    send(false);
    ASSERT_TRUE(WaitUntil([&] { return raw.Lines().size() >= 10; }, 30000));
    send(true);
    ASSERT_TRUE(WaitUntil([&] { return raw.Lines().size() >= 20; }, 30000));
    auto lines = raw.Lines();
    ASSERT_EQ(lines.size(), 20u);
    for (int n = 0; n < 20; ++n)
        EXPECT_EQ(lines[n], Expected(n % 10,
                                     "PAID#015#012<134>1 2025-12-08T14:02:11.300+01:00 till zamri 1 line - "
                                     "REFUND#011999"))
            << n;
}

}  // namespace
