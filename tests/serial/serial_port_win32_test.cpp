// The Win32 backend's time-outs and line settings, and its reads through a COM port that the
// test script mapped to a pseudo-terminal.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/os.h"
#include "printer_line.h"
#include "serial/serial_port.h"
#include "serial/serial_port_settings_win32.h"
#include "support/wait.h"

using testing_support::WaitUntil;

namespace {

TEST(Win32SerialPort, TimeOutsCompleteAOneByteReadAtOnceOrAfterASecond) {
    struct Case {
        int baud;
        DWORD writeMultiplier;
    };
    for (Case c :
         {Case{1200, 16}, Case{9600, 2}, Case{14400, 1}, Case{19200, 1}, Case{38400, 0}, Case{115200, 0}}) {
        SerialPort port;
        port.Configure("COM1", c.baud, 0, 8, 0, 0, 0);
        COMMTIMEOUTS timeouts = {};
        MakePortTimeouts(port, &timeouts);
        EXPECT_EQ(timeouts.ReadIntervalTimeout, MAXDWORD);
        EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 0u);
        EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 1000u);
        EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, c.writeMultiplier) << c.baud;
        EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 0u);
    }
}

TEST(Win32SerialPort, LineSettingsFillTheirFieldsAndLeaveTheRest) {
    struct Case {
        int parity, bits, stop, flow;
        DWORD dtr, rts;
        DWORD softwareFlow;
    };
    const Case cases[] = {
        {0, 8, 0, 0, DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE, 0},
        {3, 7, 1, 7, DTR_CONTROL_HANDSHAKE, RTS_CONTROL_HANDSHAKE, 1},
        {4, 5, 2, 2, DTR_CONTROL_ENABLE, RTS_CONTROL_HANDSHAKE, 0},
        {1, 0x106, 0, 1, DTR_CONTROL_HANDSHAKE, RTS_CONTROL_ENABLE, 0},  // low eight bits only
    };
    for (const Case& c : cases) {
        SerialPort port;
        port.Configure("COM3", 4800, c.parity, c.bits, c.stop, c.flow, 0);
        DCB dcb = {};
        dcb.DCBlength = sizeof dcb;
        dcb.fOutxCtsFlow = 1;  // output flow control stays as the device had it
        dcb.fOutxDsrFlow = 1;
        dcb.EofChar = 0x1A;
        MakePortState(port, &dcb);
        EXPECT_EQ(dcb.BaudRate, 4800u);
        EXPECT_EQ(dcb.ByteSize, static_cast<BYTE>(c.bits));
        EXPECT_EQ(dcb.Parity, c.parity);
        EXPECT_EQ(dcb.StopBits, c.stop);
        EXPECT_EQ(dcb.fBinary, 1u);
        EXPECT_EQ(dcb.fParity, 1u);
        EXPECT_EQ(dcb.fDtrControl, c.dtr) << c.flow;
        EXPECT_EQ(dcb.fRtsControl, c.rts) << c.flow;
        EXPECT_EQ(dcb.fOutX, c.softwareFlow);
        EXPECT_EQ(dcb.fInX, c.softwareFlow);
        EXPECT_EQ(dcb.XonChar, 0x11);
        EXPECT_EQ(dcb.XoffChar, 0x13);
        EXPECT_EQ(dcb.XonLim, 100);
        EXPECT_EQ(dcb.XoffLim, 100);
        EXPECT_EQ(dcb.fOutxCtsFlow, 1u);
        EXPECT_EQ(dcb.fOutxDsrFlow, 1u);
        EXPECT_EQ(dcb.EofChar, 0x1A);
    }
}

TEST(Win32SerialPort, ReadsAndEndsOnStopAndTimeOutOverAMappedPort) {
    testing_support::PrinterLine line;
    if (!line.Available())
        GTEST_SKIP() << "no COM port mapped";
    SerialPort port;
    port.Configure(line.PortName().c_str(), 9600, 0, 8, 0, 0, 0);
    ASSERT_EQ(port.Open(), 1);
    ASSERT_TRUE(line.Write("abc\x1b\xff"));
    unsigned char bytes[5];
    ASSERT_EQ(port.ReadBytes(bytes, 5), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 5), "abc\x1b\xff");

    // Longer than the 1000 ms read constant: the read is re-issued until the stop comes, on
    // Windows after an empty completion, under wine after its ERROR_TIMEOUT completion.
    std::atomic<int> result{-1};
    std::thread reader([&] { result = port.ReadBytes(bytes, 1); });
    zamri::SleepMilliseconds(1300);
    EXPECT_EQ(result.load(), -1);
    port.RequestStop();
    ASSERT_TRUE(WaitUntil([&] { return result.load() != -1; }));
    reader.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(port.LastReadFailed(), 0);
    EXPECT_EQ(port.Close(), 1);
    EXPECT_EQ(port.Close(), 0);

    SerialPort timed;
    timed.Configure(line.PortName().c_str(), 9600, 0, 8, 0, 0, 200);
    ASSERT_EQ(timed.Open(), 1);
    EXPECT_EQ(timed.ReadBytes(bytes, 1), 0);
    EXPECT_EQ(timed.LastReadFailed(), 0);
}

}  // namespace
