#include "journal/journal_search.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <regex>

#include "journal/find_range.h"
#include "journal/journal_files.h"
#include "journal/literal_scanner.h"
#include "journal/text_fold.h"
#include "text/json_string.h"

namespace zamri {

namespace {

// Selects the breadth-first matcher (a GNU C++ library option; the library of both builds).
constexpr std::regex_constants::syntax_option_type kBreadthFirst = std::regex_constants::__polynomial;
// Texts up to this long are matched in one call; longer ones one start at a time, with the
// clock read in between, so that no single line can outlast the time limit by much.
constexpr size_t kWholeTextMatch = 64;
// A line this long is not a record the program writes (its longest text, escaped, is a few KB).
constexpr size_t kLongestRecordLine = 1 << 16;
// Finished receipts waiting for an earlier one that is still open; beyond this many the
// oldest is handed over anyway, out of order rather than held without bound.
constexpr size_t kMostWaiting = 1000;
// How far back a receipt's first lines are looked for, before the part of the journal searched.
constexpr uint64_t kMostLookBackBytes = 32 << 20;
constexpr int kPlainLinesPerClockReading = 256;

int64_t SteadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A place in the searched files: the file's index and the offset of a line in it.
uint64_t Place(size_t file, uint64_t offset) {
    return (static_cast<uint64_t>(file) << 40) | offset;
}

struct LineRef {
    std::string_view line;
    bool match = false;
};

// The lines of one camera's receipt seen so far.
struct ReceiptRun {
    bool open = false;
    int camera = 0;
    int64_t receipt = 0;
    uint64_t firstPlace = 0;  // where the receipt began, as far as known: orders the results
    bool matched = false;
    bool partial = false;
    // Lines before the first one held may belong to the receipt: they are read back (from
    // backFile, before backEnd) when it matches.
    bool lookBack = false;
    bool backFromFirstHeld = false;
    size_t backFile = 0;
    uint64_t backEnd = 0;
    size_t bytes = 0;
    std::vector<LineRef> lines;
    size_t keptLines = 0;          // the leading lines that point into kept
    std::deque<std::string> kept;  // lines held past the block they were read in
};

}  // namespace

struct JournalSearch::State {
    FindQuery query;
    std::string needle;  // folded unless the case must match
    LiteralScanner scanner;
    bool useRegex = false;
    std::regex expression;
    FindRange range;
    Clock clock;

    // One search's working state.
    std::vector<JournalFile> files;  // the files searched, and the day before the first
    size_t fileIndex = 0;
    std::vector<ReceiptRun> runs;
    std::multimap<uint64_t, FoundReceipt> waiting;
    // known: the camera's previous line was seen, so a line without flag 1 and with another
    // receipt number begins a receipt. seenInFile and skippedInFile tell where a receipt that
    // began before the part seen may have its first lines.
    bool known[64] = {};
    bool seenInFile[64] = {};
    bool skippedInFile = false;
    const ResultCallback* found = nullptr;
    FindStats* stats = nullptr;
    bool stopped = false;
    int64_t deadline = INT64_MAX;
    int linesSinceClock = 0;
    // The time of the last record read, for FindStats::stoppedAt (the block it was read from
    // does not stay).
    char lastTime[kLocalTimeLength + 1] = {};
    std::string decoded, folded;
    JournalBackwardReader back;

    bool OutOfTime() {
        if (deadline == INT64_MAX || stopped)
            return stopped;
        if (clock() < deadline)
            return false;
        stats->timedOut = true;
        stats->stoppedAt = StoppedAt(lastTime);
        stopped = true;
        return true;
    }

    static std::string StoppedAt(std::string_view time) { return std::string(time.substr(0, 19)); }

    void NoteTime(std::string_view time) {
        size_t n = std::min(time.size(), kLocalTimeLength);
        std::memcpy(lastTime, time.data(), n);
        lastTime[n] = 0;
    }

    bool RegexMatches(const std::string& text) {
        try {
            if (text.size() <= kWholeTextMatch)
                return std::regex_search(text, expression);
            const char* begin = text.data();
            const char* end = begin + text.size();
            for (const char* at = begin; at <= end; ++at) {
                if (OutOfTime())
                    return false;
                auto flags = std::regex_constants::match_continuous;
                if (at != begin)
                    flags |= std::regex_constants::match_prev_avail;
                if (std::regex_search(at, end, expression, flags))
                    return true;
            }
        } catch (const std::exception&) {
            // The library gave up on this text: it does not match.
        }
        return false;
    }

    bool TextMatches(const RecordView& view) {
        UnescapeJsonString(view.text, &decoded);
        if (useRegex)
            return RegexMatches(decoded);
        if (query.matchCase)
            return decoded.find(needle) != std::string::npos;
        folded.clear();
        AppendFolded(decoded, &folded);
        return folded.find(needle) != std::string::npos;
    }

