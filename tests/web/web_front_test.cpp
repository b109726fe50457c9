// The web page inside the program: its settings, and lines delivered through the channel
// table reaching the status and the live stream in the recorder's code page.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "config/settings.h"
#include "journal/journal_sink.h"
#include "net/socket_seam.h"
#include "platform/os.h"
#include "program/program.h"
#include "send_client.h"
#include "support/http_client.h"
#include "support/messages.h"
#include "support/overlay_log.h"
#include "support/temp_dir.h"
#include "support/wait.h"
#include "tcp/tcp_ingest_server.h"
#include "web/web_front.h"

namespace zamri {
namespace {

using testing_support::HttpGet;
using testing_support::JsonText;
using testing_support::LiveClient;
using testing_support::StreamEvent;
using testing_support::TempDir;

WebOptions OptionsFrom(const TempDir& dir, const std::string& options) {
    std::string path = dir.File("zamri.ini");
    testing_support::WriteFileBytes(path, "[Channel]\nPORT=10000\n[Options]\n" + options);
    std::shared_ptr<const Settings> settings = ReadSettings(path.c_str());
    ReportSettingsProblems(*settings);
    return WebOptionsFrom(*settings);
}

TEST(WebOptions, PortAddressAndPasswordFromTheSettingsFile) {
    TempDir dir;
    WebOptions off = OptionsFrom(dir, "");
    EXPECT_EQ(off.port, 0);
    EXPECT_STREQ(off.error, "");

    WebOptions on = OptionsFrom(dir, "HttpPort=8080\nHttpPassword=\" pa ss \"\n");
    EXPECT_EQ(on.port, 8080);
    EXPECT_STREQ(on.address, "127.0.0.1");
    EXPECT_STREQ(on.password, " pa ss ");
    EXPECT_EQ(on.recorderCodePage, 1252);
    EXPECT_STREQ(OptionsFrom(dir, "HttpPort=80\nHttpAddress=0.0.0.0\n").address, "0.0.0.0");
    EXPECT_STREQ(OptionsFrom(dir, "HttpPort=80\nHttpAddress=::1\n").address, "::1");
    EXPECT_STREQ(OptionsFrom(dir, "HttpPort=80\nHttpHostNames=recorder, Till.Store.lan\n").hostNames,
                 "recorder, Till.Store.lan");

    for (const char* bad :
         {"HttpPort=0", "HttpPort=65536", "HttpPort=80x", "HttpPort=80\nHttpAddress=shop.example",
          "HttpPort=80\nHttpHostNames=recorder http://recorder/"}) {
        WebOptions refused = OptionsFrom(dir, std::string(bad) + "\n");
        EXPECT_EQ(refused.port, 0) << bad;
        EXPECT_NE(std::string(refused.error).find("the web page is off"), std::string::npos) << bad;
    }
    EXPECT_NE(
        std::string(OptionsFrom(dir, "HttpPort=80\nHttpHostNames=a http://b\n").error).find("\"http://b\""),
        std::string::npos);
    // A list too long for its room is refused whole, never cut in the middle of a name.
    testing_support::MessageRecorder messages;
    std::string many;
    for (int i = 0; i < 100; ++i)
        many += " till-" + std::to_string(i) + ".store.lan";
    EXPECT_EQ(OptionsFrom(dir, "HttpPort=80\nHttpHostNames=" + many + "\n").port, 0);
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_NE(messages.Messages()[0].find("HttpHostNames"), std::string::npos);
}

class WebFrontTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(SocketStartup()); }
    void TearDown() override { SocketCleanup(); }
    void Start(WebFront& web, int codePage = 1252) {
        WebOptions options;
        options.port = 0;  // any free port
        options.recorderCodePage = codePage;
        std::string error;
        // StartWith takes port 0 as "any free port"; the settings file never gives 0.
        ASSERT_TRUE(web.StartWith(options, error)) << error;
        ASSERT_GT(web.Port(), 0);
    }
    testing_support::OverlayLogFile overlay;
};

