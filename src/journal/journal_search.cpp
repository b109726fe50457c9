#include "journal/journal_search.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <regex>

#include "journal/journal_files.h"
#include "journal/text_fold.h"

namespace zamri {

namespace {

// Finds a literal in raw journal bytes, optionally ignoring ASCII case. It only proposes
// lines: every hit is confirmed on the decoded text of its record. Sixteen positions at a time
// are tested for the literal's first and last byte (case folded by setting bit 0x20 where the
// literal has a letter), and only where both agree is the rest compared.
class LiteralScanner {
  public:
    void Init(const std::string& literal, bool foldCase) {
        pattern = literal;
        fold = foldCase;
        if (pattern.empty())
            return;
        unsigned char first = static_cast<unsigned char>(pattern.front());
        unsigned char last = static_cast<unsigned char>(pattern.back());
        firstMask = fold && IsLower(first) ? 0x20 : 0;
        lastMask = fold && IsLower(last) ? 0x20 : 0;
        firstByte = first;
        lastByte = last;
    }
    bool Active() const { return !pattern.empty(); }

    size_t Find(const char* data, size_t n, size_t from) const {
        size_t m = pattern.size();
        if (n < m)
            return std::string::npos;
        size_t i = FindBlocks(data, n, from);
        for (; i + m <= n; ++i)
            if (Matches(data + i))
                return i;
        return std::string::npos;
    }

  private:
    static bool IsLower(unsigned char c) { return c >= 'a' && c <= 'z'; }

    bool Matches(const char* at) const {
        const unsigned char* d = reinterpret_cast<const unsigned char*>(at);
        const unsigned char* p = reinterpret_cast<const unsigned char*>(pattern.data());
        for (size_t j = 0; j < pattern.size(); ++j)
            if ((fold ? FoldAscii(d[j]) : d[j]) != p[j])
                return false;
        return true;
    }

    // Scans whole blocks of 16 positions; returns a position at which a hit may start, or the
    // first position the blocks did not cover.
    size_t FindBlocks(const char* data, size_t n, size_t from) const {
        size_t m = pattern.size();
        const __m128i first = _mm_set1_epi8(static_cast<char>(firstByte));
        const __m128i last = _mm_set1_epi8(static_cast<char>(lastByte));
        const __m128i firstFold = _mm_set1_epi8(static_cast<char>(firstMask));
        const __m128i lastFold = _mm_set1_epi8(static_cast<char>(lastMask));
        size_t i = from;
        for (; i + m - 1 + 16 <= n; i += 16) {
            __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
            __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + m - 1));
            __m128i hits = _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(a, firstFold), first),
                                         _mm_cmpeq_epi8(_mm_or_si128(b, lastFold), last));
            unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
            while (mask != 0) {
                unsigned bit = static_cast<unsigned>(__builtin_ctz(mask));
                if (Matches(data + i + bit))
                    return i + bit;
                mask &= mask - 1;
            }
        }
        return i;
    }

    std::string pattern;
    bool fold = false;
    unsigned char firstByte = 0, lastByte = 0, firstMask = 0, lastMask = 0;
};

// The part of a search text that can be looked for in the raw file: the longest piece that
// JSON writes unchanged (printable ASCII without quote and backslash). Too short a piece
// proposes nearly every line, so then there is none.
std::string RawLiteral(const std::string& needle) {
    size_t bestStart = 0, bestLength = 0, start = 0;
    for (size_t i = 0; i <= needle.size(); ++i) {
        unsigned char c = i < needle.size() ? static_cast<unsigned char>(needle[i]) : 0;
        bool plain = c >= 0x20 && c < 0x7F && c != '"' && c != '\\';
        if (!plain) {
            if (i - start > bestLength) {
                bestStart = start;
                bestLength = i - start;
            }
            start = i + 1;
        }
    }
    if (bestLength < 3 && bestLength != needle.size())
        return std::string();
    return needle.substr(bestStart, bestLength);
}

bool ValidBound(const std::string& bound) {
    static const char kShape[] = "dddd-dd-ddTdd:dd:dd.ddd";
    if (bound.size() > kLocalTimeLength)
        return false;
    for (size_t i = 0; i < bound.size(); ++i) {
        char want = kShape[i];
        char c = bound[i];
        if (want == 'd' ? (c < '0' || c > '9') : c != want)
            return false;
    }
    return bound.size() >= 10;
}

struct LineRef {
    std::string_view line;
    bool match = false;
};

struct ReceiptRun {
    bool open = false;
    int64_t receipt = 0;
    uint64_t firstSeq = 0;
    int firstFile = 0;
    bool matched = false;
    std::vector<LineRef> lines;
};

}  // namespace

struct JournalSearch::State {
    FindQuery query;
    std::string needle;  // folded unless the case must match
    LiteralScanner scanner;
    bool useRegex = false;
    std::regex expression;
    int64_t fromDay = INT64_MIN;
    int64_t toDay = INT64_MAX;

