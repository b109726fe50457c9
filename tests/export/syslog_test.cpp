// Syslog messages and their transport: the message of a line (control characters escaped), the
// collector setting, and octet-counted frames over TCP and datagrams over UDP to a loopback
// receiver, with a receiver that goes away and comes back.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "export/syslog_exporter.h"
#include "export/syslog_format.h"
#include "export/syslog_sink.h"
#include "net/socket_seam.h"
#include "support/wait.h"

using testing_support::WaitUntil;

namespace {

zamri::JournalRecord Line(const std::string& text, int flags = 2) {
    zamri::JournalRecord r;
    r.utcMilliseconds = 1765198931300;  // 2025-12-08T13:02:11.300Z
    r.utcOffsetMinutes = 60;
    r.camera = 3;
    r.flags = flags;
    r.receipt = 17;
    r.source = "COM3";
    r.text = text;
    return r;
}

TEST(SyslogFormatTest, MessagesAndCollectorSettings) {
    zamri::SyslogOrigin origin{"till pc", 4242};
    EXPECT_EQ(zamri::FormatSyslogMessage(Line("TOTAL 12.50"), origin),
              "<134>1 2025-12-08T14:02:11.300+01:00 tillpc zamri 4242 line "
              "[zamri@32473 camera=\"3\" flags=\"2\" receipt=\"17\" source=\"COM3\"] TOTAL 12.50");
    // Important lines are notices; parameter values escape '"', '\' and ']'.
    zamri::JournalRecord odd = Line("K\xC3\xA4se", 4);
    odd.source = "a\"b\\c]d";
    EXPECT_EQ(zamri::FormatSyslogMessage(odd, zamri::SyslogOrigin{"", 1}),
              "<133>1 2025-12-08T14:02:11.300+01:00 - zamri 1 line "
              "[zamri@32473 camera=\"3\" flags=\"4\" receipt=\"17\" source=\"a\\\"b\\\\c\\]d\"] K\xC3\xA4se");
    // No control character reaches the message: a till's CR LF cannot start a record of its own.
    zamri::JournalRecord forged =
        Line("PAID\r\n<134>1 2025-12-08T14:02:11.300+01:00 tillpc zamri 1 line - REFUND 999.00");
    forged.source = "10.0.0.9\n";
    EXPECT_EQ(
        zamri::FormatSyslogMessage(forged, zamri::SyslogOrigin{"", 1}),
        "<134>1 2025-12-08T14:02:11.300+01:00 - zamri 1 line [zamri@32473 camera=\"3\" flags=\"2\" "
        "receipt=\"17\" source=\"10.0.0.9#012\"] PAID#015#012<134>1 2025-12-08T14:02:11.300+01:00 tillpc "
        "zamri 1 line - REFUND 999.00");
    struct Text {
        std::string in, out;
    } texts[] = {
        {std::string("A\tB\0C\x1B[2J\x7F", 10), "A#011B#000C#033[2J#177"},
        {"C1 \xC2\x85 \xC2\x9F kept \xC2\xA0\xE2\x82\xAC", "C1 #205 #237 kept \xC2\xA0\xE2\x82\xAC"},
        {"not UTF-8 \xE8 \xC2", "not UTF-8 \xEF\xBF\xBD \xEF\xBF\xBD"},
        {"# 012 stays", "# 012 stays"},
    };
    for (const Text& t : texts) {
        std::string out;
        zamri::AppendSyslogText(t.in, &out);
        EXPECT_EQ(out, t.out);
    }

    std::string framed;
    zamri::AppendOctetCounted("<134>1 x", &framed);
    EXPECT_EQ(framed, "8 <134>1 x");

    struct Case {
        const char* text;
        bool ok, datagram;
        const char* host;
        int port;
    } cases[] = {
        {"tcp://logs.example.com:6514", true, false, "logs.example.com", 6514},
        {"udp://10.0.0.5", true, true, "10.0.0.5", 514},
        {"collector:1514", true, false, "collector", 1514},
        {"collector", true, false, "collector", 514},
        {"http://x:80", false, false, "", 0},
        {"udp://x:0", false, false, "", 0},
        {"tcp://:514", false, false, "", 0},
        {"x:70000", false, false, "", 0},
        {"", false, false, "", 0},
    };
    for (const Case& c : cases) {
        zamri::SyslogCollector collector;
        ASSERT_EQ(zamri::ParseSyslogCollector(c.text, &collector), c.ok ? 1 : 0) << c.text;
        if (!c.ok)
            continue;
        EXPECT_EQ(collector.datagram, c.datagram) << c.text;
        EXPECT_EQ(collector.host, c.host);
        EXPECT_EQ(collector.port, c.port);
    }
}

// A loopback TCP collector that reads octet-counted frames.
class FrameCollector {
  public:
    explicit FrameCollector(int port = 0) {
        listener = zamri::SocketOpenStream();
        EXPECT_EQ(zamri::SocketBindAny(listener, port), 1);
        EXPECT_EQ(zamri::SocketListen(listener, 4), 1);
        this->port = zamri::SocketLocalPort(listener);
    }
    ~FrameCollector() {
        if (client != zamri::kInvalidSocket)
            zamri::SocketClose(client);
        zamri::SocketClose(listener);
    }
    // Reads what arrives within the time and cuts it into frames.
    std::vector<std::string> Frames(size_t wanted) {
        WaitUntil([&] {
            if (client == zamri::kInvalidSocket && zamri::SocketWaitReadable(listener, 10) == 1)
                client = zamri::SocketAccept(listener, nullptr, 0);
            if (client != zamri::kInvalidSocket && zamri::SocketWaitReadable(client, 10) == 1) {
                char block[4096];
                int n = zamri::SocketReceive(client, block, sizeof block);
                if (n > 0)
                    bytes.append(block, static_cast<size_t>(n));
            }
            return Cut().size() >= wanted;
        });
        return Cut();
    }
    int port = 0;

