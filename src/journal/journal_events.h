// Reading the journal's event records of one kind (exceptions, transactions, drawer opens)
// over the same time range and camera choice as the text search, in journal order (the order
// the program wrote them, which is time order). Line records and events of other kinds are
// passed over without being parsed (the bytes are scanned for the event's key, as the search
// scans for a literal); an event record that cannot be read is skipped and counted.
// zamri-find and the web page both read events through this class.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "journal/event_record.h"

namespace zamri {

struct EventQuery {
    std::string event;  // "exception", "transaction" or "drawer"
    std::string kind;   // exceptions of this kind only; empty: every kind
    int camera = 0;     // 0: every camera
    // Local time bounds as a FindQuery has them; empty: open.
    std::string from;
    std::string to;
    // Records handed over at most; when there are more, the reading stops there and says so
    // (EventStats::capped). 0: all.
    uint64_t maxResults = 0;
    // The reading stops after this long and says so (EventStats::timedOut). 0: no limit.
    int timeLimitMilliseconds = 0;
};

struct EventStats {
    uint64_t files = 0;
    uint64_t bytes = 0;
    uint64_t results = 0;
    uint64_t malformed = 0;     // records of the event asked for that could not be read
    uint64_t skippedLines = 0;  // event lines too long to be records
    bool capped = false;
    bool timedOut = false;
    // With either: the local time the reading had reached, "YYYY-MM-DDTHH:MM:SS" (or the day).
    std::string stoppedAt;
};

class JournalEventReader {
  public:
    JournalEventReader();
    ~JournalEventReader();
    JournalEventReader(const JournalEventReader&) = delete;
    JournalEventReader& operator=(const JournalEventReader&) = delete;

    // 1 ready; 0 when the query is unusable (no event named, a malformed time bound), with the
    // reason in error.
    int Prepare(const EventQuery& query, std::string* error);

    using ResultCallback = std::function<bool(const EventRecord&)>;
    // Reads the day files of folder, oldest first, and hands over each record asked for; stops
    // early when found returns false. Returns 1, or 0 when the folder cannot be read.
    int Run(const std::string& folder, const ResultCallback& found, EventStats* stats, std::string* error);

    // Steady-clock milliseconds for the time limit; a null clock means the system's.
    using Clock = std::function<int64_t()>;
    void SetClock(Clock clock);

  private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace zamri
