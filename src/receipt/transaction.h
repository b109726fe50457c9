// What the reader makes of a receipt: the transaction, and the exceptions found in it.
// Text fields hold the bytes as delivered (the recorder's code page); the record writers
// (receipt_records.h) convert them to UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "receipt/money.h"

namespace zamri {

struct Tender {
    std::string name;  // as the template read it: "CASH", "EC KARTE", "VISA"
    Money amount = 0;
};

struct Transaction {
    int camera = 0;
    std::string source;
    uint32_t receipt = 0;
    int64_t firstUtcMilliseconds = 0;
    int32_t firstUtcOffsetMinutes = 0;
    int64_t lastUtcMilliseconds = 0;
    int32_t lastUtcOffsetMinutes = 0;
    int lines = 0;
    std::optional<Money> subtotal;
    std::optional<Money> total;
    std::vector<Tender> tenders;
    std::optional<Money> change;
    std::string cashier;    // empty: not read
    std::string register_;  // empty: not read
    std::string number;     // the till's own transaction number; empty: not read
    int voids = 0;
    bool drawer = false;
};

struct ReceiptException {
    std::string kind;  // a built-in kind ("refund") or the name of the user's rule
    std::optional<Money> amount;
    std::string line;  // the line that triggered it; empty for a drawer that opened
    int64_t utcMilliseconds = 0;
    int32_t utcOffsetMinutes = 0;
    int camera = 0;
    std::string source;
    uint32_t receipt = 0;
    std::string cashier;  // the receipt's cashier; empty: not read
    // Known at its line, which the delivery step flagged 4; otherwise known only at the
    // receipt's end, and banner holds its overlay line (empty when banners are off for it).
    bool atLine = false;
    std::string banner;
};

struct DrawerEvent {
    int64_t utcMilliseconds = 0;
    int32_t utcOffsetMinutes = 0;
    int camera = 0;
    std::string source;
    uint32_t receipt = 0;
};

// One receipt, ended and read.
struct ReadReceipt {
    Transaction transaction;
    std::vector<ReceiptException> exceptions;
};

}  // namespace zamri
