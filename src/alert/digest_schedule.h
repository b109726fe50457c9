// When the daily digest is made, and which stretch of time it covers. The digest is made at
// DigestTime local time and covers the 24 hours of local clock time before it (23 or 25 on the
// days the clocks change): with 07:00 from yesterday 07:00 to today 07:00, with 00:00 exactly
// the calendar day. It is named after the day it is mostly about: for a DigestTime before noon
// the day before the one on which it is made, from noon on that day itself.
//
// A DigestTime that the clocks skip (02:30 on the night they go forward) makes the digest at the
// jump; one they pass twice (the night they go back) makes it the first time.
#pragma once

#include <cstdint>
#include <string>

#include "alert/alert_clock.h"
#include "config/alert_settings.h"

namespace zamri {

struct DigestPeriod {
    int64_t startUtcMilliseconds = 0;  // included
    int64_t endUtcMilliseconds = 0;    // not included; the moment the digest is due
    int year = 0, month = 0, day = 0;  // the day it is named after
};

// "2026-12-08".
std::string DigestDateText(const DigestPeriod& period);
// "digest-2026-12-08.csv", the CSV file's name beside the journal.
std::string DigestFileName(const DigestPeriod& period);

// The first instant whose local time (milliseconds since 1970 of the local calendar) is
// localMilliseconds, or, when the clocks skip that time, the instant they jump past it.
int64_t UtcOfLocalTime(int64_t localMilliseconds, const AlertClock& clock);

// The period of the first digest due strictly after utcMilliseconds.
DigestPeriod NextDigestPeriod(const DigestTime& time, int64_t utcMilliseconds, const AlertClock& clock);

// The period of the last digest due at or before utcMilliseconds.
DigestPeriod LastDigestPeriod(const DigestTime& time, int64_t utcMilliseconds, const AlertClock& clock);

// Tells the digest's timer when a digest is due. Periods come one at a time, oldest first; after
// a long stop (or a clock set forward) at most the last kMaxCatchUp missed ones are made.
class DigestSchedule {
  public:
    static constexpr int kMaxCatchUp = 7;

    // The first digest due is the first one whose time comes after fromUtcMilliseconds (the
    // program's start, or the end of the last digest that was made).
    DigestSchedule(const DigestTime& time, const AlertClock& clock, int64_t fromUtcMilliseconds);

    // true with the period of a digest that is due now; false when none is (or no DigestTime).
    bool Due(DigestPeriod* period);
    // When the next digest is due, in UTC milliseconds; INT64_MAX without a DigestTime.
    int64_t NextUtcMilliseconds() const;

  private:
    const DigestTime time;
    const AlertClock& clock;
    DigestPeriod next;
};

}  // namespace zamri