    // One search's working state.
    std::string current, previous;
    int fileIndex = 0;
    std::vector<ReceiptRun> runs;
    std::map<uint64_t, FoundReceipt> pending;
    // The previous day's lines, when previous holds the day just before the current file.
    bool previousUsable = false;
    bool seenInFile[64] = {};
    const ResultCallback* found = nullptr;
    FindStats* stats = nullptr;
    bool stopped = false;
    std::string decoded, folded;

    bool TextMatches(const RecordView& view) {
        UnescapeJsonString(view.text, &decoded);
        if (useRegex)
            return std::regex_search(decoded, expression);
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
        if (!query.from.empty() && view.time.substr(0, query.from.size()) < query.from)
            return false;
        if (!query.to.empty() && view.time.substr(0, query.to.size()) > query.to)
            return false;
        if (query.text.empty())
            return true;
        if (scanner.Active() && !candidate)
            return false;
        return TextMatches(view);
    }

    bool Emit(const FoundReceipt& receipt) {
        if (stopped)
            return false;
        stats->results++;
        if (!(*found)(receipt))
            stopped = true;
        return !stopped;
    }

    void CloseRun(ReceiptRun& run) {
        if (run.open && run.matched) {
            FoundReceipt receipt;
            receipt.lines.reserve(run.lines.size());
            for (const LineRef& ref : run.lines) {
                RecordView view;
                FoundLine line;
                if (!ParseRecordView(ref.line, &view) || !RecordFromView(view, &line.record))
                    continue;
                line.match = ref.match;
                receipt.lines.push_back(std::move(line));
            }
            pending.emplace(run.firstSeq, std::move(receipt));
        }
        run.open = false;
        run.matched = false;
        run.lines.clear();
    }

    // Hands over the receipts that no open receipt precedes, so the output is in the order
    // the receipts began.
    void Release(bool all) {
        uint64_t limit = UINT64_MAX;
        if (!all)
            for (const ReceiptRun& run : runs)
                if (run.open)
                    limit = std::min(limit, run.firstSeq);
        while (!pending.empty() && pending.begin()->first < limit && !stopped) {
            Emit(pending.begin()->second);
            pending.erase(pending.begin());
        }
    }

    void AddToRun(const RecordView& view, std::string_view line, uint64_t seq, bool match) {
        size_t slot = (view.camera > 0 && view.camera < 64) ? static_cast<size_t>(view.camera) : 0;
        ReceiptRun& run = runs[slot];
        if (run.open && (run.receipt != view.receipt || (view.flags & 1) != 0)) {
            CloseRun(run);
            Release(false);
        }
        if (!run.open) {
            run.open = true;
            run.receipt = view.receipt;
            run.firstSeq = seq;
            run.firstFile = fileIndex;
            if ((view.flags & 1) == 0 && !seenInFile[slot] && previousUsable)
                TakeStartFromPreviousDay(run, view.camera);
        }
        seenInFile[slot] = true;
        run.lines.push_back(LineRef{line, match});
        run.matched = run.matched || match;
        if ((view.flags & 2) != 0) {
            CloseRun(run);
            Release(false);
        }
    }

    // A receipt that began before midnight: its first lines are at the end of the previous
    // day's file, which was read but not searched line by line (nothing in it matched).
    void TakeStartFromPreviousDay(ReceiptRun& run, int camera) {
        constexpr int kMostLinesBack = 20000;
        std::vector<LineRef> earlier;
        size_t end = previous.size();
        uint64_t firstSeq = run.firstSeq;
        for (int n = 0; n < kMostLinesBack && end > 0; ++n) {
            size_t newline = end - 1;  // previous holds complete lines only
            size_t start = newline == 0 ? std::string::npos : previous.rfind('\n', newline - 1);
            start = start == std::string::npos ? 0 : start + 1;
            std::string_view line(previous.data() + start, newline - start);
            RecordView view;
            if (ParseRecordView(line, &view) && view.camera == camera) {
                if (view.receipt != run.receipt)
                    break;
                bool match = LineMatches(view, false);
                earlier.push_back(LineRef{line, match});
                run.matched = run.matched || match;
                firstSeq = (static_cast<uint64_t>(fileIndex - 1) << 40) | start;
                run.firstFile = fileIndex - 1;
                if ((view.flags & 1) != 0)
                    break;
            }
            end = start;
        }
        run.lines.assign(earlier.rbegin(), earlier.rend());
        run.firstSeq = firstSeq;
    }

    // Lines that begin where the raw scan found the literal, in file order.
    std::vector<size_t> CandidateLines(const std::string& data) {
        std::vector<size_t> starts;
        size_t at = 0;
        while ((at = scanner.Find(data.data(), data.size(), at)) != std::string::npos) {
            size_t start = data.rfind('\n', at);
            start = (start == std::string::npos) ? 0 : start + 1;
            starts.push_back(start);
            size_t end = data.find('\n', at);
            if (end == std::string::npos)
                break;
            at = end + 1;
        }
        return starts;
    }

