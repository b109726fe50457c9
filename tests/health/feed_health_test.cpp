// The feed-health monitor on a clock the test moves: each condition starts once and ends once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/health_settings.h"
#include "health/feed_health_monitor.h"

namespace {

using zamri::FeedHealthEvent;
using zamri::FeedHealthMonitor;
using zamri::FeedSample;

class TestClock : public LineClock {
  public:
    int64_t UtcMilliseconds() override { return now; }
    int32_t UtcOffsetMinutes(int64_t) override { return 60; }
    int64_t now = 0;
};

// 2026-12-08 00:00 +01:00 (23:00 UTC the day before).
constexpr int64_t kLocalMidnight = 1796684400000;
constexpr int64_t kMinute = 60000;

class FeedHealth : public ::testing::Test {
  protected:
    FeedHealth() { clock.now = kLocalMidnight + 12 * 60 * kMinute; }

    // Ticks every step ms from now until `until`, collecting every event.
    std::vector<FeedHealthEvent> RunTo(int64_t until, const FeedSample& sample, int64_t step = 1000) {
        std::vector<FeedHealthEvent> all;
        while (clock.now < until) {
            clock.now += step;
            for (FeedHealthEvent& e : monitor.Tick(sample))
                all.push_back(std::move(e));
        }
        return all;
    }
    void Line(int camera) {
        DeliveredLine line;
        line.camera = camera;
        line.utcMilliseconds = clock.now;
        line.source = "10.0.0.7";
        monitor.Accept(line);
    }
    static std::string States(const std::vector<FeedHealthEvent>& events) {
        std::string out;
        for (const FeedHealthEvent& e : events)
            out += e.kind + (e.ending ? " end;" : " start;");
        return out;
    }

