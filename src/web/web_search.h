// The page's journal search: the form's query run through the journal's search, answered as
// JSON with whole receipts, newest first, one page at a time.
#pragma once

#include <atomic>
#include <string>

#include "web/web_routes.h"

namespace zamri {

struct FoundReceipt;

// One result as the search answers it: {"camera","source","receipt","time","lines":[...]}.
void AppendReceiptJson(const FoundReceipt& receipt, std::string& out);

// Receipts held in memory for one page; a deeper page counts the results first and reads the
// journal a second time for its own, so a search never holds more than this many.
constexpr int kSearchHeldReceipts = 1000;

// A search counts at most this many receipts and takes at most this long; when it stops
// there, the answer says so ("notice") and up to where the journal was searched.
constexpr int kSearchMostResults = 10000;
constexpr int kSearchSeconds = 20;

// Searches the journal in folder. 1 with json = {"results":[...],"page":N,"more":B,"total":T}
// and "notice":TEXT when the search stopped at a limit, each result {"camera","source",
// "receipt","time","lines":[{"time","text","flags","match"}]} ("partial":true for a part of a
// receipt too long for one result) with local times ("2026-12-09 14:30:05"); or 0 with the
// reason in error. Gives up with 0 when stop becomes true.
int SearchJournal(const std::string& folder, const SearchQuery& query, const std::atomic<bool>& stop,
                  std::string& json, std::string& error);

}  // namespace zamri
