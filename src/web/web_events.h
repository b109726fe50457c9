// The page's Exceptions view and report: the journal's exception records read through the
// journal's event reader with the form's filters, answered as JSON (a list, newest first, or the
// report's tables) or CSV, and a receipt's lines found again for an exception. Every reading has
// the search's time limit, and says when it stopped short.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace zamri {

// The filters of the Exceptions view and the report. Times are the program's local time.
struct WebEventFilter {
    std::string kind;     // a built-in kind or a rule's name; empty: every kind
    int camera = 0;       // 0: every camera
    std::string cashier;  // as the till prints it; empty: every cashier
    std::string from;     // "YYYY-MM-DDTHH:MM[:SS]" or empty (open); checked by the routes
    std::string to;
};

// Whether the journal's folder is there: the writer makes it with its first record, and until
// then there is nothing to read (an empty answer, not an error).
bool JournalFolderExists(const std::string& folder);
// True, with the reason in error, when the program is stopping and a reading gave up.
bool GaveUp(const std::atomic<bool>& stop, std::string& error);

// The list shows the newest this many; the rest are counted.
constexpr int kExceptionsShown = 200;
// A reading stops after this long, or (the list) after counting this many.
constexpr int kEventsSeconds = 20;
constexpr uint64_t kExceptionsCounted = 100000;

// {"results":[{"time","at","camera","source","receipt","kind","amount","cashier","line"}...],
//  "total":N,"more":B} and "notice":TEXT when the reading stopped at a limit; "time" as shown
// ("2026-12-09 14:30:05"), "at" as a bound takes it ("2026-12-09T14:30:05"). 1, or 0 with the
// reason in error. Gives up with 0 when stop becomes true.
int ExceptionListJson(const std::string& folder, const WebEventFilter& filter, const std::atomic<bool>& stop,
                      std::string& json, std::string& error);

// The exceptions report over the filter: as JSON {"count":N,"title":T,"csv":CSV} (the page draws
// its tables from the CSV rows) with "notice" when cut short, or as the CSV alone, whose last
// row then says it is incomplete.
int ExceptionReportAnswer(const std::string& folder, const WebEventFilter& filter, bool csv,
                          const std::atomic<bool>& stop, std::string& body, std::string& error);

// The receipt of an exception: camera, receipt number and the exception's local time ("at").
// {"receipt":{...}} in the search's result form, or {"receipt":null} when the journal no
// longer holds it.
int ReceiptLookupJson(const std::string& folder, int camera, int64_t receipt, const std::string& at,
                      const std::atomic<bool>& stop, std::string& json, std::string& error);

}  // namespace zamri