    TestClock clock;
    FeedHealthMonitor monitor{&clock};
};

TEST_F(FeedHealth, APortThatFailsAndComesBackIsOneStartAndOneEnd) {
    FeedSample sample;
    sample.channels[2].watched = true;
    sample.channels[2].source = "COM3";
    sample.channels[2].portFailingMilliseconds = 1500;  // a reopen under way is no failure yet
    EXPECT_TRUE(RunTo(clock.now + 5000, sample).empty());
    sample.channels[2].portFailingMilliseconds = 4000;
    std::vector<FeedHealthEvent> events = RunTo(clock.now + 60000, sample);
    ASSERT_EQ(States(events), "port start;");
    EXPECT_EQ(events[0].camera, 3);
    EXPECT_EQ(events[0].source, "COM3");
    sample.channels[2].portFailingMilliseconds = -1;
    EXPECT_EQ(States(RunTo(clock.now + 5000, sample)), "port end;");
}

TEST_F(FeedHealth, APortThatDidNotOpenAtTheStartSaysSoAndEndsWhenItOpens) {
    FeedSample sample;
    sample.channels[0].watched = true;
    sample.channels[0].portNotOpened = true;
    sample.channels[0].portFailingMilliseconds = 3000;
    std::vector<FeedHealthEvent> events = RunTo(clock.now + 1000, sample);
    ASSERT_EQ(States(events), "port start;");
    EXPECT_EQ(events[0].detail.rfind("the port cannot be opened", 0), 0u) << events[0].detail;
    sample.channels[0].portNotOpened = false;
    sample.channels[0].portFailingMilliseconds = -1;
    events = RunTo(clock.now + 1000, sample);
    ASSERT_EQ(States(events), "port end;");
    EXPECT_EQ(events[0].detail, "the port works again");
}

TEST_F(FeedHealth, LineErrorsAboveTheThresholdStartOnceAndEndAfterQuietMinutes) {
    zamri::FeedHealthSettings settings;
    settings.lineErrorsPerMinute = 20;
    monitor.SetSettings(settings);
    FeedSample sample;
    sample.channels[0].watched = true;
    // 19 errors in a minute are within bounds.
    std::vector<FeedHealthEvent> events;
    for (int s = 0; s < 120; ++s) {
        sample.channels[0].lineErrors += s % 6 == 0 ? 1 : 0;  // 10 a minute
        for (FeedHealthEvent& e : RunTo(clock.now + 1000, sample))
            events.push_back(e);
    }
    EXPECT_TRUE(events.empty());
    // A bad cable: 2 a second for three minutes is one start.
    for (int s = 0; s < 180; ++s) {
        sample.channels[0].lineErrors += 2;
        for (FeedHealthEvent& e : RunTo(clock.now + 1000, sample))
            events.push_back(e);
    }
    ASSERT_EQ(States(events), "line-errors start;");
    EXPECT_NE(events[0].detail.find("framing and parity errors"), std::string::npos);
    // It ends five quiet minutes after the last bad minute, not sooner.
    EXPECT_TRUE(RunTo(clock.now + 5 * kMinute, sample).empty());
    EXPECT_EQ(States(RunTo(clock.now + 2 * kMinute, sample)), "line-errors end;");
    // A port opened anew counts from 0: no burst is read from the lower count.
    sample.channels[0].lineErrors = 3;
    EXPECT_TRUE(RunTo(clock.now + kMinute, sample).empty());
}

TEST_F(FeedHealth, SilenceCountsOnlyWithinOpeningHoursAcrossMidnight) {
    zamri::FeedHealthSettings settings;
    std::vector<std::string> errors;
    ASSERT_EQ(zamri::ParseFeedHealthSettings("30", "22:00-06:00", "", &settings, &errors), 0);
    monitor.SetSettings(settings);
    FeedSample sample;
    sample.channels[4].watched = true;
    sample.channels[4].source = "COM5";
    // Silent all afternoon and evening, but the hours begin at 22:00: the start is at 22:30.
    std::vector<FeedHealthEvent> events = RunTo(kLocalMidnight + (22 * 60 + 29) * kMinute, sample, 10000);
    EXPECT_TRUE(events.empty());
    events = RunTo(kLocalMidnight + (22 * 60 + 31) * kMinute, sample, 10000);
    ASSERT_EQ(States(events), "silent start;");
    EXPECT_EQ(events[0].camera, 5);
    // A line ends it; the next 30 silent minutes (over midnight) start it again.
    Line(5);
    EXPECT_EQ(States(RunTo(clock.now + 1000, sample, 10000)), "silent end;");
    Line(5);
    events = RunTo(kLocalMidnight + (24 * 60 + 5 * 60 + 50) * kMinute, sample, 10000);
    EXPECT_EQ(States(events), "silent start;");
    // The silence from 05:50 runs past 06:00, when it no longer counts.
    Line(5);
    EXPECT_EQ(States(RunTo(kLocalMidnight + (24 * 60 + 12 * 60) * kMinute, sample, 10000)), "silent end;");
}

TEST_F(FeedHealth, ASenderRefusedAThousandTimesIsOneStartAndOneEnd) {
    FeedSample sample;
    sample.gates.push_back({"TCP server", 0, ""});
    std::vector<FeedHealthEvent> events;
    for (int knock = 0; knock < 1000; ++knock) {
        sample.gates[0].refused += 1;
        sample.gates[0].lastPeer = knock % 100 == 99 ? "10.0.0.9" : "10.0.0.8";
        for (FeedHealthEvent& e : RunTo(clock.now + 1000, sample))
            events.push_back(e);
    }
    ASSERT_EQ(States(events), "refused-sender start;refused-sender start;");
    EXPECT_EQ(events[0].camera, 0);
    EXPECT_EQ(events[0].source, "10.0.0.8");
    EXPECT_EQ(events[1].source, "10.0.0.9");
    events = RunTo(clock.now + 6 * kMinute, sample);
    EXPECT_EQ(States(events), "refused-sender end;refused-sender end;");
    // A sweep over many addresses follows only the first few.
    for (int peer = 0; peer < 100; ++peer) {
        sample.gates[0].refused += 1;
        sample.gates[0].lastPeer = "10.1.0." + std::to_string(peer);
        for (FeedHealthEvent& e : RunTo(clock.now + 1000, sample))
            events.push_back(e);
    }
    EXPECT_EQ(events.size(), 2 + FeedHealthMonitor::kMaxActive);
}

TEST_F(FeedHealth, TwoSendersRefusedWithinOneTickAreTwoStarts) {
    FeedSample sample;
    sample.gates.push_back({"listen://9100", 2, "10.0.0.9", {{"10.0.0.8", 1}, {"10.0.0.9", 2}}});
    std::vector<FeedHealthEvent> events = RunTo(clock.now + 1000, sample);
    ASSERT_EQ(States(events), "refused-sender start;refused-sender start;");
    EXPECT_EQ(events[0].source, "10.0.0.8");
    EXPECT_EQ(events[1].source, "10.0.0.9");
    // 10.0.0.8 again, and a third sender: only the newcomer is news.
    sample.gates[0] = {"listen://9100", 4, "10.0.0.7", {{"10.0.0.8", 3}, {"10.0.0.9", 2}, {"10.0.0.7", 4}}};
    events = RunTo(clock.now + 1000, sample);
    ASSERT_EQ(States(events), "refused-sender start;");
    EXPECT_EQ(events[0].source, "10.0.0.7");
    EXPECT_EQ(States(RunTo(clock.now + 6 * kMinute, sample)),
              "refused-sender end;refused-sender end;refused-sender end;");
}

TEST_F(FeedHealth, FramesForAnUnknownCameraAreOneStartAndOneEnd) {
    FeedSample sample;
    std::vector<FeedHealthEvent> events;
    for (int frame = 0; frame < 50; ++frame) {
        sample.unexpectedFrames += 3;
        sample.lastUnexpectedCamera = 40;
        sample.lastUnexpectedPeer = "10.0.0.7";
        for (FeedHealthEvent& e : RunTo(clock.now + 1000, sample))
            events.push_back(e);
    }
    ASSERT_EQ(States(events), "unexpected-camera start;");
    EXPECT_NE(events[0].detail.find("camera 40"), std::string::npos);
    EXPECT_EQ(States(RunTo(clock.now + 6 * kMinute, sample)), "unexpected-camera end;");
}

TEST(FeedHealthRecord, HasTheEventRecordsFieldsAndNullReceiptWithoutCamera) {
    FeedHealthEvent event;
    event.utcMilliseconds = 1796734912345;
    event.utcOffsetMinutes = 60;
    event.camera = 3;
    event.source = "COM3";
    event.receipt = 17;
    event.kind = "port";
    event.detail = "the \"port\" fails";
    std::string record;
    zamri::AppendFeedHealthRecord(event, &record);
    EXPECT_EQ(
        record,
        "{\"event\":\"health\",\"time\":\"2026-12-08T14:01:52.345+01:00\",\"camera\":3,\"source\":\"COM3\","
        "\"receipt\":17,\"kind\":\"port\",\"state\":\"start\",\"detail\":\"the \\\"port\\\" fails\"}\n");
    event.camera = 0;
    event.ending = true;
    record.clear();
    zamri::AppendFeedHealthRecord(event, &record);
    EXPECT_NE(record.find("\"camera\":0,\"source\":\"COM3\",\"receipt\":null,"), std::string::npos) << record;
    EXPECT_NE(record.find("\"state\":\"end\""), std::string::npos) << record;
}

TEST(FeedHealthSettings, BadValuesAreReportedAndTheirDefaultsKept) {
    zamri::FeedHealthSettings settings;
    std::vector<std::string> errors;
    EXPECT_EQ(zamri::ParseFeedHealthSettings("-5", "8-17", "lots", &settings, &errors), 3);
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0].rfind("[Options] HealthSilentMinutes: \"-5\"", 0), 0u) << errors[0];
    EXPECT_EQ(errors[1].rfind("[Options] HealthOpeningHours: \"8-17\"", 0), 0u) << errors[1];
    EXPECT_EQ(settings.silentMinutes, 0);
    EXPECT_EQ(settings.openMinute, settings.closeMinute);
    EXPECT_EQ(settings.lineErrorsPerMinute, zamri::kDefaultHealthLineErrors);
    ASSERT_EQ(zamri::ParseFeedHealthSettings("", "07:30-22:00", "5", &settings, &errors), 0);
    EXPECT_TRUE(zamri::WithinOpeningHours(settings, 7 * 60 + 30));
    EXPECT_FALSE(zamri::WithinOpeningHours(settings, 22 * 60));
    EXPECT_EQ(settings.lineErrorsPerMinute, 5);
}

}  // namespace