TEST_F(WebFrontTest, DeliveredLinesReachTheStreamAndTheStatus) {
    testing_support::MessageRecorder messages;  // keeps the message from the console
    zamri::Program program("9.8.7.6");
    program.Sinks().Live().Start(program.Delivery());
    WebFront& web = program.Web();
    Start(web);
    EXPECT_EQ(web.LocalAddress(), "http://127.0.0.1:" + std::to_string(web.Port()) + "/");
    LiveClient client;
    ASSERT_TRUE(client.Open(web.Port()));

    program.Delivery().Deliver(2, 0, "10.0.0.7", "CAF\xC9 \x80 1,50");
    program.Delivery().Deliver(2, 2, "10.0.0.7", "VISA 4111 1111 1111 1111 TOTAL");
    StreamEvent event;
    ASSERT_TRUE(client.Next(event));
    EXPECT_EQ(JsonText(event.data, "text"), "CAF\xC3\x89 \xE2\x82\xAC 1,50");
    EXPECT_EQ(JsonText(event.data, "src"), "10.0.0.7");
    ASSERT_TRUE(client.Next(event));
    EXPECT_NE(event.data.find("\"flags\":2"), std::string::npos);

    ShowMessage("COM9 (for Camera 4) open failed.", "Error", kMsgOk);
    std::string status = HttpGet(web.Port(), "/api/status").body;
    EXPECT_NE(status.find("\"version\":\"9.8.7.6\""), std::string::npos) << status;
    EXPECT_NE(status.find("{\"camera\":2,\"active\":true,\"source\":\"10.0.0.7\""), std::string::npos)
        << status;
    EXPECT_NE(status.find("\"linesToday\":2,\"maskedCards\":1,\"maskedUser\":0"), std::string::npos)
        << status;
    EXPECT_NE(status.find("{\"camera\":3,\"active\":false"), std::string::npos);
    EXPECT_NE(status.find("Error: COM9 (for Camera 4) open failed."), std::string::npos);

    // Stopping the program takes the live view off the delivery road with the page.
    program.Stop();
    EXPECT_TRUE(program.Delivery().Sinks().empty());
    EXPECT_EQ(web.Port(), 0);
}

TEST_F(WebFrontTest, StatusNamesRefusedSenders) {
    zamri::Program program;
    ChannelTable& table = program.Table();
    table.SetMode(1);
    table.SetTcpPort(0);
    table.StartCapture();
    program.Sinks().Live().Start(program.Delivery());
    WebFront& web = program.Web();
    Start(web);
    SendClient wrong;
    ASSERT_TRUE(wrong.Connect("127.0.0.1", program.Capture().TcpServer()->ListeningPort()));
    const int32_t badReply = 12345;
    EXPECT_EQ(wrong.OpeningExchange(5000, &badReply), 0);
    std::string status;
    EXPECT_TRUE(testing_support::WaitUntil([&] {
        status = HttpGet(web.Port(), "/api/status").body;
        return status.find("\"refused\":{\"count\":1,\"last\":\"127.0.0.1\"") != std::string::npos;
    })) << status;
    table.StopCapture();
}

