// The daily digest: per cashier and per camera, the receipts, their totals and the exceptions
// by kind with their amounts, over one digest period (digest_schedule.h). It is made from the
// period's transaction and exception records, so it can be made again from the journal at any
// time, after a restart too. Texts are UTF-8; amounts are hundredths of the currency unit.
//
// As a webhook body ("digest" event; the store's name is added by the dispatcher):
//
//   {"event":"digest","date":"2026-12-08","from":"2026-12-08T00:00:00.000+01:00",
//    "to":"2026-12-09T00:00:00.000+01:00","receipts":212,"total":4180.35,
//    "exceptions":[{"kind":"refund","count":2,"amount":-25.00},{"kind":"no-sale","count":1,"amount":null}],
//    "cashiers":[{"cashier":"17","receipts":120,"total":2301.10,"exceptions":[...]},
//                {"cashier":null,...}],
//    "cameras":[{"camera":3,"receipts":98,"total":1879.25,"exceptions":[...]}]}
//
// As CSV (the file DigestFileName names, beside the journal; UTF-8 with a byte-order mark so
// that spreadsheet programs read the names right; lines end in CR LF), one row per group and
// one per kind of exception in it:
//
//   date,group,name,receipts,total,exception,count,amount
//   2026-12-08,store,,212,4180.35,,,
//   2026-12-08,store,,,,refund,2,-25.00
//   2026-12-08,cashier,17,120,2301.10,,,
//   2026-12-08,cashier,17,,,refund,1,-12.50
//   2026-12-08,camera,3,98,1879.25,,,
//
//   date       the digest's day
//   group      store (the whole period), cashier or camera
//   name       the cashier as the receipts show it (empty: receipts whose cashier was not
//              read), or the camera's number; empty for the store
//   receipts   the group's transactions; total the sum of the totals they show
//   exception  a kind of exception (a built-in kind or the name of a user's rule), with the
//              number found and the sum of their amounts (empty when none had an amount)
// A text that a spreadsheet would take for a formula (beginning with =, +, -, @) gets a ' before
// it.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "alert/digest_schedule.h"

namespace zamri {

// What the digest takes of a transaction record.
struct DigestReceipt {
    int64_t utcMilliseconds = 0;  // the time of its last line
    int camera = 0;
    std::string cashier;  // empty: not read
    bool hasTotal = false;
    int64_t total = 0;
};

// What the digest takes of an exception record.
struct DigestException {
    int64_t utcMilliseconds = 0;
    int camera = 0;
    std::string cashier;
    std::string kind;
    bool hasAmount = false;
    int64_t amount = 0;
};

class DailyDigest {
  public:
    // clock: the local offsets of the times the JSON shows (from and to).
    DailyDigest(const DigestPeriod& period, const AlertClock& clock);

    // Records outside the period are left out.
    void Add(const DigestReceipt& receipt);
    void Add(const DigestException& exception);

    // The record object of a "digest" webhook body (no newline).
    std::string Json() const;
    std::string Csv() const;

  private:
    struct Kind {
        uint64_t count = 0;
        bool hasAmount = false;
        int64_t amount = 0;
    };
    struct Group {
        uint64_t receipts = 0;
        int64_t total = 0;
        std::map<std::string, Kind> kinds;
    };
    // Cashiers in a natural order: "9" before "17", names by their bytes, "not read" last.
    struct CashierOrder {
        bool operator()(const std::string& a, const std::string& b) const;
    };

    bool Inside(int64_t utcMilliseconds) const;
    static void AppendGroupJson(const Group& group, std::string* out);
    void AppendGroupCsv(const char* kind, const std::string& name, const Group& group,
                        std::string* out) const;

    const DigestPeriod period;
    const AlertClock& clock;
    Group store;
    std::map<std::string, Group, CashierOrder> cashiers;
    std::map<int, Group> cameras;
};

}  // namespace zamri
