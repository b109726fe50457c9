// What one printed line says about the receipt it belongs to, as a template reads it.
#pragma once

#include <cstdint>
#include <string>

#include "receipt/money.h"

namespace zamri {

enum class ReceiptField : uint8_t {
    Total,
    Subtotal,
    Tender,  // text: the tender's name; amount: what it paid
    Change,
    Cashier,   // text: as printed
    Register,  // text: as printed
    Number,    // the till's own transaction number; text: as printed
    Void,      // a voided line (amount when printed on it)
    Refund,    // a refunded line (with an amount), or a refund receipt's heading (without)
    Discount,
    PriceOverride,
    NoSale,       // the till's own no-sale text
    Cancel,       // the whole transaction cancelled
    PaymentSlip,  // the card terminal's slip begins: its numbers are not the till's
};
constexpr int kReceiptFieldCount = 14;

const char* ReceiptFieldName(ReceiptField field);

struct LineReading {
    ReceiptField field = ReceiptField::Total;
    bool hasAmount = false;
    Money amount = 0;
    std::string text;
};

// A line rarely says more than two things ("CASH 20.00  CHANGE 7.50"); more are dropped.
constexpr int kMaxLineReadings = 8;

struct LineReadings {
    LineReading items[kMaxLineReadings];
    int count = 0;
    bool amountSeen = false;  // the line holds an amount, whatever its words (an item line)

    void Clear() {
        count = 0;
        amountSeen = false;
    }
    LineReading* Add(ReceiptField field) {
        if (count == kMaxLineReadings)
            return nullptr;
        LineReading* r = &items[count++];
        r->field = field;
        r->hasAmount = false;
        r->amount = 0;
        r->text.clear();
        return r;
    }
    bool Has(ReceiptField field) const {
        for (int i = 0; i < count; ++i)
            if (items[i].field == field)
                return true;
        return false;
    }
};

}  // namespace zamri
