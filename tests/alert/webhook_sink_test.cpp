// The webhook sink posts records by their kind, and the digest's timer makes the day's digest
// from the journal at DigestTime: CSV beside the journal, the record to the hooks.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "alert/digest_records.h"
#include "alert/digest_timer.h"
#include "alert/webhook_sink.h"
#include "fake_clock.h"
#include "support/temp_dir.h"
#include "support/wait.h"

namespace {

using zamri::AlertEvent;

struct Bodies {
    std::mutex lock;
    std::vector<std::string> sent;
};

class KeepingSender : public zamri::WebhookSender {
  public:
    explicit KeepingSender(Bodies* bodies) : bodies(bodies) {}
    int Send(const std::string& body, int64_t, std::string*) override {
        std::lock_guard<std::mutex> guard(bodies->lock);
        bodies->sent.push_back(body);
        return 1;
    }
    void Cancel() override {}

  private:
    Bodies* bodies;
};

zamri::AlertSettings TwoHooks() {
    zamri::AlertSettings settings;
    settings.options.storeName = "Main Street";
    for (int number : {1, 2}) {
        zamri::WebhookConfig hook;
        hook.number = number;
        hook.url.text = "http://receiver/" + std::to_string(number);
        hook.secret = "k";
        hook.events = 1u << static_cast<int>(number == 1 ? AlertEvent::kException : AlertEvent::kDigest);
        settings.hooks.push_back(hook);
    }
    return settings;
}

const char kException[] =
    "{\"event\":\"exception\",\"time\":\"2026-12-08T14:01:52.120+01:00\",\"camera\":3,\"source\":\"COM3\","
    "\"receipt\":17,\"cashier\":\"17\",\"kind\":\"refund\",\"amount\":-12.5,\"line\":\"REFUND 12.50\"}";
const char kTransaction[] =
    "{\"event\":\"transaction\",\"time\":\"2026-12-08T14:02:10.000+01:00\",\"camera\":3,\"source\":\"COM3\","
    "\"receipt\":17,\"cashier\":\"17\",\"total\":40.1,\"lines\":[\"A\",\"B\"]}";

TEST(WebhookSink, PostsEachRecordToTheHooksThatTakeItsKind) {
    Bodies bodies;
    alert_testing::FakeClock clock;
    zamri::WebhookSink sink(TwoHooks(), clock, [&](const zamri::WebhookConfig&) {
        return std::make_unique<KeepingSender>(&bodies);
    });
    ASSERT_EQ(sink.Start(), 1);
    // From the delivery step: the exception's record is posted, a printed line never is.
    DeliveredLine printed;
    printed.record = kException;
    sink.Accept(printed);
    DeliveredLine exception;
    exception.kind = DeliveredKind::Exception;
    exception.record = kException;
    sink.Accept(exception);
    EXPECT_EQ(sink.AcceptRecord(kTransaction), 0);  // no hook takes transactions
    EXPECT_EQ(sink.AcceptRecord("{\"time\":\"x\"}"), -1);
    EXPECT_EQ(sink.AcceptRecord("REFUND 12.50"), -1);
    ASSERT_TRUE(testing_support::WaitUntil([&] {
        std::lock_guard<std::mutex> guard(bodies.lock);
        return !bodies.sent.empty();
    }));
    sink.Stop(1000);
    ASSERT_EQ(bodies.sent.size(), 1u);
    EXPECT_EQ(bodies.sent[0].rfind("{\"event\":\"exception\",\"store\":\"Main Street\",\"time\":", 0), 0u);
    SinkStatus status = sink.Status();
    EXPECT_EQ(status.key, "webhooks");
    EXPECT_EQ(status.state.substr(0, 30), "Webhook 1: 1 sent, 0 waiting, ");
    ASSERT_EQ(sink.Summary().size(), 2u);
    EXPECT_EQ(sink.Summary()[1], "Webhook 2 (http://receiver/2): 0 sent, 0 failed attempts, 0 dropped");
}

TEST(DigestRecords, ReadsTheRecordsAndLeavesOtherLinesOut) {
    zamri::DigestReceipt receipt;
    zamri::DigestException exception;
    ASSERT_EQ(zamri::ReadDigestRecord(kTransaction, &receipt, &exception), zamri::DigestRecordKind::kReceipt);
    EXPECT_EQ(receipt.camera, 3);
    EXPECT_EQ(receipt.cashier, "17");
    EXPECT_TRUE(receipt.hasTotal);
    EXPECT_EQ(receipt.total, 4010);
    ASSERT_EQ(zamri::ReadDigestRecord(kException, &receipt, &exception), zamri::DigestRecordKind::kException);
    EXPECT_EQ(exception.kind, "refund");
    EXPECT_EQ(exception.amount, -1250);
    const char* others[] = {
        "{\"time\":\"2026-12-08T14:01:52.120+01:00\",\"camera\":3,\"flags\":0,\"source\":\"COM3\",\"text\":"
        "\"x\"}",
        "{\"event\":\"exception\",\"time\":\"later\",\"camera\":3,\"kind\":\"refund\"}",
        "{\"event\":\"exception\",\"time\":\"2026-12-08T14:01:52.120+01:00\",\"camera\":3,\"kind\":\"ref",
        "{\"event\":\"health\",\"time\":\"2026-12-08T14:01:52.120+01:00\",\"camera\":3}"};
    for (const char* line : others)
        EXPECT_EQ(zamri::ReadDigestRecord(line, &receipt, &exception), zamri::DigestRecordKind::kNone)
            << line;
    int64_t cents = 0;
    for (auto [text, want] : {std::pair{"0.125", 13}, {"-0.005", -1}, {"7", 700}})
        EXPECT_TRUE(zamri::ParseCents(text, &cents) && cents == want) << text;
    EXPECT_FALSE(zamri::ParseCents("1e3", &cents));
    EXPECT_FALSE(zamri::ParseCents("1.", &cents));
}

// 2026-12-08 23:59 +01:00, a minute before a 00:00 digest of the 8th.
constexpr int64_t kBeforeMidnight = 1796770740000;

TEST(DigestTimer, AtDigestTimeWritesTheCsvBesideTheJournalAndPostsTheDigest) {
    testing_support::TempDir journal;
    {
        std::ofstream day(journal.File("2026-12-08.jsonl"), std::ios::binary);
        day << "{\"time\":\"2026-12-08T14:01:50.000+01:00\",\"camera\":3,\"flags\":1,\"source\":\"COM3\","
               "\"receipt\":17,\"text\":\"REFUND 12.50\"}\n"
            << kException << "\n"
            << kTransaction << "\n";
    }
    // The day before's digest was made before the program stopped.
    std::ofstream(journal.File("digest-2026-12-07.csv"), std::ios::binary) << "made\r\n";
    alert_testing::FakeClock clock(kBeforeMidnight, 60);
    std::mutex lock;
    std::vector<std::string> posted;
    zamri::DigestTime midnight{true, 0, 0};
    zamri::DigestTimer timer(
        midnight, journal.Path(),
        [&](const std::string& record) {
            std::lock_guard<std::mutex> guard(lock);
            posted.push_back(record);
        },
        nullptr, clock);
    ASSERT_EQ(timer.Start(), 1);
    clock.Advance(2 * 60 * 1000);
    timer.Wake();
    ASSERT_TRUE(testing_support::WaitUntil([&] { return timer.Made() == 1; }));
    timer.Stop();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_NE(posted[0].find("\"date\":\"2026-12-08\""), std::string::npos) << posted[0];
    EXPECT_NE(posted[0].find("\"receipts\":1,\"total\":40.10"), std::string::npos) << posted[0];
    EXPECT_EQ(timer.LastCsvPath(), journal.File("digest-2026-12-08.csv"));
    std::ifstream csv(timer.LastCsvPath(), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(csv)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("2026-12-08,store,,,,refund,1,-12.50\r\n"), std::string::npos) << text;
}

// The program was down at 00:00: the 8th's digest is made when it starts at 10:00 on the 9th,
// and a second start finds its CSV and makes none.
TEST(DigestTimer, ADigestMissedWhileDownIsMadeAtStartOnlyOnce) {
    testing_support::TempDir journal;
    std::ofstream(journal.File("2026-12-08.jsonl"), std::ios::binary) << kException << "\n"
                                                                      << kTransaction << "\n";
    alert_testing::FakeClock clock(kBeforeMidnight + 10 * 3600 * 1000LL + 60000, 60);
    std::vector<std::string> posted;
    zamri::DigestTime midnight{true, 0, 0};
    for (int start = 0; start < 2; ++start) {
        zamri::DigestTimer timer(
            midnight, journal.Path(), [&](const std::string& record) { posted.push_back(record); }, nullptr,
            clock);
        ASSERT_EQ(timer.Start(), 1);
        timer.Stop();  // the look at the missed digest comes first, before any wait
        EXPECT_EQ(timer.Made(), start == 0 ? 1u : 0u);
    }
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_NE(posted[0].find("\"date\":\"2026-12-08\""), std::string::npos) << posted[0];
    EXPECT_TRUE(std::filesystem::exists(journal.File("digest-2026-12-08.csv")));
}

// A first start after DigestTime, from an empty journal, makes no digest of a day the program
// never ran; a day that was run, even without a receipt (a line, an event), gets its digest.
TEST(DigestTimer, AtStartOnlyADayTheProgramRanGetsItsMissedDigest) {
    testing_support::TempDir journal;
    // 10:00 on the 9th; the 07:00 digest covers the 8th 07:00 to the 9th 07:00.
    alert_testing::FakeClock clock(kBeforeMidnight + 10 * 3600 * 1000LL + 60000, 60);
    zamri::DigestTime seven{true, 7, 0};
    auto startOnce = [&] {
        zamri::DigestTimer timer(seven, journal.Path(), nullptr, nullptr, clock);
        EXPECT_EQ(timer.Start(), 1);
        timer.Stop();
        return timer.Made();
    };
    EXPECT_EQ(startOnce(), 0u);
    std::ofstream(journal.File("2026-12-08.jsonl"), std::ios::binary)
        << "{\"time\":\"2026-12-08T06:59:59.999+01:00\",\"camera\":3,\"flags\":1,\"source\":\"COM3\","
           "\"receipt\":1,\"text\":\"BEFORE THE PERIOD\"}\n";
    EXPECT_EQ(startOnce(), 0u);
    std::ofstream(journal.File("2026-12-09.jsonl"), std::ios::binary)
        << "{\"event\":\"health\",\"time\":\"2026-12-09T06:00:00.000+01:00\",\"camera\":3,\"source\":"
           "\"COM3\",\"receipt\":1,\"kind\":\"silent\",\"state\":\"start\",\"detail\":\"\"}\n";
    EXPECT_EQ(startOnce(), 1u);
    EXPECT_TRUE(std::filesystem::exists(journal.File("digest-2026-12-08.csv")));
}

}  // namespace
