// A generated journal for the benchmarks, written into folder unless it holds enough days.
#pragma once

#include <string>

// days days up to 2025-12-08, 32 cameras, receiptsPerCamera receipts each per day between 8:00
// and 20:00. With events: an exception record for each VOID line, now and then a refund and
// a no-sale, and a transaction record for each receipt, after its last line.
void GenerateJournal(const std::string& folder, int days, int receiptsPerCamera, bool events);
