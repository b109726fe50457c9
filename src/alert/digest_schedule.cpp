#include "alert/digest_schedule.h"

#include <algorithm>
#include <cstdio>

#include "journal/journal_record.h"
#include "text/civil_days.h"

namespace zamri {

namespace {

constexpr int64_t kMinute = 60 * 1000;
constexpr int64_t kDay = 24 * 60 * kMinute;

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0);
}

int64_t LocalOf(int64_t utc, const AlertClock& clock) {
    return utc + clock.UtcOffsetMinutes(utc) * kMinute;
}

// When the digest of the local day `days` (since 1970-01-01) is made.
int64_t DigestInstant(const DigestTime& time, int64_t days, const AlertClock& clock) {
    return UtcOfLocalTime(days * kDay + (time.hour * 60 + time.minute) * kMinute, clock);
}

DigestPeriod PeriodEndingOn(const DigestTime& time, int64_t days, const AlertClock& clock) {
    DigestPeriod period;
    period.startUtcMilliseconds = DigestInstant(time, days - 1, clock);
    period.endUtcMilliseconds = DigestInstant(time, days, clock);
    CivilFromDays(time.hour < 12 ? days - 1 : days, &period.year, &period.month, &period.day);
    return period;
}

// The local day on which a period ends, from its end.
int64_t EndDay(const DigestPeriod& period, const AlertClock& clock) {
    return FloorDiv(LocalOf(period.endUtcMilliseconds, clock), kDay);
}

}  // namespace

std::string DigestDateText(const DigestPeriod& period) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", period.year, period.month, period.day);
    return text;
}

std::string DigestFileName(const DigestPeriod& period) {
    return "digest-" + DigestDateText(period) + ".csv";
}

int64_t UtcOfLocalTime(int64_t local, const AlertClock& clock) {
    // The offsets in force around that time; a zone changes them at most once a day or so.
    const int32_t offsets[3] = {clock.UtcOffsetMinutes(local - kDay), clock.UtcOffsetMinutes(local),
                                clock.UtcOffsetMinutes(local + kDay)};
    int64_t first = INT64_MAX, low = INT64_MAX, high = INT64_MIN;
    for (int32_t offset : offsets) {
        int64_t utc = local - offset * kMinute;
        low = std::min(low, utc);
        high = std::max(high, utc);
        if (clock.UtcOffsetMinutes(utc) == offset)
            first = std::min(first, utc);
    }
    if (first != INT64_MAX)
        return first;
    // Skipped: the jump lies between the candidates; find its first millisecond.
    int32_t before = clock.UtcOffsetMinutes(low);
    while (high - low > 1) {
        int64_t middle = low + (high - low) / 2;
        if (clock.UtcOffsetMinutes(middle) == before)
            low = middle;
        else
            high = middle;
    }
    return high;
}

DigestPeriod NextDigestPeriod(const DigestTime& time, int64_t utc, const AlertClock& clock) {
    int64_t today = FloorDiv(LocalOf(utc, clock), kDay);
    for (int64_t days = today - 1;; ++days) {
        if (DigestInstant(time, days, clock) > utc)
            return PeriodEndingOn(time, days, clock);
    }
}

DigestPeriod LastDigestPeriod(const DigestTime& time, int64_t utc, const AlertClock& clock) {
    int64_t today = FloorDiv(LocalOf(utc, clock), kDay);
    for (int64_t days = today + 1;; --days) {
        if (DigestInstant(time, days, clock) <= utc)
            return PeriodEndingOn(time, days, clock);
    }
}

DigestSchedule::DigestSchedule(const DigestTime& time, const AlertClock& clock, int64_t fromUtcMilliseconds)
    : time(time), clock(clock) {
    if (time.on)
        next = NextDigestPeriod(time, fromUtcMilliseconds, clock);
}

bool DigestSchedule::Due(DigestPeriod* period) {
    if (!time.on)
        return false;
    int64_t now = clock.UtcMilliseconds();
    if (now < next.endUtcMilliseconds)
        return false;
    // After a long stop, the oldest digest still worth making.
    DigestPeriod latest = NextDigestPeriod(time, now, clock);
    int64_t oldestDay = EndDay(latest, clock) - kMaxCatchUp;
    if (EndDay(next, clock) < oldestDay)
        next = PeriodEndingOn(time, oldestDay, clock);
    *period = next;
    next = PeriodEndingOn(time, EndDay(next, clock) + 1, clock);
    return true;
}

int64_t DigestSchedule::NextUtcMilliseconds() const {
    return time.on ? next.endUtcMilliseconds : INT64_MAX;
}

}  // namespace zamri
