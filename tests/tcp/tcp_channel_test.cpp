// TCP mode end to end: lines sent over loopback reach the overlay library substitute through
// the channel table's server, line assembly and filter; zamri-send as a separate process.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/os.h"
#include "program/program.h"
#include "send_client.h"
#include "support/messages.h"
#include "support/overlay_log.h"
#include "support/recording_sink.h"
#include "support/wait.h"
#include "tcp/tcp_ingest_server.h"

using testing_support::MessageRecorder;
using testing_support::OverlayCall;
using testing_support::OverlayLogFile;
using testing_support::OverlayWrite;
using testing_support::TempDir;
using testing_support::WaitUntil;

namespace {

class TcpChannelTest : public ::testing::Test {
  protected:
    void StartTable() {
        program.reset(new zamri::Program);
        table = &program->Table();
        table->SetMode(1);
        ASSERT_NE(program->Capture().TcpServer(), nullptr);
        program->Capture().TcpServer()->SetOpeningTimeout(2000);
        table->SetTcpPort(0);  // a free port; the tests read it back
        ChannelConfig* footer = table->GetChannel(1);
        footer->patternFlags = 1;
        std::strcpy(footer->patternText, "THANK YOU");
        table->GetChannel(2)->patternFlags = 2;
        program->Delivery().SetFilter(LineFilter({"total"}, {"SECRET"}));
        table->StartCapture();
        port = program->Capture().TcpServer()->ListeningPort();
        ASSERT_GT(port, 0);
    }
    void TearDown() override { program.reset(); }

