// Helpers of the receipt tests: a clock set by hand, and the code page 1252 the recorder
// shows text in, for golden files written in UTF-8.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "receipt/receipt_reader.h"

// 2026-12-08 13:00:00 UTC, a Tuesday (14:00 local time with the offset of +60 the tests use).
constexpr int64_t kGoldenStart = 1796734800000;

class ManualClock : public zamri::ReceiptClock {
  public:
    explicit ManualClock(int64_t start) : now(start) {}
    int64_t UtcMilliseconds() override { return now; }
    int64_t now;
};

// The Latin-1 letters and the euro sign of UTF-8 text as page 1252 bytes (other characters
// become '?'), and back.
std::string Utf8ToCp1252(std::string_view utf8);
void Cp1252ToUtf8(std::string_view text, std::string* utf8);

// One camera's till: prints lines (page 1252 given in UTF-8) and opens its drawer, one line
// every 100 ms, numbering receipts as the delivery step does.
class Till {
  public:
    Till(std::shared_ptr<const zamri::ReceiptTemplate> receiptTemplate,
         std::shared_ptr<const zamri::ExceptionRules> rules)
        : clock(kGoldenStart), reader(std::move(receiptTemplate), std::move(rules), &clock) {}

    // Returns the flag the reader adds (4 or 0).
    int Print(const std::string& utf8, bool end = false);
    // Prints the lines, the last one ending the receipt.
    void Receipt(std::initializer_list<const char*> lines);
    void Drawer();
    // Lets time pass, asking the reader each second as the program does.
    void Wait(int milliseconds);
    void Flush() { reader.Flush(&done); }

    // The kinds of all exceptions handed on so far, "kind amount" each, parted by "; ".
    std::string Exceptions() const;

    ManualClock clock;
    zamri::ReceiptReader reader;
    std::vector<zamri::ReadReceipt> done;
    uint32_t receipt = 1;
    bool open = false;
};