    void SearchFile(const std::string& data) {
        std::vector<size_t> candidates;
        bool scanned = scanner.Active() && !query.text.empty();
        if (scanned) {
            candidates = CandidateLines(data);
            bool openMatch = false;
            for (const ReceiptRun& run : runs)
                openMatch = openMatch || (run.open && run.matched);
            if (candidates.empty() && !openMatch) {
                // Nothing here can match, and no receipt found so far continues here.
                for (ReceiptRun& run : runs)
                    CloseRun(run);
                Release(true);
                return;
            }
        }
        if (query.linesOnly) {
            if (scanned) {
                for (size_t start : candidates)
                    if (!LinesOnlyLine(data, start))
                        return;
            } else {
                for (size_t start = 0; start < data.size();) {
                    if (!LinesOnlyLine(data, start))
                        return;
                    start = data.find('\n', start) + 1;
                }
            }
            return;
        }
        size_t next = 0;
        for (size_t start = 0; start < data.size() && !stopped;) {
            size_t end = data.find('\n', start);
            std::string_view line(data.data() + start, end - start);
            bool candidate = false;
            while (next < candidates.size() && candidates[next] < start)
                ++next;
            if (next < candidates.size() && candidates[next] == start)
                candidate = true;
            RecordView view;
            if (ParseRecordView(line, &view)) {
                bool match = LineMatches(view, candidate);
                if (match)
                    stats->matchingLines++;
                AddToRun(view, line, (static_cast<uint64_t>(fileIndex) << 40) | start, match);
            }
            start = end + 1;
        }
    }

    bool LinesOnlyLine(const std::string& data, size_t start) {
        size_t end = data.find('\n', start);
        std::string_view line(data.data() + start, end - start);
        RecordView view;
        if (!ParseRecordView(line, &view) || !LineMatches(view, true))
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

JournalSearch::JournalSearch() : state(new State) {}
JournalSearch::~JournalSearch() = default;

int JournalSearch::Prepare(const FindQuery& query, std::string* error) {
    State& s = *state;
    s.query = query;
    s.useRegex = false;
    s.scanner.Init(std::string(), false);
    s.fromDay = INT64_MIN;
    s.toDay = INT64_MAX;
    if (!query.from.empty() && (!ValidBound(query.from) || !ParseDayText(query.from, &s.fromDay))) {
        *error = "malformed start time: " + query.from;
        return 0;
    }
    if (!query.to.empty() && (!ValidBound(query.to) || !ParseDayText(query.to, &s.toDay))) {
        *error = "malformed end time: " + query.to;
        return 0;
    }
    if (query.regex) {
        try {
            auto flags = std::regex::ECMAScript | std::regex::optimize;
            if (!query.matchCase)
                flags |= std::regex::icase;
            s.expression = std::regex(query.text, flags);
        } catch (const std::regex_error& e) {
            *error = "bad regular expression \"" + query.text + "\": " + e.what();
            return 0;
        }
        s.useRegex = true;
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
    s.pending.clear();
    std::error_code missing;
    if (!std::filesystem::is_directory(std::filesystem::path(folder), missing)) {
        if (error != nullptr)
            *error = "no journal folder " + folder;
        return 0;
    }
    std::vector<JournalFile> files = ListJournalFiles(folder);
    int64_t lastDay = INT64_MIN;
    s.fileIndex = 0;
    for (const JournalFile& file : files) {
        // The day before the first one searched is read too, for receipts that cross midnight.
        bool contextOnly = s.fromDay != INT64_MIN && file.day == s.fromDay - 1;
        if ((file.day < s.fromDay && !contextOnly) || file.day > s.toDay)
            continue;
        ++s.fileIndex;
        // Receipts still open reach at most into the next day; older ones end here, before
        // the buffer that holds their lines is reused.
        for (ReceiptRun& run : s.runs)
            if (run.open && (run.firstFile < s.fileIndex - 1 || file.day != lastDay + 1))
                s.CloseRun(run);
        s.Release(false);
        if (s.stopped)
            break;
        s.previousUsable = file.day == lastDay + 1;
        lastDay = file.day;
        std::swap(s.previous, s.current);
        if (!ReadCompleteLines(file.path, &s.current)) {
            lastDay = INT64_MIN;
            continue;
        }
        if (contextOnly)
            continue;
        stats->files++;
        stats->bytes += s.current.size();
        std::fill(std::begin(s.seenInFile), std::end(s.seenInFile), false);
        s.SearchFile(s.current);
        if (s.stopped)
            break;
    }
    for (ReceiptRun& run : s.runs)
        s.CloseRun(run);
    s.Release(true);
    s.current.clear();
    s.previous.clear();
    return 1;
}

}  // namespace zamri