    // candidate: the raw scan found the literal in this line (meaningless without a scan).
    bool LineMatches(const RecordView& view, bool candidate) {
        if (query.camera != 0 && view.camera != query.camera)
            return false;
        if (!range.Holds(view.time))
            return false;
        if (query.text.empty())
            return true;
        if (scanner.Active() && !candidate)
            return false;
        return TextMatches(view);
    }

    // The clock is read for every line a regular expression looks at, else now and then.
    bool LineDone() {
        if (useRegex || ++linesSinceClock >= kPlainLinesPerClockReading) {
            linesSinceClock = 0;
            return OutOfTime();
        }
        return stopped;
    }

    bool Emit(const FoundReceipt& receipt) {
        if (stopped)
            return false;
        if (query.maxResults != 0 && stats->results >= query.maxResults) {
            stats->capped = true;
            const JournalRecord& first = receipt.lines.front().record;
            stats->stoppedAt = StoppedAt(FormatRecordTime(first.utcMilliseconds, first.utcOffsetMinutes));
            stopped = true;
            return false;
        }
        stats->results++;
        if (!(*found)(receipt))
            stopped = true;
        return !stopped;
    }

    void AddFoundLine(std::string_view line, bool lookedBack, bool match, FoundReceipt* receipt) {
        RecordView view;
        FoundLine found;
        if (!ParseRecordView(line, &view) || !RecordFromView(view, &found.record))
            return;
        found.match = lookedBack ? LineMatches(view, true) : match;
        receipt->lines.push_back(std::move(found));
    }

    void CloseRun(ReceiptRun& run) {
        if (run.open && run.matched && !stopped) {
            FoundReceipt receipt;
            receipt.partial = run.partial;
            std::vector<std::string> earlier;
            if (run.lookBack)
                LookBack(run, &earlier, &receipt.partial);
            receipt.lines.reserve(earlier.size() + run.lines.size());
            for (const std::string& line : earlier)
                AddFoundLine(line, true, false, &receipt);
            for (const LineRef& ref : run.lines)
                AddFoundLine(ref.line, false, ref.match, &receipt);
            if (!receipt.lines.empty())
                waiting.emplace(run.firstPlace, std::move(receipt));
            if (waiting.size() > kMostWaiting) {
                Emit(waiting.begin()->second);
                waiting.erase(waiting.begin());
            }
        }
        run.open = run.matched = run.partial = run.lookBack = run.backFromFirstHeld = false;
        run.bytes = 0;
        run.lines.clear();
        run.keptLines = 0;
        run.kept.clear();
    }

    // Reads back the lines of run's receipt that lie before the first one held: in the file
    // before backEnd, then in the day before when the file is the next day's.
    void LookBack(ReceiptRun& run, std::vector<std::string>* earlier, bool* partial) {
        size_t room = kMaxResultLines > run.lines.size() ? kMaxResultLines - run.lines.size() : 0;
        size_t roomBytes = kMaxResultBytes > run.bytes ? kMaxResultBytes - run.bytes : 0;
        uint64_t scanned = 0;
        size_t file = run.backFile;
        uint64_t end = run.backEnd;
        for (bool done = false; !done;) {
            if (!back.Open(files[file].path, end))
                break;
            std::string_view line;
            uint64_t at = 0;
            while (!done && back.Previous(&line, &at)) {
                scanned += line.size() + 1;
                RecordView view;
                if (scanned > kMostLookBackBytes) {
                    *partial = true;
                    done = true;
                } else if (!ParseRecordView(line, &view) || view.camera != run.camera) {
                    continue;
                } else if (view.receipt != run.receipt || (view.flags & 2) != 0) {
                    done = true;
                } else if (earlier->size() >= room || line.size() > roomBytes) {
                    *partial = true;
                    done = true;
                } else {
                    earlier->emplace_back(line);
                    roomBytes -= line.size();
                    run.firstPlace = Place(file, at);
                    done = (view.flags & 1) != 0;
                }
            }
            if (done || file == 0 || files[file - 1].day != files[file].day - 1)
                break;
            --file;
            end = JournalBackwardReader::kFileEnd;
        }
        std::reverse(earlier->begin(), earlier->end());
    }

    // Hands over the receipts that no open receipt precedes, so the output is in the order
    // the receipts began.
    void Release(bool all) {
        uint64_t limit = UINT64_MAX;
        if (!all)
            for (const ReceiptRun& run : runs)
                if (run.open)
                    limit = std::min(limit, run.firstPlace);
        while (!waiting.empty() && waiting.begin()->first < limit && !stopped) {
            Emit(waiting.begin()->second);
            waiting.erase(waiting.begin());
        }
    }

    void CloseAll() {
        for (ReceiptRun& run : runs)
            CloseRun(run);
        std::fill(std::begin(known), std::end(known), false);
    }