TEST_F(WebFrontTest, SearchFindsDeliveredReceiptsAndTheStatusShowsTheJournal) {
    TempDir dir;
    zamri::Program program;
    program.Sinks().Live().Start(program.Delivery());
    WebFront& web = program.Web();
    // The journal's trouble would go to the message box; there is none here.
    auto journal = std::make_shared<JournalSink>(dir.File("journal"), 90, nullptr);
    ASSERT_TRUE(journal->Start());
    program.Delivery().AddSink(journal);  // the page finds it there
    Start(web);
    program.Delivery().Deliver(3, 0, "COM3", "BROT \x80 1,20");
    program.Delivery().Deliver(3, 2, "COM3", "TOTAL 1,20");
    program.Delivery().Deliver(4, 0, "COM4", "MILCH 0,99");
    ASSERT_TRUE(testing_support::WaitUntil([&] { return journal->Writer().Written() == 3; }));

    testing_support::HttpReply found =
        HttpGet(web.Port(), "/api/search?text=%E2%82%AC&camera=3&from=2000-01-01T00:00");
    EXPECT_EQ(found.status, 200);
    EXPECT_NE(found.body.find("\"text\":\"BROT \xE2\x82\xAC 1,20\",\"flags\":0,\"match\":true},{\"time\""),
              std::string::npos)
        << found.body;
    EXPECT_NE(
        found.body.find("\"text\":\"TOTAL 1,20\",\"flags\":2,\"match\":false}]}],\"page\":1,\"more\":false,"
                        "\"total\":1}"),
        std::string::npos)
        << found.body;
    EXPECT_EQ(HttpGet(web.Port(), "/api/search?text=milch&camera=3").body.find("MILCH"), std::string::npos);
    EXPECT_EQ(HttpGet(web.Port(), "/api/search?to=2026-12-09T25:00").status, 400);
    // The folder as the status names it (a Windows path's backslashes come escaped).
    std::string status = HttpGet(web.Port(), "/api/status").body;
    EXPECT_NE(status.find("\"journal\":\"on, "), std::string::npos) << status;
    EXPECT_NE(status.find("journal: 3 lines written\",\"export\":\"off\""), std::string::npos) << status;

    program.Delivery().RemoveSink(journal.get());
    testing_support::HttpReply off = HttpGet(web.Port(), "/api/search?text=x");
    EXPECT_EQ(off.status, 503);
    EXPECT_NE(off.body.find("The journal is off"), std::string::npos);
    web.Stop();
}

TEST_F(WebFrontTest, APageOthersReachWithoutAPasswordSaysSo) {
    zamri::Program program;
    program.Sinks().Live().Start(program.Delivery());
    WebFront& web = program.Web();
    WebOptions options;
    std::snprintf(options.address, sizeof options.address, "0.0.0.0");
    std::string error;
    ASSERT_TRUE(web.StartWith(options, error)) << error;
    const std::string said = "warning: the web page at http://0.0.0.0:" + std::to_string(web.Port()) +
                             "/ has no password, so every machine that reaches this PC can read the receipts";
    EXPECT_EQ(web.Warning().compare(0, said.size(), said), 0) << web.Warning();
    std::string status = HttpGet(web.Port(), "/api/status").body;
    EXPECT_NE(status.find("\"warning\":\"" + said), std::string::npos) << status;

    // With a password, or on this PC only, there is nothing to say.
    std::snprintf(options.password, sizeof options.password, "s3cret");
    ASSERT_TRUE(web.StartWith(options, error)) << error;
    EXPECT_EQ(web.Warning(), "");
    WebOptions local;
    ASSERT_TRUE(web.StartWith(local, error)) << error;
    EXPECT_EQ(web.Warning(), "");
    EXPECT_NE(HttpGet(web.Port(), "/api/status").body.find("\"warning\":\"\""), std::string::npos);
}

TEST_F(WebFrontTest, TextFollowsTheRecorderCodePage) {
    zamri::Program program;
    program.Sinks().Live().Start(program.Delivery());
    WebFront& web = program.Web();
    Start(web, 1251);
    program.Delivery().SetTextCodePage([] { return 1251; });  // as the program's sinks set it
    LiveClient client;
    ASSERT_TRUE(client.Open(web.Port()));
    program.Delivery().Deliver(1, 0, "COM1", "\xD5\xEB\xE5\xE1 12");  // Cyrillic "Khleb"
    StreamEvent event;
    ASSERT_TRUE(client.Next(event));
    EXPECT_EQ(JsonText(event.data, "text"), "\xD0\xA5\xD0\xBB\xD0\xB5\xD0\xB1 12");
}

}  // namespace
}  // namespace zamri
