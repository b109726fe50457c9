// The words of the built-in template, in English, German, French, Spanish and Dutch, in folded
// form (receipt_text.h): upper case, no accents, one blank between words, a hyphen written as a
// blank ("SUB-TOTAL" is "SUB TOTAL"). Only builtin_template.cpp uses them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "receipt/line_reading.h"

namespace zamri {
namespace builtin {

enum : uint16_t {
    kTotal = 1,
    kSubtotal = 2,
    kTender = 4,
    kChange = 8,
    kVoid = 16,
    kRefund = 32,
    kDiscount = 64,
    kOverride = 128,
    kNoSale = 256,
    kCancel = 512,
    kNegative = 1024,  // the amount is money going out, whatever sign it is printed with
};

enum TenderClass : uint8_t { kNoTender, kCash, kCard, kCheck, kVoucher };

struct Phrase {
    const char* text;
    uint16_t what;
    uint8_t tender;
};

struct PhraseList {
    const Phrase* items;
    size_t count;
};

// The whole label of a line with an amount ("TOTAL", "GEGEBEN BAR", "SU CAMBIO").
extern const PhraseList kAmountLabels;
// The whole text of a line without an amount ("NO SALE", "BON STORNIERT", "*** REFUND ***").
extern const PhraseList kPlainLines;
// Words that make an item line a void, a refund or a price override when the label begins with
// them ("STORNO MILCH -1,29"), or ends with them ("COLA VOID -1.50", only kVoid and kOverride).
extern const PhraseList kItemMarkers;
// A word anywhere in the label makes a discount ("10% MEMBER DISCOUNT -1.00")...
extern const PhraseList kDiscountWords;
// ...unless the label is a summary ("TOTAL DISCOUNT", "YOU SAVED").
extern const PhraseList kSummaryWords;
// First words of the card terminal's slip, once the total is printed ("TERMINAL ID", "AUTH").
extern const PhraseList kSlipWords;

struct HeaderKey {
    const char* text;
    ReceiptField field;
    // Takes a name without a ':' after it ("SERVED BY ANNA"); other keys then need a value
    // with a digit ("CASHIER 17"), so that "CASHIER COPY" is no cashier.
    bool nameWithoutDelimiter;
};
struct HeaderKeyList {
    const HeaderKey* items;
    size_t count;
};
extern const HeaderKeyList kHeaderKeys;
// Words that may stand between a key and its value: "BON NR 4217", "TICKET N° 42".
extern const PhraseList kKeySuffixes;

}  // namespace builtin
}  // namespace zamri
