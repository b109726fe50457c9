// Searching the journal: by text (substring, or a regular expression), camera and local time
// range, giving whole receipts with their matching lines marked, or only the matching lines.
// zamri-find and the web page both search through this class.
//
// A receipt is the run of one camera's lines with the same receipt number, from its first
// line to the line that ends it; a receipt that spans midnight is found whole when both days
// are searched. Files are read while the program appends to them: only complete lines count.
//
// Files are read in blocks (JournalFileReader), so a search holds a block, the receipts still
// open (at most kMaxResultLines lines each) and a few finished ones waiting for an earlier one
// to end, however large a day file is. Regular expressions run on the breadth-first matcher,
// whose time grows with the text and the expression but never exponentially, and a search can
// be given a time limit and a most number of results; both say so in FindStats when reached.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "journal/journal_record.h"

namespace zamri {

struct FindQuery {
    std::string text;  // empty: every line matches
    bool regex = false;
    bool matchCase = false;
    int camera = 0;  // 0: every camera
    // Local time bounds, inclusive, as "YYYY-MM-DDTHH:MM:SS.mmm" or any leading part of it
    // ("2026-12-08" covers that whole day as a bound). Empty: open.
    std::string from;
    std::string to;
    bool linesOnly = false;
    // Results handed over at most; when there are more, the search stops there and says so
    // (FindStats::capped). 0: all.
    uint64_t maxResults = 0;
    // The search stops after this long and says so (FindStats::timedOut). 0: no limit.
    int timeLimitMilliseconds = 0;
};

// A longer regular expression is refused.
constexpr size_t kMaxFindExpression = 1000;
// One result holds at most this many lines, or this many bytes of journal lines: a longer
// receipt (a till that never ends one) is handed over in parts, each marked partial.
constexpr size_t kMaxResultLines = 1000;
constexpr size_t kMaxResultBytes = 256 << 10;

struct FoundLine {
    JournalRecord record;
    bool match = false;
};

// One receipt (or, with linesOnly, one line).
struct FoundReceipt {
    std::vector<FoundLine> lines;
    // Only a part of a receipt longer than one result holds.
    bool partial = false;
};

struct FindStats {
    uint64_t files = 0;
    uint64_t bytes = 0;
    uint64_t matchingLines = 0;
    uint64_t results = 0;
    uint64_t skippedLines = 0;  // lines too long to be records
    bool capped = false;        // there were more than maxResults results
    bool timedOut = false;      // the time limit came first
    // With either: the local time the search had reached, "YYYY-MM-DDTHH:MM:SS".
    std::string stoppedAt;
};

class JournalSearch {
  public:
    JournalSearch();
    ~JournalSearch();
    JournalSearch(const JournalSearch&) = delete;
    JournalSearch& operator=(const JournalSearch&) = delete;

    // 1 ready; 0 when the query is unusable (a regular expression that does not compile, a
    // malformed time bound), with the reason in error.
    int Prepare(const FindQuery& query, std::string* error);

    using ResultCallback = std::function<bool(const FoundReceipt&)>;
    // Searches the day files of folder, oldest first, and hands each result over in journal
    // order; stops early when found returns false. Returns 1, or 0 when the folder cannot be
    // read (error says why).
    int Run(const std::string& folder, const ResultCallback& found, FindStats* stats, std::string* error);

    // Steady-clock milliseconds for the time limit; a null clock means the system's.
    using Clock = std::function<int64_t()>;
    void SetClock(Clock clock);

  private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace zamri
