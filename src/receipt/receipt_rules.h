// What counts as an exception: the built-in kinds with their switches and thresholds, and the
// user's rules ([Rule N] in the settings, receipt_settings.h), compiled once and shared by the
// readers of every camera.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "receipt/line_pattern.h"
#include "receipt/money.h"
#include "receipt/receipt_template.h"
#include "receipt/receipt_text.h"

namespace zamri {

// User rules live in [Rule 1] to [Rule 99].
constexpr int kMaxRules = 99;

enum class ExceptionKind : uint8_t { Void, Refund, NoSale, Discount, PriceOverride, Cancel };
constexpr int kExceptionKindCount = 6;

// "void", "refund", "no-sale", "discount", "price-override", "cancel".
const char* ExceptionKindName(ExceptionKind kind);
// The kind of a name written in any case; false when it is none.
bool FindExceptionKind(std::string_view name, ExceptionKind* kind);

struct KindOptions {
    bool on = true;
    Money threshold = 0;  // the smallest amount (either sign) that counts; 0: every one
    bool banner = true;   // a banner line when the exception is known only at the receipt's end
};

struct ExceptionOptions {
    KindOptions kinds[kExceptionKindCount];
    // How long a receipt waits after its end for the drawer to open, and a drawer that opened
    // between receipts for the next receipt to begin, before it counts as opened without a
    // sale. Tills kick the drawer just after the cut or just before the first line.
    int drawerGraceSeconds = 3;
};

struct Transaction;

// A condition of a rule: "total > 100", "cashier = 17, 23", "drawer = yes".
struct Condition {
    enum class Field : uint8_t {
        Total,
        Subtotal,
        Change,
        Amount,  // amounts
        Voids,
        Lines,
        Tenders,  // counts
        Tender,
        Cashier,
        Register,
        Number,  // texts
        Drawer,
        Kind,
    };
    enum class Op : uint8_t { Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual };

    Field field = Field::Total;
    Op op = Op::Equal;
    int64_t number = 0;              // amounts in hundredths, counts as they are, drawer 1 or 0
    std::vector<std::string> texts;  // texts (folded); Kind: the kinds' names
};

// Parses "FIELD OP VALUE" conditions joined by "and". 1, or 0 with a sentence in *error.
int ParseConditions(std::string_view text, const TextFolder& folder, std::vector<Condition>* conditions,
                    std::string* error);

// A time of day window in local time, "22:00-06:00" (it may pass midnight).
struct TimeWindow {
    int startMinute = 0;
    int endMinute = 0;  // not inside
    bool set = false;

    bool Contains(int64_t utcMilliseconds, int32_t utcOffsetMinutes) const;
};
int ParseTimeWindow(std::string_view text, TimeWindow* window, std::string* error);

struct Rule {
    enum class Type : uint8_t {
        Line,      // Line= (with conditions on its amount at most): decided at the line
        Receipt,   // Match= on the transaction (and Line= if given): decided at the receipt's end
        Sequence,  // First= then Then= within Within= seconds on the same camera
    };
    int number = 0;  // of its [Rule N] section
    std::string name;
    Type type = Type::Line;
    bool hasPattern = false;
    LinePattern pattern;
    std::vector<Condition> conditions;
    TimeWindow hours;
    bool banner = true;
    int first = -1;  // events: the built-in kinds 0 to 5, then rule i as kExceptionKindCount + i
    int then = -1;
    int64_t withinMilliseconds = 0;
};

class ExceptionRules {
  public:
    // The built-in kinds alone, with these options.
    explicit ExceptionRules(const ExceptionOptions& options = ExceptionOptions(), int codePage = 1252);

    // The built-in kinds with options, and the rules of the [Rule N] sections. A rule that
    // cannot be used is reported in errors (when not null) with its section and what is wrong,
    // and left out; the others work.
    static std::shared_ptr<const ExceptionRules> Compile(const ExceptionOptions& options,
                                                         const std::vector<SettingSection>& sections,
                                                         int codePage, std::vector<std::string>* errors);

    const ExceptionOptions& Options() const { return options; }
    const std::vector<Rule>& Rules() const { return rules; }
    const TextFolder& Folder() const { return folder; }
    // The name of an event (a built-in kind or a rule).
    std::string EventName(int event) const;

    // Whether the transaction meets every condition. kinds: the built-in kinds found in the
    // receipt; lineAmount for Amount (null: none). *amount receives the amount the first amount
    // condition looked at, *field the field it came from (both untouched when there is none).
    bool Meets(const std::vector<Condition>& conditions, const Transaction& t, const bool kinds[],
               const Money* lineAmount, Money* amount, int* amountField) const;

    // Whether the conditions on a Line pattern's amount hold (the others aside).
    bool MeetsLineAmount(const std::vector<Condition>& conditions, const Money* lineAmount) const;

  private:
    ExceptionOptions options;
    TextFolder folder;
    std::vector<Rule> rules;
};

}  // namespace zamri