  private:
    std::vector<std::string> Cut() const {
        std::vector<std::string> frames;
        size_t at = 0;
        while (at < bytes.size()) {
            size_t space = bytes.find(' ', at);
            if (space == std::string::npos)
                break;
            size_t length = std::stoul(bytes.substr(at, space - at));
            if (space + 1 + length > bytes.size())
                break;
            frames.push_back(bytes.substr(space + 1, length));
            at = space + 1 + length;
        }
        return frames;
    }
    zamri::SocketHandle listener = zamri::kInvalidSocket;
    zamri::SocketHandle client = zamri::kInvalidSocket;
    std::string bytes;
};

class SyslogTransportTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(zamri::SocketStartup(), 1); }
    void TearDown() override { zamri::SocketCleanup(); }
};

TEST_F(SyslogTransportTest, TcpFramesSurviveACollectorThatGoesAwayAndComesBack) {
    std::mutex lock;
    std::vector<std::string> trouble;
    std::atomic<int> reports{0};
    auto report = [&](const std::string& m) {
        std::lock_guard<std::mutex> guard(lock);
        trouble.push_back(m);
        ++reports;
    };
    int port = 0;
    std::unique_ptr<zamri::SyslogExporter> exporter;
    {
        FrameCollector collector;
        port = collector.port;
        exporter.reset(new zamri::SyslogExporter(zamri::SyslogCollector{false, "127.0.0.1", port}, report,
                                                 [&] { report("back"); }));
        ASSERT_EQ(exporter->Send("first message"), 1);
        ASSERT_EQ(exporter->Send("second, with \n inside"), 1);
        EXPECT_EQ(collector.Frames(2), (std::vector<std::string>{"first message", "second, with \n inside"}));
    }
    // The collector is gone; the message waits until one listens on the port again.
    std::unique_ptr<FrameCollector> again;
    std::thread restart([&] {
        WaitUntil([&] { return reports.load() > 0; });
        again.reset(new FrameCollector(port));
    });
    ASSERT_EQ(exporter->Send("third"), 1);
    restart.join();
    EXPECT_EQ(again->Frames(1), (std::vector<std::string>{"third"}));
    ASSERT_EQ(trouble.size(), 2u);
    EXPECT_NE(trouble[0].find("Syslog: cannot reach the collector tcp://127.0.0.1:"), std::string::npos)
        << trouble[0];
    EXPECT_EQ(trouble[1], "back");

    // Given up: a send that cannot reach the collector returns and counts the message.
    again.reset();
    exporter->GiveUpAt(zamri::SyslogExporter::SteadyNowMilliseconds());
    EXPECT_EQ(exporter->Send("fourth"), 0);
    EXPECT_EQ(exporter->LostMessages(), 1u);
    EXPECT_EQ(exporter->SentMessages(), 3u);
}

TEST_F(SyslogTransportTest, ExceptionsAndHealthStartsGoAtWarningWithTheirKindTransactionsAtInformational) {
    FrameCollector collector;
    zamri::SyslogSink sink(zamri::SyslogCollector{false, "127.0.0.1", collector.port}, 16, nullptr);
    ASSERT_EQ(sink.Start(), 1);
    DeliveredLine exception;
    exception.kind = DeliveredKind::Exception;
    exception.utcMilliseconds = 1765198800300;
    exception.camera = 3;
    exception.receipt = 17;
    exception.source = "COM3";
    exception.exceptionKind = "refund";
    exception.record = "{\"event\":\"exception\",\"kind\":\"refund\"}";
    sink.Accept(exception);
    DeliveredLine transaction = exception;
    transaction.kind = DeliveredKind::Transaction;
    transaction.exceptionKind.clear();
    transaction.record = "{\"event\":\"transaction\"}";
    sink.Accept(transaction);
    DeliveredLine health = exception;
    health.kind = DeliveredKind::Health;
    health.exceptionKind = "port";
    health.record = "{\"event\":\"health\",\"kind\":\"port\"}";
    sink.Accept(health);
    health.ending = true;
    sink.Accept(health);
    std::vector<std::string> frames = collector.Frames(4);
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[2].substr(0, 7), "<132>1 ");
    EXPECT_NE(frames[2].find(" health [zamri@32473 camera=\"3\" kind=\"port\" receipt="), std::string::npos)
        << frames[2];
    EXPECT_EQ(frames[3].substr(0, 7), "<133>1 ");
    EXPECT_EQ(frames[0].substr(0, 7), "<132>1 ");
    EXPECT_NE(
        frames[0].find(" exception [zamri@32473 camera=\"3\" kind=\"refund\" receipt=\"17\" source=\"COM3\"] "
                       "{\"event\":\"exception\",\"kind\":\"refund\"}"),
        std::string::npos)
        << frames[0];
    EXPECT_EQ(frames[1].substr(0, 7), "<134>1 ");
    EXPECT_NE(frames[1].find(" transaction [zamri@32473 camera=\"3\" receipt=\"17\""), std::string::npos)
        << frames[1];
    sink.Stop();
}

}  // namespace