    void AddToRun(const RecordView& view, std::string_view line, uint64_t offset, bool match) {
        size_t slot = (view.camera > 0 && view.camera < 64) ? static_cast<size_t>(view.camera) : 0;
        ReceiptRun& run = runs[slot];
        if (run.open && (run.receipt != view.receipt || (view.flags & 1) != 0)) {
            CloseRun(run);
            Release(false);
        }
        bool continued = false;
        if (run.open && (run.lines.size() >= kMaxResultLines || run.bytes + line.size() > kMaxResultBytes)) {
            // A receipt longer than one result: handed over in parts.
            run.partial = true;
            CloseRun(run);
            Release(false);
            continued = true;
        }
        if (!run.open) {
            run.open = true;
            run.camera = view.camera;
            run.receipt = view.receipt;
            run.firstPlace = Place(fileIndex, offset);
            run.partial = continued;
            if (!continued && (view.flags & 1) == 0 && !known[slot]) {
                // Its first lines may lie before the part seen: earlier in this file, or at
                // the end of the day before.
                if (seenInFile[slot] || skippedInFile) {
                    run.lookBack = true;
                    run.backFile = fileIndex;
                    run.backEnd = offset;
                } else if (fileIndex > 0 && files[fileIndex - 1].day == files[fileIndex].day - 1) {
                    run.lookBack = true;
                    run.backFile = fileIndex - 1;
                    run.backEnd = JournalBackwardReader::kFileEnd;
                }
            }
        }
        if (run.backFromFirstHeld) {
            run.backFromFirstHeld = false;
            run.backFile = fileIndex;
            run.backEnd = offset;
        }
        run.lines.push_back(LineRef{line, match});
        run.bytes += line.size();
        run.matched = run.matched || match;
        known[slot] = seenInFile[slot] = true;
        if ((view.flags & 2) != 0) {
            CloseRun(run);
            Release(false);
        }
    }

    // The block's buffer is reused: receipts still open keep their lines if they matched, and
    // otherwise only where they stand, to read them back should they match later.
    void EndOfBlock() {
        for (ReceiptRun& run : runs) {
            if (!run.open)
                continue;
            if (run.matched) {
                for (size_t i = run.keptLines; i < run.lines.size(); ++i) {
                    run.kept.emplace_back(run.lines[i].line);
                    run.lines[i].line = run.kept.back();
                }
                run.keptLines = run.lines.size();
            } else if (!run.lines.empty()) {
                run.lines.clear();
                run.kept.clear();
                run.keptLines = 0;
                run.bytes = 0;
                run.lookBack = run.backFromFirstHeld = true;
            }
        }
    }

    // One line of the block at start; false when it is too long to be a record.
    static bool LineAt(std::string_view data, size_t start, std::string_view* line) {
        size_t end = data.find('\n', start);
        *line = data.substr(start, end - start);
        return line->size() <= kLongestRecordLine;
    }

    void SearchBlock(std::string_view data, uint64_t blockOffset) {
        std::vector<size_t> candidates;
        bool scanned = scanner.Active() && !query.text.empty();
        if (scanned) {
            candidates = scanner.CandidateLines(data);
            bool openMatch = false;
            for (const ReceiptRun& run : runs)
                openMatch = openMatch || (run.open && run.matched);
            if (candidates.empty() && !openMatch) {
                // Nothing here can match, and no receipt found so far continues here.
                CloseAll();
                skippedInFile = true;
                Release(true);
                LineDone();
                return;
            }
        }
        if (query.linesOnly) {
            if (scanned) {
                for (size_t start : candidates)
                    if (!LinesOnlyLine(data, start))
                        return;
            } else {
                for (size_t start = 0; start < data.size(); start = data.find('\n', start) + 1)
                    if (!LinesOnlyLine(data, start))
                        return;
            }
            return;
        }
        size_t next = 0;
        for (size_t start = 0; start < data.size() && !stopped; start = data.find('\n', start) + 1) {
            std::string_view line;
            if (!LineAt(data, start, &line)) {
                stats->skippedLines++;
                continue;
            }
            while (next < candidates.size() && candidates[next] < start)
                ++next;
            bool candidate = next < candidates.size() && candidates[next] == start;
            RecordView view;
            if (ParseRecordView(line, &view)) {
                NoteTime(view.time);
                bool match = LineMatches(view, candidate);
                if (match)
                    stats->matchingLines++;
                AddToRun(view, line, blockOffset + start, match);
            }
            LineDone();
        }
        if (!stopped)
            EndOfBlock();
    }

