// Searching the journal: by text (substring, or a regular expression), camera and local time
// range, giving whole receipts with their matching lines marked, or only the matching lines.
// zamri-find and the web page both search through this class.
//
// A receipt is the run of one camera's lines with the same receipt number, from its first
// line to the line that ends it; a receipt that spans midnight is found whole when both days
// are searched. Files are read while the program appends to them: only complete lines count.
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
};

struct FoundLine {
    JournalRecord record;
    bool match = false;
};

// One receipt (or, with linesOnly, one line).
struct FoundReceipt {
    std::vector<FoundLine> lines;
};

struct FindStats {
    uint64_t files = 0;
    uint64_t bytes = 0;
    uint64_t matchingLines = 0;
    uint64_t results = 0;
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

  private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace zamri
