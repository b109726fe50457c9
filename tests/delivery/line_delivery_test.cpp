// The delivery step over a real channel table and the overlay library substitute: what the
// overlay and the sinks get, receipt numbers, time stamps, and sinks changing while lines flow.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "delivery/delivery_report.h"
#include "delivery/line_delivery.h"
#include "platform/os.h"
#include "program/program.h"
#include "support/messages.h"
#include "support/overlay_log.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

using testing_support::OverlayLogFile;
using testing_support::RecordingSink;

namespace {

class FixedClock : public LineClock {
  public:
    int64_t UtcMilliseconds() override { return 1765280000123; }
    int32_t UtcOffsetMinutes(int64_t) override { return 330; }
};

class Delivery : public ::testing::Test {
  protected:
    void SetUp() override {
        program.Delivery().SetFilter(LineFilter({"total"}, {"SECRET"}));
        program.Delivery().SetClock(&clock);
        program.Delivery().AddSink(sink);
    }
    OverlayLogFile overlay;  // before the table, which opens the overlay
    zamri::Program program;
    ChannelTable& table = program.Table();
    FixedClock clock;
    std::shared_ptr<RecordingSink> sink = std::make_shared<RecordingSink>();
};

TEST_F(Delivery, TheOverlayAndTheSinksGetTheSameFilteredLinesWithTimeSourceAndReceipt) {
    LineDelivery& delivery = program.Delivery();
    EXPECT_EQ(delivery.Deliver(3, 1, "COM3", "BREAD 1.20"), 1);
    EXPECT_EQ(delivery.Deliver(3, 0, "COM3", "secret code"), 0);
    EXPECT_EQ(delivery.Deliver(3, 2, "COM3", "Total 1.20"), 1);
    EXPECT_EQ(delivery.Deliver(3, 1, "COM3", "NEXT"), 1);
    EXPECT_EQ(delivery.Deliver(0, 0, "x", "camera 0"), 0);
    EXPECT_EQ(delivery.Deliver(33, 0, "x", "camera 33"), 0);
    // A receipt that ends on a dropped line has ended: camera 4's next line is in receipt 2.
    EXPECT_EQ(delivery.Deliver(4, 2, "10.0.0.7", "SECRET end"), 0);
    EXPECT_EQ(delivery.Deliver(4, 1, nullptr, std::string(2000, 'x').c_str()), 1);
    EXPECT_EQ(delivery.NextReceipt(3), 2u);
    EXPECT_EQ(delivery.NextReceipt(0), 0u);

    auto writes = overlay.Writes();
    ASSERT_EQ(writes.size(), 4u);
    auto lines = sink->Lines();
    ASSERT_EQ(lines.size(), 4u);
    struct Expected {
        int camera, flags;
        unsigned receipt;
        const char* source;
        std::string text;
    };
    const Expected expected[] = {{3, 1, 1, "COM3", "BREAD 1.20"},
                                 {3, 6, 1, "COM3", "Total 1.20"},
                                 {3, 1, 2, "COM3", "NEXT"},
                                 {4, 1, 2, "", std::string(1023, 'x')}};
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(writes[i].numbers.at(1), expected[i].camera - 1);
        EXPECT_EQ(writes[i].numbers.at(2), expected[i].flags);
        EXPECT_EQ(writes[i].text, expected[i].text);
        EXPECT_EQ(lines[i].camera, expected[i].camera);
        EXPECT_EQ(lines[i].flags, expected[i].flags);
        EXPECT_EQ(lines[i].receipt, expected[i].receipt);
        EXPECT_EQ(lines[i].source, expected[i].source);
        EXPECT_EQ(lines[i].text, expected[i].text);
        EXPECT_EQ(lines[i].utcMilliseconds, 1765280000123);
        EXPECT_EQ(lines[i].utcOffsetMinutes, 330);
    }
}

// Keeps the shared lines it is handed.
class SharedLineSink : public LineSink {
  public:
    void Accept(const DeliveredLine&) override {}
    void AcceptShared(const std::shared_ptr<const DeliveredLine>& line) override { lines.push_back(line); }
    bool WantsUtf8() const override { return true; }
    std::vector<std::shared_ptr<const DeliveredLine>> lines;  // one delivering thread here
};

TEST_F(Delivery, TheTextIsConvertedToUtf8OnceForAllSinksInThePageOfTheMoment) {
    EXPECT_EQ(program.Delivery().Deliver(1, 0, "COM1", "\x80 1"), 1);
    EXPECT_EQ(sink->Lines().at(0).utf8, "");  // no sink wants it yet
    auto first = std::make_shared<SharedLineSink>();
    auto second = std::make_shared<SharedLineSink>();
    program.Delivery().AddSink(first);
    program.Delivery().AddSink(second);
    int asked = 0;
    int pages[] = {1251, 1255, 77};  // 77 is no page: 1252 then
    program.Delivery().SetTextCodePage([&] { return pages[asked++ % 3]; });
    for (const char* text : {"\xD5\xEB", "\xF9\xEC", "\x80 2"})
        EXPECT_EQ(program.Delivery().Deliver(1, 0, "COM1", text), 1);
    EXPECT_EQ(asked, 3);
    ASSERT_EQ(first->lines.size(), 3u);
    EXPECT_EQ(first->lines[0]->utf8, "\xD0\xA5\xD0\xBB");
    EXPECT_EQ(first->lines[1]->utf8, "\xD7\xA9\xD7\x9C");
    EXPECT_EQ(first->lines[2]->utf8, "\xE2\x82\xAC 2");
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(first->lines[i].get(), second->lines.at(i).get());  // one line for all sinks
    EXPECT_EQ(sink->Lines().at(2).utf8, "\xD7\xA9\xD7\x9C");          // the same line
}

