// The settings of receipt reading, as text in the settings file, and the functions that turn
// that text into the values the reader uses. Each function reports every problem as a sentence
// for the user (naming the section and key) and leaves out only what it cannot use.
//
// Receipt reading in the settings file
// ====================================
//
// Per channel, the template that reads its receipts:
//
//   [Channel 3]
//   Template=builtin     ; the built-in template
//   Template=2           ; the user template of section [Template 2] (1 to 32; without such a
//                        ; section, the built-in template, with a warning)
//   Template=none        ; the channel's receipts are not read: no transactions, no exceptions
//                        ; (also when the key is missing or empty, so that a settings file
//                        ; written before receipts were read keeps every line as it was)
//
// The built-in kinds of exception, in [Options]; each has a switch (1 on, the default; 0 off),
// a threshold where it has an amount (the smallest amount, of either sign, that counts; 0, the
// default, counts every one; written like 5 or 49.90), and a switch for its banner line (1 on,
// the default):
//
//   ExceptionVoid=1            ExceptionVoidThreshold=0            ExceptionVoidBanner=1
//   ExceptionRefund=1          ExceptionRefundThreshold=0          ExceptionRefundBanner=1
//   ExceptionNoSale=1                                              ExceptionNoSaleBanner=1
//   ExceptionDiscount=1        ExceptionDiscountThreshold=0        ExceptionDiscountBanner=1
//   ExceptionPriceOverride=1   ExceptionPriceOverrideThreshold=0   ExceptionPriceOverrideBanner=1
//   ExceptionCancel=1          ExceptionCancelThreshold=0          ExceptionCancelBanner=1
//   DrawerGrace=3              ; seconds (0 to 60) a drawer may open after a receipt's cut, or
//                              ; before its first line, and still belong to it
//
//   void            a voided line; its amount is the voided line's, as money going out
//   refund          a refunded line, or a refund receipt (its amount then is the total)
//   no-sale         the till's own no-sale text, or a drawer that opened on a receipt without
//                   a sale (no total, no tender, no line with an amount) or between receipts
//   discount        a discount line; its amount is the discount, as money going out
//   price-override  a price override; its amount is the new price when the line shows it
//   cancel          the whole transaction cancelled; its amount is the line's, else the total
//                   (or subtotal) the receipt shows
// An exception known at its line gives that line flag 4, as the Important list does. One known
// only when the receipt ends (a refund receipt over a threshold, a drawer without a sale, a
// Match rule, a sequence) adds a banner line at the end, such as "*** REFUND 120.00 ***".
//
// A user template, for a layout the built-in template does not read:
//
//   [Template 2]
//   Name=Corner shop till          ; for people
//   Builtin=1                      ; 1 (the default): the built-in template reads the fields
//                                  ; this section does not name; 0: only these patterns
//   Total=TOT. {amount}
//   Tender=PAID {word} {amount}|CASH {amount}
//   Cashier=* OPERATOR {word}
//   Number=SALE NO. {number} *
//
// The keys are the fields: Total, Subtotal, Tender, Change (each needs {amount}); Cashier,
// Register, Number (the till's own transaction number; each needs {text}, {word} or {number});
// Void, Refund, Discount, PriceOverride, Cancel (with or without {amount}); NoSale (no field).
// A Tender's name is its {text}, {word} or {number}, else the pattern's text before {amount}
// ("CASH"). A value holds one or more patterns parted by | (written \| inside a pattern); the
// first one that matches a line reads the field. A template pattern covers the whole line
// (blanks at either end aside): put * where the line holds more. Patterns: line_pattern.h
// (text, blanks, *, {amount}, {text}, {word}, {number}, \ before a special character); they
// are written in the recorder's code page, as the lines arrive, at most 255 characters.
//
// A user rule ([Rule 1] to [Rule 99], read in number order; a missing number ends nothing):
//
//   [Rule 1]
//   Name=Big refund                ; required, unique, at most 40 characters, not a kind's name
//   Line=REFUND {amount}           ; a pattern found anywhere in a line, like the Important list
//   Match=amount >= 100            ; conditions, all of which must hold
//   Hours=22:00-06:00              ; local time of day of the line (or drawer opening) that
//                                  ; triggers it: start included, end not; may pass midnight
//   Banner=1                       ; a banner line when it is known only at the receipt's end
//
//   [Rule 2]
//   Name=Void then no sale
//   First=void                     ; a built-in kind or a rule
//   Then=no-sale                   ; the same camera, within
//   Within=60                      ; seconds (1 to 86400)
//
// A rule has Line, Match or both (or First, Then and Within: a sequence). Line alone, or with
// conditions on its amount only, is decided at the line: the line gets flag 4. Match with any
// other field is decided when the receipt ends, on the transaction (and, with Line, when one
// of its lines matched). Conditions: FIELD OP VALUE joined by "and"; OP is =, !=, <, <=, > or >=.
//   total, subtotal, change   an amount: "total > 100", "change >= 50.00"
//   amount                    the Line pattern's {amount}: "amount >= 20"
//   voids, lines, tenders     a count: "voids >= 2"
//   tender                    a tender's name or class (CASH, CARD, CHECK, VOUCHER): "tender = CASH"
//   cashier, register, number = or != with one or more values: "cashier = 17, 23" ("017" is "17")
//   drawer                    yes or no
//   kind                      a built-in kind found in the receipt, switched on or not:
//                             "kind = refund and cashier = 17"
// A field the receipt did not show meets no condition (neither = nor !=). A sequence completes
// when Then happens on the camera at most Within seconds after First; each First completes at
// most one sequence. Sequences see every void, refund, ... whether its switch is on or not and
// whatever its amount, and may build on a rule or on a sequence in a section with a lower number.
// An exception's kind in the journal is the built-in kind's name or the rule's Name.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "receipt/receipt_rules.h"
#include "receipt/receipt_template.h"

namespace zamri {

constexpr int kBuiltinTemplate = 0;
constexpr int kNoTemplate = -1;
constexpr int kMaxTemplates = 32;
constexpr int kMaxDrawerGraceSeconds = 60;

// [Channel N] Template (a value that is there: the settings reader takes a missing or empty one as
// kNoTemplate): kBuiltinTemplate, kNoTemplate or a template's number. 1, or 0 with a
// sentence in *error (then *choice is kBuiltinTemplate).
int ParseTemplateChoice(std::string_view value, int* choice, std::string* error);

// Reads this library's keys of [Options] (and ignores the others). A value that cannot be
// used keeps its default and is reported in errors. Returns the number of problems.
int ParseExceptionOptions(const std::vector<SettingPair>& options, ExceptionOptions* out,
                          std::vector<std::string>* errors);

// A kind's switch key in [Options] ("ExceptionVoid"); its threshold and banner keys add
// "Threshold" and "Banner". hasThreshold: whether the kind has an amount (no-sale has none).
const char* ExceptionKindKey(ExceptionKind kind, bool* hasThreshold = nullptr);

// The [Options] keys above with their defaults and a line of help, for the settings table.
struct ReceiptOptionKey {
    const char* key;
    const char* defaultValue;
    const char* help;
};
const std::vector<ReceiptOptionKey>& ReceiptOptionKeys();

// [Template N] sections: ReceiptTemplate::Compile. [Rule N] sections: ExceptionRules::Compile.

}  // namespace zamri
