// The built-in template: reads the common receipts of English, German, French, Spanish and
// Dutch tills without any setting. It reads a field only from a line whose words it knows
// whole, so an unknown layout leaves fields empty rather than filling them wrongly: the label
// of an amount must be exactly a known phrase ("SUBTOTAL" is never "TOTAL", "TOTAL SAVINGS"
// is no total, an item called "CASH REGISTER TAPE" is no tender).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "receipt/line_reading.h"
#include "receipt/receipt_text.h"

namespace zamri {

// Adds what the line says to out (which is not cleared). Amounts must have two decimals here.
// Tenders and change are read wherever they stand; the reader takes them only after a total.
void ReadBuiltinLine(const FoldedLine& line, std::string_view original, LineReadings* out);

// Whether the line holds an amount with two decimals anywhere (an item line, a total).
bool HasPrintedAmount(const FoldedLine& line);

// "CASH", "CARD", "CHECK" or "VOUCHER" for a tender name the built-in template knows ("BAR",
// "EC-Karte", "Espèces"); "" for any other. name is folded here.
const char* TenderClassName(std::string_view name, const TextFolder& folder);

// Mistakes in the word tables (a phrase not in folded form, one listed twice); empty when
// there are none.
std::vector<std::string> BuiltinWordProblems();

}  // namespace zamri