    MessageRecorder messages;
    OverlayLogFile overlay;
    std::unique_ptr<zamri::Program> program;
    ChannelTable* table = nullptr;
    int port = 0;
};

TEST_F(TcpChannelTest, LinesReachTheOverlayWithTheirCamerasAndFlags) {
    StartTable();
    auto sink = std::make_shared<testing_support::RecordingSink>();
    program->Delivery().AddSink(sink);
    SendClient client;
    ASSERT_EQ(client.Connect("127.0.0.1", port), 1);
    ASSERT_EQ(client.OpeningExchange(), 1);
    struct Line {
        int camera;
        std::string text;
    };
    const std::vector<Line> lines = {
        {1, "A\n"},
        {0, "camera zero\n"},
        {1, "B\n"},
        {33, "camera 33\n"},
        {1, "TOTAL\f\n"},
        {1, "\f\n"},
        {32, "last camera\n"},
        {2, "item\n"},
        {2, "THANK YOU\n"},
        {3, "raw\r\n"},
        {4, "\x0b\nlogo\n"},
        {4, "\x0b\nTotal logo\n"},
        {5, "SECRET code\n"},
        {5, "\f\n"},
        {6, "ABC"},
        {6, ""},
    };
    for (const Line& line : lines) {
        ASSERT_EQ(client.SendTextLine(line.camera, line.text.data(), static_cast<int>(line.text.size())), 1);
    }
    const std::vector<OverlayWrite> expected = {
        {0, 0, "A"},
        {0, 0, "B"},
        {0, 6, "TOTAL"},
        {0, 1, ""},
        {31, 0, "last camera"},
        {1, 0, "item"},
        {1, 2, "THANK YOU"},
        {2, 0, "raw\r\n"},
        {3, 16, "\x0b\nlogo\n"},
        {3, 20, "\x0b\nTotal logo\n"},
        {4, 2, ""},  // the dropped line still counted: this boundary ends a receipt
        {5, 0, "AB"},
        {5, 0, ""},
    };
    ASSERT_TRUE(WaitUntil([&] { return overlay.Lines().size() >= expected.size(); }));
    EXPECT_EQ(overlay.Lines(), expected);
    // The sinks get the same lines, each named by its sender's address.
    auto delivered = sink->Lines();
    ASSERT_EQ(delivered.size(), expected.size());
    for (size_t i = 0; i < delivered.size(); ++i) {
        EXPECT_EQ(delivered[i].camera - 1, expected[i].channel);
        EXPECT_EQ(std::string(delivered[i].text), expected[i].text);
        EXPECT_EQ(delivered[i].source, "127.0.0.1");
    }
}

// TCP lines are masked before the filter: the Important entry "4111" never sees the number.
TEST_F(TcpChannelTest, CardNumbersAreMaskedBeforeTheFilter) {
    StartTable();
    program->Delivery().SetFilter(LineFilter({"4111"}, {"SECRET"}));
    SendClient client;
    ASSERT_EQ(client.Connect("127.0.0.1", port), 1);
    ASSERT_EQ(client.OpeningExchange(), 1);
    const std::string lines[] = {"PAN 4111-1111-1111-1111\n", "4111 is the code\n"};
    for (const std::string& line : lines)
        ASSERT_EQ(client.SendTextLine(7, line.data(), static_cast<int>(line.size())), 1);
    const std::vector<OverlayWrite> expected = {{6, 0, "PAN ****-****-****-1111"},
                                                {6, 4, "4111 is the code"}};
    ASSERT_TRUE(WaitUntil([&] { return overlay.Lines().size() >= expected.size(); }));
    EXPECT_EQ(overlay.Lines(), expected);
    EXPECT_EQ(program->Delivery().MaskedCardNumbers(7), 1u);
}

TEST_F(TcpChannelTest, ZamriSendDeliversAReceipt) {
    StartTable();
    TempDir dir;
    std::string receipt = dir.File("receipt.txt");
    ASSERT_TRUE(testing_support::WriteFileBytes(receipt, "COFFEE 2.50\r\nCAKE 3.00\nTOTAL 5.50\n"));
    char self[1024];
    ASSERT_GT(zamri::GetExecutablePath(self, sizeof self), 0);
    std::string program(self);
    program = program.substr(0, program.find_last_of("/\\") + 1) + "zamri-send";
    std::string command =
        program + " -q --port " + std::to_string(port) + " --camera 7 --form-feed --repeat 2 " + receipt;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::vector<OverlayWrite> expected = {
        {6, 0, "COFFEE 2.50"}, {6, 0, "CAKE 3.00"}, {6, 6, "TOTAL 5.50"},
        {6, 0, "COFFEE 2.50"}, {6, 0, "CAKE 3.00"}, {6, 6, "TOTAL 5.50"},
    };
    ASSERT_TRUE(WaitUntil([&] { return overlay.Lines().size() >= expected.size(); }));
    EXPECT_EQ(overlay.Lines(), expected);
    // A wrong port is reported by the exit status.
    table->StopCapture();
    EXPECT_NE(std::system((program + " -q --port " + std::to_string(port) + " " + receipt).c_str()), 0);
}

TEST_F(TcpChannelTest, CaptureStartReportsAServerThatCannotListen) {
    StartTable();
    zamri::Program secondProgram;
    ChannelTable& second = secondProgram.Table();
    second.SetMode(1);
    second.SetTcpPort(port);
    second.StartCapture();
    EXPECT_EQ(messages.Count("error|bind() error"), 1);
    EXPECT_EQ(messages.Count("Error|TCP Server is not started."), 1);
    // Without a server object TCP capture start does nothing and shows nothing.
    zamri::Program serverlessProgram;
    ChannelTable& serverless = serverlessProgram.Table();
    serverless.mode = 1;
    EXPECT_EQ(serverless.StartCapture(), 1);
    EXPECT_EQ(serverless.StopCapture(), 1);
    EXPECT_EQ(messages.Messages().size(), 2u);
}

TEST_F(TcpChannelTest, CaptureRestartsWhileTheWorkerAssemblesLines) {
    StartTable();
    constexpr int kLines = 3000;
    {
        SendClient client;
        ASSERT_EQ(client.Connect("127.0.0.1", port), 1);
        ASSERT_EQ(client.OpeningExchange(), 1);
        ASSERT_TRUE(WaitUntil([&] { return program->Capture().TcpServer()->ClientCount() == 1; }));
        for (int i = 0; i < kLines; ++i) {
            std::string text = "line " + std::to_string(i) + "\n";
            ASSERT_EQ(client.SendTextLine(1 + i % 3, text.data(), static_cast<int>(text.size())), 1);
        }
    }
    // Once the server has seen the close, every byte before it has been read.
    ASSERT_TRUE(WaitUntil([&] { return program->Capture().TcpServer()->ClientCount() == 0; }));
    // Pattern hand-over at capture start meets the worker assembling lines of the same cameras.
    for (int i = 0; i < 5; ++i) {
        table->StopCapture();
        table->StartCapture();
    }
    EXPECT_TRUE(WaitUntil([&] { return overlay.Lines().size() == kLines; }));
    EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(TcpChannelTest, LinesQueuedAtShutdownAreStillOverlayWriteBeforeTheOverlayCloses) {
    StartTable();
    constexpr int kLines = 2000;
    {
        SendClient client;
        ASSERT_EQ(client.Connect("127.0.0.1", port), 1);
        ASSERT_EQ(client.OpeningExchange(), 1);
        ASSERT_TRUE(WaitUntil([&] { return program->Capture().TcpServer()->ClientCount() == 1; }));
        for (int i = 0; i < kLines; ++i) {
            std::string text = "closing " + std::to_string(i) + "\n";
            ASSERT_EQ(client.SendTextLine(9, text.data(), static_cast<int>(text.size())), 1);
        }
    }
    ASSERT_TRUE(WaitUntil([&] { return program->Capture().TcpServer()->ClientCount() == 0; }));
    program.reset();  // at once, with lines still queued
    std::vector<OverlayCall> calls = overlay.All();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().name, "OV_close");
    EXPECT_EQ(overlay.Lines().size(), static_cast<size_t>(kLines));
}

}  // namespace
