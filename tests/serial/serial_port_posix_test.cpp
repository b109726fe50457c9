// The termios backend on pseudo-terminals, the recorder's setting file on Linux, and a channel
// whose cable is pulled out and plugged in again.
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_threads.h"
#include "codepage/hebrew_setting.h"
#include "platform/os.h"
#include "printer_line.h"
#include "program/program.h"
#include "serial/serial_capture.h"
#include "serial/serial_line_settings_posix.h"
#include "serial/serial_port.h"
#include "support/overlay_log.h"
#include "support/temp_dir.h"
#include "support/wait.h"

extern char** environ;

using testing_support::WaitUntil;

namespace {

struct Pty {
    Pty() {
        char path[256];
        if (openpty(&master, &slave, path, nullptr, nullptr) == 0)
            name = path;
        termios raw;
        tcgetattr(master, &raw);
        cfmakeraw(&raw);
        tcsetattr(master, TCSANOW, &raw);
    }
    ~Pty() {
        if (master >= 0)
            close(master);
        if (slave >= 0)
            close(slave);
    }
    void Send(const std::string& bytes) {
        ASSERT_EQ(write(master, bytes.data(), bytes.size()), (ssize_t)bytes.size());
    }
    int master = -1;
    int slave = -1;
    std::string name;
};

TEST(PosixSerialPort, MapsTheLineSettingsToTermios) {
    struct Case {
        int baud, parity, bits, stop, flow;
        speed_t speed;
        tcflag_t size, parityFlags, stopFlag, hardwareFlow, softwareFlow;
    };
    const Case cases[] = {
        {9600, 0, 8, 0, 0, B9600, CS8, 0, 0, 0, 0},
        {4800, 1, 7, 2, 2, B4800, CS7, PARENB | PARODD, CSTOPB, CRTSCTS, 0},
        {19200, 2, 6, 0, 4, B19200, CS6, PARENB, 0, 0, IXON | IXOFF},
        {115200, 3, 5, 1, 7, B115200, CS5, PARENB | PARODD | CMSPAR, CSTOPB, CRTSCTS, IXON | IXOFF},
        {1200, 4, 0x108, 0, 1, B1200, CS8, PARENB | CMSPAR, 0, 0, 0},  // only the low eight bits count
    };
    for (const Case& c : cases) {
        SerialPort port;
        port.Configure("/dev/null", c.baud, c.parity, c.bits, c.stop, c.flow, 0);
        termios settings = {};
        settings.c_lflag = ICANON | ECHO | ISIG;
        settings.c_iflag = ICRNL | IXON;
        settings.c_oflag = OPOST;
        settings.c_cflag = PARENB | CS7;
        ASSERT_TRUE(MakeLineSettings(port, &settings)) << c.baud;
        EXPECT_EQ(cfgetispeed(&settings), c.speed);
        EXPECT_EQ(cfgetospeed(&settings), c.speed);
        EXPECT_EQ(settings.c_cflag & CSIZE, c.size) << c.bits;
        EXPECT_EQ(settings.c_cflag & (PARENB | PARODD | CMSPAR), c.parityFlags) << c.parity;
        EXPECT_EQ(settings.c_cflag & CSTOPB, c.stopFlag);
        EXPECT_EQ(settings.c_cflag & CRTSCTS, c.hardwareFlow);
        EXPECT_EQ(settings.c_cflag & (CLOCAL | CREAD), CLOCAL | CREAD);
        EXPECT_EQ(settings.c_iflag & (IXON | IXOFF), c.softwareFlow);
        EXPECT_EQ(settings.c_iflag & ICRNL, 0u);
        EXPECT_EQ(settings.c_iflag & (INPCK | PARMRK | IGNPAR | ISTRIP),
                  static_cast<tcflag_t>(INPCK | PARMRK));
        EXPECT_EQ(settings.c_cc[VSTART], 0x11);
        EXPECT_EQ(settings.c_cc[VSTOP], 0x13);
        EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(settings.c_oflag & OPOST, 0u);
    }
    SerialPort other;
    other.Configure("/dev/null", 14400, 0, 8, 0, 0, 0);
    termios settings = {};
    EXPECT_FALSE(MakeLineSettings(other, &settings));  // set through termios2 instead
}

TEST(PosixSerialPort, SetsTheSettingsOnTheDevice) {
    // A pseudo-terminal keeps speed, stop bits, flow control and the parity kind (it forces
    // eight bits without parity), which is enough to see that the settings reach the device.
    Pty pty;
    SerialPort port;
    port.Configure(pty.name.c_str(), 4800, 3, 7, 2, 6, 0);
    ASSERT_EQ(port.Open(), 1);
    termios seen;
    ASSERT_EQ(tcgetattr(pty.slave, &seen), 0);
    EXPECT_EQ(cfgetispeed(&seen), static_cast<speed_t>(B4800));
    EXPECT_EQ(seen.c_cflag & (PARODD | CMSPAR | CSTOPB | CRTSCTS), PARODD | CMSPAR | CSTOPB | CRTSCTS);
    EXPECT_EQ(seen.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
    EXPECT_EQ(seen.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(port.Close(), 1);
    port.Configure(pty.name.c_str(), 14400, 0, 8, 0, 0, 0);  // no termios constant
    EXPECT_EQ(port.Open(), 1);
}

TEST(PosixSerialPort, RefusesRatesItCannotSetAndDevicesThatAreNoTerminal) {
    Pty pty;
    SerialPort port;
    port.Configure(pty.name.c_str(), 0, 0, 8, 0, 0, 0);
    EXPECT_EQ(port.Open(), 0);
    port.Configure(pty.name.c_str(), -9600, 0, 8, 0, 0, 0);
    EXPECT_EQ(port.Open(), 0);
    port.Configure("/dev/null", 9600, 0, 8, 0, 0, 0);
    EXPECT_EQ(port.Open(), 0);
    EXPECT_EQ(port.IsOpen(), 0);
}

TEST(PosixSerialPort, OpensExclusivelyAndExactlyOneOfTwoClosersTearsDown) {
    Pty pty;
    SerialPort first;
    SerialPort second;
    first.Configure(pty.name.c_str(), 9600, 0, 8, 0, 0, 0);
    second.Configure(pty.name.c_str(), 9600, 0, 8, 0, 0, 0);
    ASSERT_EQ(first.Open(), 1);
    EXPECT_EQ(second.Open(), 0);
    EXPECT_EQ(first.Close(), 1);
    EXPECT_EQ(first.Close(), 0);
    ASSERT_EQ(second.Open(), 1);
    EXPECT_EQ(second.Close(), 1);

    for (int round = 0; round < 100; ++round) {
        ASSERT_EQ(first.Open(), 1);
        std::atomic<int> closed{0};
        std::thread a([&] { closed += first.Close(); });
        std::thread b([&] { closed += first.Close(); });
        a.join();
        b.join();
        ASSERT_EQ(closed.load(), 1);
    }
}

TEST(PosixSerialPort, ReadsExactCountsAndEndsOnStopTimeOutAndHangUp) {
    Pty pty;
    SerialPort port;
    port.Configure(pty.name.c_str(), 9600, 0, 8, 0, 0, 0);
    ASSERT_EQ(port.Open(), 1);
    pty.Send("abc\n\x1b\xff");
    unsigned char bytes[6];
    ASSERT_EQ(port.ReadBytes(bytes, 6), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 6), "abc\n\x1b\xff");
    ASSERT_EQ(port.WriteBytes("\x11xyz\n", 5), 1);  // raw: no flow-control or line-end mapping
    char echoed[5];
    ASSERT_EQ(read(pty.master, echoed, sizeof echoed), 5);
    EXPECT_EQ(std::string(echoed, 5), "\x11xyz\n");

    // A pending read on a silent line gives up when a stop is requested.
    std::atomic<int> result{-1};
    std::thread reader([&] { result = port.ReadBytes(bytes, 1); });
    port.RequestStop();
    ASSERT_TRUE(WaitUntil([&] { return result.load() != -1; }));
    reader.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(port.LastReadFailed(), 0);
    port.Close();

    SerialPort timed;
    timed.Configure(pty.name.c_str(), 9600, 0, 8, 0, 0, 60);
    ASSERT_EQ(timed.Open(), 1);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(timed.ReadBytes(bytes, 1), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
    EXPECT_EQ(timed.LastReadFailed(), 0);

    close(pty.master);  // the far end goes away
    pty.master = -1;
    EXPECT_EQ(timed.ReadBytes(bytes, 1), 0);
    EXPECT_EQ(timed.LastReadFailed(), 1);
}

TEST(PosixSerialPort, MarksBadBytesWithoutChangingWhatIsRead) {
    Pty pty;
    SerialPort port;
    port.Configure(pty.name.c_str(), 9600, 0, 8, 0, 0, 1000);
    ASSERT_EQ(port.Open(), 1);
    // A pseudo-terminal has no line to garble a byte, so the driver's markings are written by
    // hand: with PARMRK off on the device (set through the far end) bytes pass as sent.
    termios device;
    ASSERT_EQ(tcgetattr(pty.master, &device), 0);
    device.c_iflag &= ~PARMRK;
    ASSERT_EQ(tcsetattr(pty.master, TCSANOW, &device), 0);
    pty.Send(
        std::string("a\xff\x00"
                    "b\xff\xff"
                    "c\xff\x00\x00"
                    "d",
                    11));
    ReceivedByte marked[16];
    int got = 0;
    while (got < 6) {
        int n = port.ReadMarked(marked + got, 16 - got);
        ASSERT_GT(n, 0) << got;
        got += n;
    }
    const ReceivedByte expected[] = {
        {'a', 0}, {'b', kMarkFramingOrParity}, {0xFF, 0}, {'c', 0}, {0, kMarkBreak}, {'d', 0}};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(marked[i], expected[i]) << i;
    SerialErrorCounts counts = port.ErrorCounts();
    EXPECT_EQ(counts.framing, 2u);  // the marked byte and the break
    EXPECT_EQ(counts.parity, 1u);
    EXPECT_EQ(counts.overrun, 0u);

    // What capture reads: the marked byte's data byte, the break as a NUL, a 0xFF whole.
    pty.Send(
        std::string("\xff\x00"
                    "e\xff\xff\xff\x00\x00",
                    8));
    unsigned char bytes[3];
    ASSERT_EQ(port.ReadBytes(bytes, 3), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 3), std::string("e\xff\x00", 3));
    EXPECT_EQ(port.ErrorCounts().framing, 4u);
}

TEST(HebrewSetting, FollowsTheFileWithoutReadingItForEveryByte) {
    testing_support::TempDir dir;
    std::string path = dir.File("ruvo.ini");
    HebrewSetting setting;
    EXPECT_EQ(setting.Current(), 0);
    setting.SetPath(path.c_str());
    EXPECT_EQ(setting.Current(), 0);  // no file
    ASSERT_TRUE(testing_support::WriteFileBytes(path, "[generic]\npos_hebrew=1\n"));
    EXPECT_TRUE(WaitUntil([&] { return setting.Current() == 1; }));
    ASSERT_TRUE(testing_support::WriteFileBytes(path, "[Generic]\nPOS_HEBREW = 0\n"));
    EXPECT_TRUE(WaitUntil([&] { return setting.Current() == 0; }));
    ASSERT_TRUE(testing_support::WriteFileBytes(path, "[generic]\npos_hebrew=1\n"));
    EXPECT_TRUE(WaitUntil([&] { return setting.Current() == 1; }));
    std::remove(path.c_str());
    EXPECT_TRUE(WaitUntil([&] { return setting.Current() == 0; }));
}

TEST(RecorderSettingsPath, IsBesideTheSettingsFileUnlessTheEnvironmentNamesOne) {
    char out[zamri::kMaxPath];
    testing_support::SetEnv("ZAMRI_RECORDER_INI", nullptr);
    ASSERT_EQ(RecorderSettingsPath("/opt/zamri/zamri.ini", out, sizeof out), 1);
    EXPECT_STREQ(out, "/opt/zamri/ruvo.ini");
    ASSERT_EQ(RecorderSettingsPath("/zamri.ini", out, sizeof out), 1);
    EXPECT_STREQ(out, "/ruvo.ini");
    ASSERT_EQ(RecorderSettingsPath("zamri.ini", out, sizeof out), 1);
    EXPECT_STREQ(out, "./ruvo.ini");
    testing_support::SetEnv("ZAMRI_RECORDER_INI", "/etc/recorder/ruvo.ini");
    ASSERT_EQ(RecorderSettingsPath("/opt/zamri/zamri.ini", out, sizeof out), 1);
    EXPECT_STREQ(out, "/etc/recorder/ruvo.ini");
    testing_support::SetEnv("ZAMRI_RECORDER_INI", nullptr);
    char tiny[8];
    EXPECT_EQ(RecorderSettingsPath("/opt/zamri/zamri.ini", tiny, sizeof tiny), 0);
}

// ---------------------------------------------------------------------------------------------
// Unplugging and replugging

class Replug : public ::testing::Test {
  protected:
    void SetUp() override {
        testing_support::SetEnv("ZAMRI_RECORDER_INI", nullptr);
        table.SetSettingsPath(dir.File("zamri.ini").c_str());
    }
    void TearDown() override { table.StopCapture(); }

    bool WaitLine(const std::string& text) {
        return WaitUntil([&] {
            for (const auto& call : overlay.Writes()) {
                if (call.text == text)
                    return true;
            }
            return false;
        });
    }

    testing_support::TempDir dir;
    testing_support::OverlayLogFile overlay;
    zamri::Program program;
    ChannelTable& table = program.Table();
};

TEST_F(Replug, AChannelWhoseLineIsPulledOutKeepsWaitingAndStillStopsInTime) {
    testing_support::PrinterLine line;
    ASSERT_TRUE(line.Available());
    ChannelConfig& record = table.channels[3];
    ChannelRun& run = program.Capture().runs[3];
    record.enabled = 1;
    std::snprintf(record.portName, sizeof record.portName, "%s", line.PortName().c_str());
    table.StartCapture();
    ASSERT_TRUE(WaitUntil([&] {
        SerialCapture* capture = run.capture.load();
        return capture != nullptr && capture->IsOpen();
    }));
    ASSERT_TRUE(line.Write("FIRST\nHALF A LI"));
    ASSERT_TRUE(WaitLine("FIRST"));
    ASSERT_TRUE(line.Unplug());
    // After a second of failures the dead port is closed and reopening starts; the thread
    // stays with its record all along.
    ASSERT_TRUE(WaitUntil([&] { return !run.capture.load()->IsOpen(); }));
    EXPECT_NE(run.thread.load(), nullptr);
    int abandoned = AbandonedCaptureThreads();
    table.StopCapture();
    EXPECT_EQ(run.thread.load(), nullptr);
    EXPECT_EQ(AbandonedCaptureThreads(), abandoned);  // it heeded the stop within the limit
    EXPECT_EQ(overlay.Writes().size(), 1u);           // the half line is never delivered
}

// socat makes a pseudo-terminal pair with fixed link names: the channel reads one link, the
// test writes into the other. Stopping socat pulls the cable; starting it again under the same
// names plugs it back in.
class Socat {
  public:
    Socat(const std::string& captureLink, const std::string& feedLink)
        : captureLink_(captureLink), feedLink_(feedLink) {}
    ~Socat() { Stop(); }

    bool Start() {
        std::string a = "pty,raw,echo=0,link=" + captureLink_;
        std::string b = "pty,raw,echo=0,link=" + feedLink_;
        const char* argv[] = {"socat", a.c_str(), b.c_str(), nullptr};
        if (posix_spawnp(&pid_, "socat", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
            pid_ = -1;
            return false;
        }
        struct stat info;
        if (!WaitUntil([&] {
                return stat(captureLink_.c_str(), &info) == 0 && stat(feedLink_.c_str(), &info) == 0;
            })) {
            return false;
        }
        feed_ = open(feedLink_.c_str(), O_RDWR | O_NOCTTY);
        return feed_ >= 0;
    }

    void Stop() {
        if (feed_ >= 0)
            close(feed_);
        feed_ = -1;
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status;
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
    }

    bool Write(const std::string& bytes) {
        return feed_ >= 0 && write(feed_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

  private:
    std::string captureLink_;
    std::string feedLink_;
    pid_t pid_ = -1;
    int feed_ = -1;
};

bool HaveSocat() {
    return std::system("command -v socat >/dev/null 2>&1") == 0;
}

TEST_F(Replug, LinesFlowAgainWhenTheDeviceComesBackUnderItsName) {
    if (!HaveSocat())
        GTEST_SKIP() << "socat is not installed";
    std::string captureLink = dir.File("printer");
    Socat socat(captureLink, dir.File("till"));
    ASSERT_TRUE(socat.Start());
    ChannelConfig& record = table.channels[0];
    ChannelRun& run = program.Capture().runs[0];
    record.enabled = 1;
    std::snprintf(record.portName, sizeof record.portName, "%s", captureLink.c_str());
    table.StartCapture();
    ASSERT_TRUE(WaitUntil([&] {
        SerialCapture* capture = run.capture.load();
        return capture != nullptr && capture->IsOpen();
    }));
    ASSERT_TRUE(socat.Write("BEFORE\nCUT OFF IN THE MID"));
    ASSERT_TRUE(WaitLine("BEFORE"));
    socat.Stop();
    ASSERT_TRUE(WaitUntil([&] { return !run.capture.load()->IsOpen(); }));
    ASSERT_TRUE(socat.Start());
    // The reopen comes within a second or so; what is sent before it is discarded by the open.
    int sent = 0;
    ASSERT_TRUE(WaitUntil([&] {
        socat.Write("PING " + std::to_string(sent++) + "\n");
        zamri::SleepMilliseconds(50);
        return overlay.Writes().size() >= 2;
    }));
    ASSERT_TRUE(socat.Write("AGAIN\n"));
    ASSERT_TRUE(WaitLine("AGAIN"));
    // The half line from before the unplug is dropped, not joined to what came after.
    EXPECT_EQ(overlay.Writes()[1].text.rfind("PING ", 0), 0u) << overlay.Writes()[1].text;
    EXPECT_NE(run.thread.load(), nullptr);
}

}  // namespace
