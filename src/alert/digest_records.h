// The digest's view of the journal: the transaction and exception records of one digest period,
// read from the day files that hold it. Records are one JSON object a line, as the delivery step
// writes them beside the lines:
//
//   {"event":"transaction","time":"...","camera":3,"source":"COM3","receipt":17,"cashier":"17",
//    "total":12.5,...}
//   {"event":"exception","time":"...","camera":3,...,"kind":"refund","amount":-12.5,"line":"..."}
//
// Other lines (delivered lines, health records) and keys the digest does not use are skipped.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "alert/daily_digest.h"

namespace zamri {

enum class DigestRecordKind { kNone, kReceipt, kException };

// Reads one journal line. kReceipt fills *receipt, kException *exception; kNone for any other
// line, and for a record without a well-formed time or camera.
DigestRecordKind ReadDigestRecord(std::string_view line, DigestReceipt* receipt, DigestException* exception);

// A JSON number as hundredths ("-12.5": -1250, "3": 300, "0.125": 12, rounded half away from
// zero); false when text is no number.
bool ParseCents(std::string_view text, int64_t* cents);

// Adds every record of the period found in folder's day files to digest; the number of records
// added. Days whose file is missing add nothing.
long AddJournalRecords(const std::string& folder, const DigestPeriod& period, const AlertClock& clock,
                       DailyDigest* digest);

// Whether folder's day files hold any record (a line or an event) of the period: the journal's
// trace that the program ran then.
bool JournalHasRecordsIn(const std::string& folder, const DigestPeriod& period, const AlertClock& clock);

}  // namespace zamri
