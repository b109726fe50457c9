// Receipts read in the delivery step: a printed refund in, the overlay's flags and banner, the
// sinks' drawer, transaction and exception records out; the settings' rules, Tick and Flush.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "config/line_flags.h"
#include "config/settings.h"
#include "delivery/line_delivery.h"
#include "program/program.h"
#include "receipt/receipt_rules.h"
#include "support/overlay_log.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

using testing_support::OverlayLogFile;
using testing_support::RecordingSink;
using testing_support::TempDir;

namespace {

constexpr int64_t kStart = 1765198800000;  // 2025-12-08 13:00 UTC

class StepClock : public LineClock, public zamri::ReceiptClock {
  public:
    int64_t UtcMilliseconds() override { return now; }
    int32_t UtcOffsetMinutes(int64_t) override { return 60; }
    int64_t now = kStart;
};

const char* const kRefund[] = {
    "CLERK: 23           TRANS# 88123", "        *** REFUND ***",          "HOSE REEL 100FT          120.00",
    "TOTAL                   -120.00",  "CASH                    -120.00",
};

class ReceiptDelivery : public ::testing::Test {
  protected:
    void SetUp() override {
        testing_support::WriteFileBytes(dir.File("zamri.ini"),
                                        "[Channel 3]\nTemplate=builtin\n"
                                        "[Rule 1]\nName=Big refund\nMatch=total <= -100\n"
                                        "[Rule 2]\nName=Broken\nMatch=total >> 5\n");
        settings = zamri::ReadSettings(dir.File("zamri.ini").c_str());
        delivery.SetClock(&clock);
        delivery.AddSink(sink);
        delivery.SetReceipts(settings->receipts, &clock);
    }
    void Print(int camera) {
        int count = static_cast<int>(sizeof kRefund / sizeof kRefund[0]);
        for (int i = 0; i < count; ++i) {
            clock.now += 100;
            delivery.Deliver(camera, (i == 0 ? kLineFlagFirst : 0) | (i == count - 1 ? kLineFlagEnd : 0),
                             "COM3", kRefund[i]);
        }
    }
    std::vector<DeliveredLine> Items(DeliveredKind kind) {
        std::vector<DeliveredLine> found;
        for (const DeliveredLine& line : sink->Lines())
            if (line.kind == kind)
                found.push_back(line);
        return found;
    }
    TempDir dir;
    OverlayLogFile overlay;
    zamri::Program program;
    LineDelivery& delivery = program.Delivery();
    StepClock clock;
    std::shared_ptr<RecordingSink> sink = std::make_shared<RecordingSink>();
    std::shared_ptr<zamri::Settings> settings;
};

TEST_F(ReceiptDelivery, ARefundGivesFlagFourItsRecordsAndTheBannerOfARuleKnownAtTheEnd) {
    // The rule that does not read is reported and left out; the other one works.
    bool reported = false;
    for (const zamri::SettingsProblem& problem : settings->problems)
        reported = reported || problem.text.find("Broken") != std::string::npos ||
                   problem.text.find("[Rule 2]") != std::string::npos;
    EXPECT_TRUE(reported);
    ASSERT_EQ(settings->receipts.rules->Rules().size(), 1u);

    Print(3);
    clock.now += 200;
    EXPECT_EQ(delivery.Deliver(3, kLineFlagDrawer, "COM3", ""), 0);
    delivery.Flush();

    auto writes = overlay.Lines();
    ASSERT_EQ(writes.size(), 6u);  // the five lines and the banner; the drawer never
    EXPECT_EQ(writes[1], (testing_support::OverlayWrite{2, kLineFlagImportant, "        *** REFUND ***"}));
    EXPECT_EQ(writes[4].flags, kLineFlagEnd);
    EXPECT_EQ(writes[5], (testing_support::OverlayWrite{2, kLineFlagImportant, "*** BIG REFUND 120.00 ***"}));

    auto drawers = Items(DeliveredKind::Drawer);
    ASSERT_EQ(drawers.size(), 1u);
    EXPECT_EQ(drawers[0].record,
              "{\"event\":\"drawer\",\"time\":\"2025-12-08T14:00:00.700+01:00\",\"camera\":3,"
              "\"source\":\"COM3\",\"receipt\":2}");
    auto transactions = Items(DeliveredKind::Transaction);
    ASSERT_EQ(transactions.size(), 1u);
    EXPECT_NE(
        transactions[0].record.find("\"total\":-120.0,\"tenders\":[{\"name\":\"CASH\",\"amount\":-120.0}],"
                                    "\"change\":null,\"cashier\":\"23\""),
        std::string::npos)
        << transactions[0].record;
    EXPECT_NE(transactions[0].record.find("\"drawer\":true"), std::string::npos);
    auto exceptions = Items(DeliveredKind::Exception);
    ASSERT_EQ(exceptions.size(), 2u);
    EXPECT_EQ(exceptions[0].exceptionKind, "refund");
    EXPECT_EQ(exceptions[0].text, "        *** REFUND ***");
    EXPECT_EQ(exceptions[1].exceptionKind, "Big refund");
    // The banner reaches the sinks as a line of its receipt.
    auto lines = Items(DeliveredKind::Line);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[5].text, "*** BIG REFUND 120.00 ***");
    EXPECT_EQ(lines[5].receipt, 1u);
}

TEST_F(ReceiptDelivery, TickHandsOnAReceiptOnceItsDrawerGraceHasPassedAndACameraWithoutTemplateIsNotRead) {
    Print(3);
    Print(4);
    delivery.Tick();
    EXPECT_TRUE(Items(DeliveredKind::Transaction).empty());
    clock.now += 3000;
    delivery.Tick();
    auto transactions = Items(DeliveredKind::Transaction);
    ASSERT_EQ(transactions.size(), 1u);
    EXPECT_EQ(transactions[0].camera, 3);
    for (const auto& write : overlay.Lines())
        if (write.channel == 3)
            EXPECT_EQ(write.flags & kLineFlagImportant, 0) << write.text;
}

// The property sheet's OK hands the program new rules while it runs: the next receipt is read
// by them, and the web page's rules page shows them.
TEST_F(ReceiptDelivery, RulesChangedWhileRunningReadTheNextReceiptAndShowOnTheRulesPage) {
    testing_support::WriteFileBytes(dir.File("zamri.ini"),
                                    "[Channel 3]\nTemplate=builtin\n"
                                    "[Rule 1]\nName=Any refund\nMatch=total < 0\n");
    program.UseReceiptSettings(*zamri::ReadSettings(dir.File("zamri.ini").c_str()));
    Print(3);
    delivery.Flush();
    auto writes = overlay.Lines();
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.back(),
              (testing_support::OverlayWrite{2, kLineFlagImportant, "*** ANY REFUND 120.00 ***"}));
    std::string rules = program.Web().RulesJson();
    EXPECT_NE(rules.find("\"name\":\"Any refund\""), std::string::npos) << rules;
    EXPECT_EQ(rules.find("Big refund"), std::string::npos) << rules;
}

}  // namespace
