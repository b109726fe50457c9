// The journal's records of what the reader found, one JSON object per line beside the line
// records, told apart from them by their "event" key; time, camera, source and receipt as the
// line records have them (time is the local time with its UTC offset and milliseconds):
//
//   {"event":"drawer","time":"2026-12-08T14:02:11.300+01:00","camera":3,"source":"COM3","receipt":17}
//   {"event":"transaction","time":"2026-12-08T14:02:11.300+01:00","camera":3,"source":"COM3",
//    "receipt":17,"first":"2026-12-08T14:01:40.050+01:00","lines":14,"subtotal":12.5,"total":12.5,
//    "tenders":[{"name":"CASH","amount":20.0}],"change":7.5,"cashier":"17","register":"3",
//    "number":"004217","voids":1,"drawer":true}
//   {"event":"exception","time":"2026-12-08T14:01:52.120+01:00","camera":3,"source":"COM3",
//    "receipt":17,"cashier":"17","kind":"refund","amount":-12.5,"line":"REFUND 12.50"}
//
// A transaction's time is that of its last line, "first" that of its first. Amounts are JSON
// numbers with at least one decimal; a field the receipt did not show is null. Texts are UTF-8.
// Readers take the keys in any order and skip keys they do not know, so records can grow.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "receipt/transaction.h"

namespace zamri {

// Converts a text as delivered (the recorder's code page) to UTF-8, appending it to utf8. Null:
// the texts are UTF-8 already; bytes that are not become U+FFFD.
using TextToUtf8 = std::function<void(std::string_view text, std::string* utf8)>;

// Each appends one record and its newline.
void AppendDrawerRecord(const DrawerEvent& event, std::string* out, const TextToUtf8& convert = nullptr);
void AppendTransactionRecord(const Transaction& t, std::string* out, const TextToUtf8& convert = nullptr);
void AppendExceptionRecord(const ReceiptException& e, std::string* out, const TextToUtf8& convert = nullptr);

// "2026-12-08T14:02:11.300+01:00". The journal reads the records back (journal/event_record.h).
std::string FormatReceiptTime(int64_t utcMilliseconds, int32_t utcOffsetMinutes);

}  // namespace zamri
