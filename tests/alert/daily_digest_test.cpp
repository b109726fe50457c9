// The daily digest: when it is due (across midnight, on the nights the clocks change, after a
// long stop) and what it says, as JSON and as CSV, from the period's records.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "alert/daily_digest.h"
#include "alert/digest_schedule.h"
#include "fake_clock.h"

namespace {

using alert_testing::FakeClock;
using zamri::DigestPeriod;

constexpr int64_t kMinute = 60000;
constexpr int64_t kHour = 60 * kMinute;
constexpr int64_t kDay = 24 * kHour;
// 2026-12-08 00:00 UTC; the zone is one hour ahead.
constexpr int64_t kDec8 = 1796688000000;
// The clocks change at 01:00 UTC: forward on 2026-03-29, back on 2026-10-25.
constexpr int64_t kSpringJump = 1774746000000;
constexpr int64_t kAutumnJump = 1792890000000;

zamri::DigestTime At(int hour, int minute) {
    return zamri::DigestTime{true, hour, minute};
}

std::string Describe(const DigestPeriod& p) {
    return zamri::DigestDateText(p) + " " + std::to_string(p.startUtcMilliseconds) + "-" +
           std::to_string(p.endUtcMilliseconds);
}

TEST(DigestSchedule, AMidnightDigestIsDueAsTheDayEndsAndCoversExactlyThatDay) {
    FakeClock clock(kDec8 + 23 * kHour - kMinute);  // 23:59 local
    zamri::DigestSchedule schedule(At(0, 0), clock, clock.UtcMilliseconds());
    DigestPeriod period;
    EXPECT_FALSE(schedule.Due(&period));
    clock.Advance(kMinute - 1);
    EXPECT_FALSE(schedule.Due(&period));
    clock.Advance(1);
    ASSERT_TRUE(schedule.Due(&period));
    EXPECT_EQ(zamri::DigestFileName(period), "digest-2026-12-08.csv");
    EXPECT_EQ(period.startUtcMilliseconds, kDec8 - kHour);
    EXPECT_EQ(period.endUtcMilliseconds, kDec8 + 23 * kHour);
    EXPECT_FALSE(schedule.Due(&period));
    EXPECT_EQ(schedule.NextUtcMilliseconds(), kDec8 + 47 * kHour);
}

TEST(DigestSchedule, NamesTheDayTheDigestIsMostlyAbout) {
    FakeClock clock(kDec8 + 12 * kHour);  // 13:00 local on the 8th
    // A morning digest reports the day before; an evening one its own day.
    DigestPeriod morning = zamri::NextDigestPeriod(At(7, 0), clock.UtcMilliseconds(), clock);
    EXPECT_EQ(Describe(morning),
              "2026-12-08 " + std::to_string(kDec8 + 6 * kHour) + "-" + std::to_string(kDec8 + 30 * kHour));
    DigestPeriod evening = zamri::NextDigestPeriod(At(22, 15), clock.UtcMilliseconds(), clock);
    EXPECT_EQ(Describe(evening), "2026-12-08 " + std::to_string(kDec8 - 3 * kHour + 15 * kMinute) + "-" +
                                     std::to_string(kDec8 + 21 * kHour + 15 * kMinute));
    zamri::DigestSchedule off(zamri::DigestTime(), clock, clock.UtcMilliseconds());
    DigestPeriod period;
    EXPECT_FALSE(off.Due(&period));
    EXPECT_EQ(off.NextUtcMilliseconds(), INT64_MAX);
}

TEST(DigestSchedule, ATimeTheClocksSkipIsDueAtTheJumpAndOneTheyPassTwiceIsDueOnce) {
    FakeClock spring(kSpringJump - 2 * kHour, 60);
    spring.ChangeOffset(kSpringJump, 120);
    // 02:30 does not exist on 2026-03-29: the digest comes at the jump, 03:00 summer time.
    DigestPeriod skipped = zamri::NextDigestPeriod(At(2, 30), spring.UtcMilliseconds(), spring);
    EXPECT_EQ(skipped.endUtcMilliseconds, kSpringJump);
    EXPECT_EQ(skipped.startUtcMilliseconds, kSpringJump - kDay + 30 * kMinute);
    EXPECT_EQ(zamri::DigestDateText(skipped), "2026-03-28");
    DigestPeriod after = zamri::NextDigestPeriod(At(2, 30), skipped.endUtcMilliseconds, spring);
    EXPECT_EQ(after.endUtcMilliseconds, kSpringJump + kDay - 30 * kMinute);  // 02:30 +02:00 on the 30th

    FakeClock autumn(kAutumnJump - 3 * kHour, 120);
    autumn.ChangeOffset(kAutumnJump, 60);
    zamri::DigestSchedule schedule(At(2, 30), autumn, autumn.UtcMilliseconds());
    DigestPeriod period;
    // The first 02:30 (+02:00) is 00:30 UTC, the second (+01:00) 01:30 UTC.
    autumn.SetUtc(kAutumnJump - 30 * kMinute);
    ASSERT_TRUE(schedule.Due(&period));
    EXPECT_EQ(period.endUtcMilliseconds, kAutumnJump - 30 * kMinute);
    autumn.SetUtc(kAutumnJump + 31 * kMinute);
    EXPECT_FALSE(schedule.Due(&period));
    // The next period holds the extra hour.
    EXPECT_EQ(schedule.NextUtcMilliseconds(), kAutumnJump + kDay + 30 * kMinute);
}

TEST(DigestSchedule, AfterALongStopMakesTheLastWeeksDigestsOldestFirst) {
    FakeClock clock(kDec8 + 8 * kHour);
    zamri::DigestSchedule schedule(At(7, 0), clock, clock.UtcMilliseconds());
    clock.SetUtc(kDec8 + 10 * kDay + 8 * kHour);
    std::vector<std::string> names;
    DigestPeriod period;
    while (schedule.Due(&period))
        names.push_back(zamri::DigestDateText(period));
    EXPECT_EQ(names, (std::vector<std::string>{"2026-12-11", "2026-12-12", "2026-12-13", "2026-12-14",
                                               "2026-12-15", "2026-12-16", "2026-12-17"}));
}

zamri::DigestReceipt Receipt(int64_t utc, int camera, const std::string& cashier, int64_t total) {
    zamri::DigestReceipt r;
    r.utcMilliseconds = utc;
    r.camera = camera;
    r.cashier = cashier;
    r.hasTotal = total != 0;
    r.total = total;
    return r;
}

zamri::DigestException Exception(int64_t utc, int camera, const std::string& cashier, const std::string& kind,
                                 bool hasAmount, int64_t amount) {
    zamri::DigestException e;
    e.utcMilliseconds = utc;
    e.camera = camera;
    e.cashier = cashier;
    e.kind = kind;
    e.hasAmount = hasAmount;
    e.amount = amount;
    return e;
}

TEST(DailyDigest, SumsTheDayPerCashierAndCameraFromItsRecords) {
    FakeClock clock;
    // The calendar day of 2026-12-08 local (+01:00), as a midnight digest covers it.
    DigestPeriod period = zamri::NextDigestPeriod(At(0, 0), kDec8, clock);
    ASSERT_EQ(zamri::DigestDateText(period), "2026-12-08");
    zamri::DailyDigest digest(period, clock);
    const int64_t start = period.startUtcMilliseconds, end = period.endUtcMilliseconds;
    digest.Add(Receipt(start - 1, 3, "17", 99999));  // the day before: left out
    digest.Add(Receipt(start, 3, "17", 1250));
    digest.Add(Receipt(start + kHour, 3, "9", 500));
    digest.Add(Receipt(start + 2 * kHour, 12, "17", -2000));
    digest.Add(Receipt(end - 1, 12, "", 0));    // no total, no cashier read
    digest.Add(Receipt(end, 12, "17", 77700));  // the next day
    digest.Add(Exception(start + 2 * kHour, 12, "17", "refund", true, -2000));
    digest.Add(Exception(start + 3 * kHour, 3, "17", "refund", true, -5));
    digest.Add(Exception(start + 4 * kHour, 3, "9", "no-sale", false, 0));
    digest.Add(Exception(start + 5 * kHour, 3, "", "=HYPERLINK(\"x\")", true, 100));

    EXPECT_EQ(
        digest.Json(),
        "{\"event\":\"digest\",\"date\":\"2026-12-08\",\"from\":\"2026-12-08T00:00:00.000+01:00\","
        "\"to\":\"2026-12-09T00:00:00.000+01:00\",\"receipts\":4,\"total\":-2.50,\"exceptions\":["
        "{\"kind\":\"=HYPERLINK(\\\"x\\\")\",\"count\":1,\"amount\":1.00},"
        "{\"kind\":\"no-sale\",\"count\":1,\"amount\":null},{\"kind\":\"refund\",\"count\":2,\"amount\":-20."
        "05}],"
        "\"cashiers\":["
        "{\"cashier\":\"9\",\"receipts\":1,\"total\":5.00,\"exceptions\":[{\"kind\":\"no-sale\",\"count\":1,"
        "\"amount\":null}]},"
        "{\"cashier\":\"17\",\"receipts\":2,\"total\":-7.50,\"exceptions\":[{\"kind\":\"refund\",\"count\":2,"
        "\"amount\":-20.05}]},"
        "{\"cashier\":null,\"receipts\":1,\"total\":0.00,\"exceptions\":[{\"kind\":\"=HYPERLINK(\\\"x\\\")\","
        "\"count\":1,\"amount\":1.00}]}],"
        "\"cameras\":["
        "{\"camera\":3,\"receipts\":2,\"total\":17.50,\"exceptions\":[{\"kind\":\"=HYPERLINK(\\\"x\\\")\","
        "\"count\":1,\"amount\":1.00},{\"kind\":\"no-sale\",\"count\":1,\"amount\":null},{\"kind\":"
        "\"refund\","
        "\"count\":1,\"amount\":-0.05}]},"
        "{\"camera\":12,\"receipts\":2,\"total\":-20.00,\"exceptions\":[{\"kind\":\"refund\",\"count\":1,"
        "\"amount\":-20.00}]}]}");

    EXPECT_EQ(digest.Csv(),
              "\xEF\xBB\xBF"
              "date,group,name,receipts,total,exception,count,amount\r\n"
              "2026-12-08,store,,4,-2.50,,,\r\n"
              "2026-12-08,store,,,,\"'=HYPERLINK(\"\"x\"\")\",1,1.00\r\n"
              "2026-12-08,store,,,,no-sale,1,\r\n"
              "2026-12-08,store,,,,refund,2,-20.05\r\n"
              "2026-12-08,cashier,9,1,5.00,,,\r\n"
              "2026-12-08,cashier,9,,,no-sale,1,\r\n"
              "2026-12-08,cashier,17,2,-7.50,,,\r\n"
              "2026-12-08,cashier,17,,,refund,2,-20.05\r\n"
              "2026-12-08,cashier,,1,0.00,,,\r\n"
              "2026-12-08,cashier,,,,\"'=HYPERLINK(\"\"x\"\")\",1,1.00\r\n"
              "2026-12-08,camera,3,2,17.50,,,\r\n"
              "2026-12-08,camera,3,,,\"'=HYPERLINK(\"\"x\"\")\",1,1.00\r\n"
              "2026-12-08,camera,3,,,no-sale,1,\r\n"
              "2026-12-08,camera,3,,,refund,1,-0.05\r\n"
              "2026-12-08,camera,12,2,-20.00,,,\r\n"
              "2026-12-08,camera,12,,,refund,1,-20.00\r\n");
}

}  // namespace