    bool LinesOnlyLine(std::string_view data, size_t start) {
        std::string_view line;
        RecordView view;
        if (!LineAt(data, start, &line)) {
            stats->skippedLines++;
            return !stopped;
        }
        if (!ParseRecordView(line, &view))
            return !LineDone();
        NoteTime(view.time);
        bool match = LineMatches(view, true);
        if (LineDone() || !match)
            return !stopped;
        stats->matchingLines++;
        FoundReceipt one;
        one.lines.resize(1);
        if (!RecordFromView(view, &one.lines[0].record))
            return !stopped;
        one.lines[0].match = true;
        return Emit(one);
    }
};

JournalSearch::JournalSearch() : state(new State) {
    state->clock = SteadyMilliseconds;
}
JournalSearch::~JournalSearch() = default;

void JournalSearch::SetClock(Clock clock) {
    state->clock = clock ? std::move(clock) : Clock(SteadyMilliseconds);
}

int JournalSearch::Prepare(const FindQuery& query, std::string* error) {
    State& s = *state;
    s.query = query;
    s.useRegex = false;
    s.scanner.Init(std::string(), false);
    if (!s.range.Prepare(query.from, query.to, error))
        return 0;
    if (query.regex) {
        if (query.text.size() > kMaxFindExpression) {
            *error =
                "the regular expression is longer than " + std::to_string(kMaxFindExpression) + " characters";
            return 0;
        }
        try {
            auto flags = std::regex::ECMAScript | std::regex::optimize | kBreadthFirst;
            if (!query.matchCase)
                flags |= std::regex::icase;
            s.expression = std::regex(query.text, flags);
            // The breadth-first matcher refuses back-references when it first runs.
            std::regex_search("", s.expression);
        } catch (const std::regex_error& e) {
            if (e.code() == std::regex_constants::error_complexity)
                *error = "the regular expression \"" + query.text +
                         "\" refers back to a group (\\1 and the like), which the search cannot do";
            else
                *error = "bad regular expression \"" + query.text + "\": " + e.what();
            return 0;
        } catch (const std::exception&) {
            *error = "the regular expression \"" + query.text + "\" cannot be compiled";
            return 0;
        }
        s.useRegex = true;
        s.scanner.Init(RequiredLiteral(query.text, !query.matchCase), !query.matchCase);
        return 1;
    }
    s.needle.clear();
    if (query.matchCase)
        s.needle = query.text;
    else
        AppendFolded(query.text, &s.needle);
    s.scanner.Init(RawLiteral(s.needle), !query.matchCase);
    return 1;
}

int JournalSearch::Run(const std::string& folder, const ResultCallback& found, FindStats* stats,
                       std::string* error) {
    State& s = *state;
    FindStats local;
    if (stats == nullptr)
        stats = &local;
    *stats = FindStats();
    s.found = &found;
    s.stats = stats;
    s.stopped = false;
    s.runs.assign(64, ReceiptRun());
    s.waiting.clear();
    s.files.clear();
    s.lastTime[0] = 0;
    s.linesSinceClock = 0;
    std::fill(std::begin(s.known), std::end(s.known), false);
    s.deadline = s.query.timeLimitMilliseconds > 0 ? s.clock() + s.query.timeLimitMilliseconds : INT64_MAX;
    std::vector<JournalFile> files;
    if (!s.range.Files(folder, true, &files, error))
        return 0;
    JournalFileReader reader;
    int64_t lastDay = INT64_MIN;
    for (const JournalFile& file : files) {
        // The day before the first one searched is kept at hand for receipts that cross
        // midnight: their first lines are read back from its end when they match.
        bool contextOnly = s.range.IsDayBefore(file.day);
        s.files.push_back(file);
        s.fileIndex = s.files.size() - 1;
        // Receipts still open reach at most into the next day.
        bool follows = file.day == lastDay + 1;
        lastDay = file.day;
        for (ReceiptRun& run : s.runs)
            if (run.open && (!follows || (run.firstPlace >> 40) + 1 < s.fileIndex))
                s.CloseRun(run);
        if (!follows)
            std::fill(std::begin(s.known), std::end(s.known), false);
        s.Release(false);
        if (s.stopped)
            break;
        std::fill(std::begin(s.seenInFile), std::end(s.seenInFile), false);
        s.skippedInFile = false;
        if (contextOnly) {
            std::fill(std::begin(s.known), std::end(s.known), false);
            continue;
        }
        if (!reader.Open(file.path)) {
            s.CloseAll();
            lastDay = INT64_MIN;
            continue;
        }
        stats->files++;
        std::string_view block;
        uint64_t offset = 0;
        while (!s.stopped && reader.Next(&block, &offset)) {
            stats->bytes += block.size();
            s.SearchBlock(block, offset);
        }
        stats->skippedLines += reader.SkippedLines();
        if (s.stopped)
            break;
    }
    for (ReceiptRun& run : s.runs)
        s.CloseRun(run);
    s.Release(true);
    s.waiting.clear();
    return 1;
}

}  // namespace zamri
