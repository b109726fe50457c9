#include "journal/journal_events.h"

#include <algorithm>
#include <chrono>

#include "journal/find_range.h"
#include "journal/journal_files.h"
#include "journal/journal_record.h"
#include "journal/literal_scanner.h"

namespace zamri {

namespace {

// As in the search: a line this long is not a record the program writes.
constexpr size_t kLongestRecordLine = 1 << 16;
constexpr int kLinesPerClockReading = 256;

int64_t SteadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

struct JournalEventReader::State {
    EventQuery query;
    FindRange range;
    // Finds the records of the event in a block at memory speed: line records never hold the
    // event key's unescaped quotes, so only event records are proposed.
    LiteralScanner scanner;
    Clock clock = SteadyMilliseconds;
};

JournalEventReader::JournalEventReader() : state(new State) {}
JournalEventReader::~JournalEventReader() = default;

void JournalEventReader::SetClock(Clock clock) {
    state->clock = clock ? std::move(clock) : Clock(SteadyMilliseconds);
}

int JournalEventReader::Prepare(const EventQuery& query, std::string* error) {
    if (query.event.empty() || query.event.find('"') != std::string::npos) {
        *error = "no event named to read";
        return 0;
    }
    state->query = query;
    state->scanner.Init("event\":\"" + query.event, false);
    return state->range.Prepare(query.from, query.to, error);
}

int JournalEventReader::Run(const std::string& folder, const ResultCallback& found, EventStats* stats,
                            std::string* error) {
    State& s = *state;
    EventStats local;
    if (stats == nullptr)
        stats = &local;
    *stats = EventStats();
    std::vector<JournalFile> files;
    if (!s.range.Files(folder, false, &files, error))
        return 0;
    const EventQuery& q = s.query;
    int64_t deadline = q.timeLimitMilliseconds > 0 ? s.clock() + q.timeLimitMilliseconds : INT64_MAX;
    int sinceClock = 0;
    std::string reached;  // the time of the last record read
    EventRecord record;
    JournalFileReader reader;
    for (const JournalFile& file : files) {
        if (!reader.Open(file.path))
            continue;
        stats->files++;
        if (reached.empty())
            reached = JournalFileName(file.day).substr(0, 10);
        std::string_view block;
        uint64_t offset = 0;
        while (reader.Next(&block, &offset)) {
            stats->bytes += block.size();
            if (deadline != INT64_MAX && s.clock() >= deadline) {
                stats->timedOut = true;
                stats->stoppedAt = reached;
                return 1;
            }
            for (size_t hit = 0;
                 (hit = s.scanner.Find(block.data(), block.size(), hit)) != std::string_view::npos;) {
                size_t start = block.rfind('\n', hit);
                start = start == std::string_view::npos ? 0 : start + 1;
                size_t end = std::min(block.find('\n', hit), block.size());
                std::string_view line = block.substr(start, end - start);
                hit = end + 1;
                if (++sinceClock >= kLinesPerClockReading) {
                    sinceClock = 0;
                    if (deadline != INT64_MAX && s.clock() >= deadline) {
                        stats->timedOut = true;
                        stats->stoppedAt = reached;
                        return 1;
                    }
                }
                if (line.size() > kLongestRecordLine) {
                    stats->skippedLines++;
                    continue;
                }
                if (!LooksLikeEvent(line, q.event))
                    continue;
                if (!ParseEventRecord(line, &record) || record.event != q.event) {
                    stats->malformed++;
                    continue;
                }
                reached = record.time.substr(0, 19);
                if ((q.camera != 0 && record.camera != q.camera) || !s.range.Holds(record.time) ||
                    (!q.kind.empty() && record.kind != q.kind))
                    continue;
                if (q.maxResults != 0 && stats->results >= q.maxResults) {
                    stats->capped = true;
                    stats->stoppedAt = reached;
                    return 1;
                }
                stats->results++;
                if (!found(record))
                    return 1;
            }
        }
        stats->skippedLines += reader.SkippedLines();
        reached = JournalFileName(file.day + 1).substr(0, 10);
    }
    return 1;
}

}  // namespace zamri
