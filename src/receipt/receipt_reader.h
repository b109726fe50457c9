// Reads one camera's delivered lines into transactions and exceptions. The delivery step owns
// one reader per camera and calls it on the thread that delivers that camera's lines (it is not
// safe to call from two threads at once); template and rules are shared by all readers.
//
// Order of calls for a line: Line() before the overlay call (its result may add flag 4), then
// the overlay, then the receipts Line() handed back go to the sinks as records. A receipt is
// handed back when it ends: at a line flagged 2, at a line of another receipt (its end line was
// dropped, or it never had one), at EndReceipt() (an idle end) or at Flush() (stop). It waits
// DrawerGrace seconds first for a drawer that opens just after the cut, unless the next line or
// drawer event comes sooner; Tick() (about once a second) hands on what has waited long enough.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "receipt/line_pattern.h"
#include "receipt/line_reading.h"
#include "receipt/receipt_rules.h"
#include "receipt/receipt_template.h"
#include "receipt/transaction.h"

namespace zamri {

constexpr int kReceiptFirstLine = 1;
constexpr int kReceiptEndLine = 2;
constexpr int kReceiptImportantLine = 4;

struct ReceiptLine {
    std::string_view text;  // masked, as the overlay gets it
    int flags = 0;          // 1 first line, 2 end of the receipt
    int64_t utcMilliseconds = 0;
    int32_t utcOffsetMinutes = 0;
    int camera = 0;
    std::string_view source;
    uint32_t receipt = 0;  // the delivery step's receipt number
};

// The time source for Tick(); tests put in their own.
class ReceiptClock {
  public:
    virtual ~ReceiptClock() = default;
    virtual int64_t UtcMilliseconds() = 0;
};
ReceiptClock& SystemReceiptClock();

class ReceiptReader {
  public:
    // receiptTemplate null: the camera's lines are not read (no transactions, no exceptions).
    // rules null: transactions only. clock null: the system clock. The clock must outlive the
    // reader.
    ReceiptReader(std::shared_ptr<const ReceiptTemplate> receiptTemplate,
                  std::shared_ptr<const ExceptionRules> rules, ReceiptClock* clock = nullptr);

    // Reads one line. Returns kReceiptImportantLine when an exception or a rule matched the
    // line itself, else 0. Receipts that ended are appended to done.
    int Line(const ReceiptLine& line, std::vector<ReadReceipt>* done);
    // The drawer opened. On an open receipt it belongs to that receipt; between receipts, to
    // the one that just ended or the one about to begin (within the grace), else to a receipt
    // of its own with the event's receipt number and no lines: a drawer opened without a sale.
    void Drawer(const DrawerEvent& event, std::vector<ReadReceipt>* done);
    // Ends the open receipt as if its last line had been flagged 2.
    void EndReceipt(std::vector<ReadReceipt>* done);
    // Hands on a receipt, or a drawer event, whose grace has passed.
    void Tick(std::vector<ReadReceipt>* done);
    // Ends and hands on everything at once.
    void Flush(std::vector<ReadReceipt>* done);

    // Takes other settings from the next line on; with other rules, sequences start afresh and
    // the receipts under way are judged by the new rules.
    void Reconfigure(std::shared_ptr<const ReceiptTemplate> receiptTemplate,
                     std::shared_ptr<const ExceptionRules> rules);

  private:
    // The constructors are written out so that clang sees these as default-constructible
    // inside std::optional before the enclosing class is complete.
    struct Occurrence {
        Occurrence() {}
        int event = -1;
        int64_t utcMilliseconds = 0;
        int32_t utcOffsetMinutes = 0;
        std::string line;
        std::optional<Money> amount;
    };
    struct FieldLine {
        bool set = false;
        std::string text;
        int64_t utcMilliseconds = 0;
        int32_t utcOffsetMinutes = 0;
    };
    struct Receipt {
        Receipt() {}
        Transaction t;
        ReadContext context;
        bool amountSeen = false;
        bool detected[kExceptionKindCount] = {};
        std::vector<Occurrence> occurrences;
        std::vector<ReceiptException> exceptions;
        std::optional<Occurrence> refundHeading;  // a refund receipt's heading, its amount the total
        int refundHeadingException = -1;
        bool refundWithAmount = false;
        std::optional<Occurrence> cancelWithoutAmount;
        int cancelException = -1;
        FieldLine fieldLines[kReceiptFieldCount];
        std::vector<Occurrence> ruleLines;  // each receipt rule's first matching line
        int64_t drawerUtcMilliseconds = 0;
        int32_t drawerUtcOffsetMinutes = 0;
    };

    void Open(const ReceiptLine& line);
    void Release(std::vector<ReadReceipt>* done);
    void EndOpen(std::vector<ReadReceipt>* done);
    void ReleasePendingDrawer(std::vector<ReadReceipt>* done);
    int Apply(const ReceiptLine& line);
    // A built-in kind found at a line; whether it was reported there.
    bool Detect(ExceptionKind kind, const ReceiptLine& line, std::optional<Money> amount);
    ReceiptException& Report(Receipt& r, const std::string& kind, const Occurrence& at, bool atLine);
    void Finish(Receipt& r, std::vector<ReadReceipt>* done);
    void RunSequences(std::vector<Occurrence> events, std::vector<ReceiptException>* found);
    std::string Banner(const std::string& kind, const std::optional<Money>& amount) const;
    bool BannerWanted(const std::string& kind) const;
    int64_t GraceMilliseconds() const;

    std::shared_ptr<const ReceiptTemplate> receiptTemplate;
    std::shared_ptr<const ExceptionRules> rules;
    ReceiptClock* clock;
    std::optional<Receipt> open;
    std::optional<Receipt> held;  // ended, waiting for its drawer
    int64_t heldSince = 0;
    std::optional<DrawerEvent> pendingDrawer;  // between receipts, waiting for the next one
    std::vector<bool> armed;                   // per sequence rule: its First has happened
    std::vector<int64_t> armedAt;
    FoldedLine folded;
    PatternScratch scratch;
    LineReadings readings;
};

}  // namespace zamri
