// Event records as people read them: one line each, or CSV rows (header first), for
// exceptions and transactions; and the exceptions report, counts and amounts per cashier,
// per camera and per day, as a table or as CSV.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "journal/event_record.h"

namespace zamri {

// The CSV header row for records of event ("exception" or "transaction").
void AppendEventCsvHeader(const std::string& event, std::string* out);
// One CSV row in the columns of the header for record.event.
void AppendEventCsvRow(const EventRecord& record, std::string* out);
// One readable line, newline included; fields that are not known are left out.
void AppendEventLine(const EventRecord& record, std::string* out);

// "-12.50": amounts in the journal are in the till's currency, shown with two decimals.
std::string FormatAmount(double amount);

class ExceptionReport {
  public:
    void Add(const EventRecord& exception);
    uint64_t Count() const { return all.count; }

    // The table, a heading line first (title), then a section per cashier, camera and day.
    void AppendTable(const std::string& title, std::string* out) const;
    // The same as CSV: by,key,count,amount and a column per kind.
    void AppendCsv(std::string* out) const;

  private:
    struct Tally {
        uint64_t count = 0;
        double amount = 0;
        std::map<std::string, uint64_t> kinds;
    };
    struct Row {
        const char* by;
        std::string key;
        const Tally* tally;
    };
    std::vector<std::string> Kinds() const;
    std::vector<Row> Rows() const;

    Tally all;
    std::map<std::string, Tally> byCashier;
    std::map<int, Tally> byCamera;
    std::map<std::string, Tally> byDay;
};

}  // namespace zamri