TEST_F(Delivery, TheSystemClockGivesTheTimeInUtcAndAPlausibleOffset) {
    program.Delivery().SetClock(nullptr);
    int64_t before = static_cast<int64_t>(std::time(nullptr)) * 1000;
    program.Delivery().Deliver(1, 0, "COM1", "now");
    int64_t after = static_cast<int64_t>(std::time(nullptr)) * 1000 + 1000;
    ASSERT_EQ(sink->Count(), 1u);
    DeliveredLine line = sink->Lines()[0];
    EXPECT_GE(line.utcMilliseconds, before);
    EXPECT_LE(line.utcMilliseconds, after);
    EXPECT_LE(line.utcOffsetMinutes, 14 * 60);
    EXPECT_GE(line.utcOffsetMinutes, -12 * 60);
}

// Masks apply before the filter: an Important entry that the card number would match does not
// see it, and neither do the overlay and the sinks.
TEST_F(Delivery, MasksComeFirstAndAreCountedPerCamera) {
    program.Delivery().SetFilter(LineFilter({"4111"}, {"SECRET"}));
    LineDelivery& delivery = program.Delivery();
    EXPECT_EQ(delivery.Deliver(2, 0, "COM2", "PAN 4111111111111111"), 1);
    EXPECT_EQ(delivery.Deliver(2, 0, "COM2", "4111 is the code"), 1);
    EXPECT_EQ(DeliveryReport(delivery),
              (std::vector<std::string>{"camera 2: 1 card number and 0 user-mask matches masked"}));
    delivery.SetMasks({true, {"MEMBER *"}});
    EXPECT_EQ(delivery.Deliver(5, 0, "COM5", "MEMBER 0042 4012888888881881"), 1);
    delivery.SetMasks({false, {}});
    EXPECT_EQ(delivery.Deliver(5, 0, "COM5", "PAN 4111111111111111"), 1);

    auto writes = overlay.Writes();
    ASSERT_EQ(writes.size(), 4u);
    EXPECT_EQ(writes[0].text, "PAN ************1111");
    EXPECT_EQ(writes[0].numbers.at(2), 0);
    EXPECT_EQ(writes[1].numbers.at(2), 4);
    EXPECT_EQ(writes[2].text, "MEMBER **** ************1881");
    EXPECT_EQ(writes[3].text, "PAN 4111111111111111");  // card-number masking switched off
    EXPECT_EQ(std::string(sink->Lines()[0].text), "PAN ************1111");
    EXPECT_EQ(delivery.MaskedCardNumbers(2), 1u);
    EXPECT_EQ(delivery.MaskedCardNumbers(5), 1u);
    EXPECT_EQ(delivery.MaskedByUser(5), 1u);
    EXPECT_EQ(DeliveryReport(delivery),
              (std::vector<std::string>{"camera 2: 1 card number and 0 user-mask matches masked",
                                        "camera 5: 1 card number and 1 user-mask match masked"}));
}

TEST_F(Delivery, MasksAreReadFromTheSettingsFileAndABadOneIsReported) {
    testing_support::TempDir dir;
    std::string path = dir.File("zamri.ini");
    ASSERT_TRUE(testing_support::WriteFileBytes(
        path, "[Options]\r\nMaskCardNumbers=0\r\n[Mask]\r\ncount=2\r\n0=re:(TEL\r\n1=TEL *\r\n"));
    table.SetSettingsPath(path.c_str());
    std::vector<std::string> shownMessages;
    {
        testing_support::MessageRecorder messages;
        table.LoadSettings();
        shownMessages = messages.Messages();
    }
    ASSERT_EQ(shownMessages.size(), 1u);
    EXPECT_EQ(shownMessages[0].rfind("Warning|The mask \"re:(TEL\" is not a valid regular expression", 0),
              0u);
    EXPECT_NE(shownMessages[0].find("It is not used until it is corrected on the filter page."),
              std::string::npos);
    MaskSettings settings = program.Delivery().GetMaskSettings();
    EXPECT_FALSE(settings.cardNumbers);
    EXPECT_EQ(settings.patterns, (std::vector<std::string>{"re:(TEL", "TEL *"}));
    program.Delivery().Deliver(1, 0, "COM1", "TEL 0301234 4111111111111111");
    EXPECT_EQ(overlay.Writes().at(0).text, "TEL ******* 4111111111111111");
    EXPECT_EQ(DeliveryReport(program.Delivery()),
              (std::vector<std::string>{"camera 1: 0 card numbers and 1 user-mask match masked"}));
}

TEST_F(Delivery, SinksComeAndGoWhileSeveralThreadsDeliver) {
    constexpr int kThreads = 4;
    constexpr int kLines = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < kLines; ++i)
                program.Delivery().Deliver(t + 1, i % 10 == 9 ? 2 : 0, "COM1", "line");
        });
    }
    for (int i = 0; i < 200; ++i) {
        auto extra = std::make_shared<RecordingSink>();
        program.Delivery().AddSink(extra);
        program.Delivery().RemoveSink(extra.get());
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(overlay.Writes().size(), static_cast<size_t>(kThreads * kLines));
    EXPECT_EQ(sink->Count(), static_cast<size_t>(kThreads * kLines));
    for (int camera = 1; camera <= kThreads; ++camera)
        EXPECT_EQ(program.Delivery().NextReceipt(camera), 1u + kLines / 10);
    program.Delivery().RemoveSink(sink.get());
    program.Delivery().Deliver(1, 0, "COM1", "after");
    EXPECT_EQ(sink->Count(), static_cast<size_t>(kThreads * kLines));
    EXPECT_EQ(program.Delivery().Sinks().size(), 0u);
}

}  // namespace
