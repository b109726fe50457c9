#include "web/web_search.h"

#include <algorithm>
#include <deque>
#include <filesystem>
#include <vector>

#include "journal/journal_search.h"
#include "web/web_text.h"

namespace zamri {

namespace {

std::string LocalTimeOf(const JournalRecord& record) {
    return FormatLocalTime(record.utcMilliseconds + static_cast<int64_t>(record.utcOffsetMinutes) * 60000);
}

}  // namespace

void AppendReceiptJson(const FoundReceipt& receipt, std::string& out) {
    const JournalRecord& first = receipt.lines.front().record;
    out += "{\"camera\":" + std::to_string(first.camera);
    out += ",\"source\":" + JsonString(first.source);
    out += ",\"receipt\":" + std::to_string(first.receipt);
    out += ",\"time\":" + JsonString(LocalTimeOf(first));
    if (receipt.partial)
        out += ",\"partial\":true";
    out += ",\"lines\":[";
    for (size_t i = 0; i < receipt.lines.size(); ++i) {
        const FoundLine& line = receipt.lines[i];
        out += i == 0 ? "{" : ",{";
        // Only the clock time: the receipt's heading carries the date.
        out += "\"time\":" + JsonString(LocalTimeOf(line.record).substr(11));
        out += ",\"text\":" + JsonString(line.record.text);
        out += ",\"flags\":" + std::to_string(line.record.flags);
        out += line.match ? ",\"match\":true}" : ",\"match\":false}";
    }
    out += "]}";
}

int SearchJournal(const std::string& folder, const SearchQuery& query, const std::atomic<bool>& stop,
                  std::string& json, std::string& error) {
    FindQuery find;
    find.text = query.text;
    find.camera = query.camera;
    // The journal compares bounds as leading parts of its "YYYY-MM-DDTHH:MM:SS" times, so a
    // minute as the end covers the whole minute.
    find.from = JournalTimeBound(query.from);
    find.to = JournalTimeBound(query.to);
    find.maxResults = kSearchMostResults;
    find.timeLimitMilliseconds = kSearchSeconds * 1000;
    JournalSearch search;
    if (!search.Prepare(find, &error))
        return 0;
    // The writer makes the folder with its first line: until then there is nothing to find.
    std::error_code ignored;
    bool exists = std::filesystem::is_directory(std::filesystem::u8path(folder), ignored);

    const uint64_t skipNewest = static_cast<uint64_t>(query.page - 1) * kSearchPageSize;
    const uint64_t wanted = skipNewest + kSearchPageSize;
    uint64_t total = 0;
    std::deque<FoundReceipt> kept;
    FindStats stats, counted;
    auto going = [&stop] { return !stop.load(); };
    if (!exists) {
    } else if (wanted <= static_cast<uint64_t>(kSearchHeldReceipts)) {
        // One pass holding the newest `wanted` results; the oldest of them are this page.
        if (!search.Run(
                folder,
                [&](const FoundReceipt& found) {
                    ++total;
                    kept.push_back(found);
                    if (kept.size() > wanted)
                        kept.pop_front();
                    return going();
                },
                &stats, &error))
            return 0;
        counted = stats;
        size_t onPage = kept.size() > skipNewest ? kept.size() - static_cast<size_t>(skipNewest) : 0;
        kept.resize(std::min<size_t>(onPage, kSearchPageSize));
    } else {
        // Counted first; the second pass keeps results [total - wanted, total - skipNewest).
        if (!search.Run(
                folder,
                [&](const FoundReceipt&) {
                    ++total;
                    return going();
                },
                &stats, &error))
            return 0;
        counted = stats;
        uint64_t begin = total > wanted ? total - wanted : 0;
        uint64_t end = total > skipNewest ? total - skipNewest : 0;
        uint64_t index = 0;
        if (end > begin && going() &&
            !search.Run(
                folder,
                [&](const FoundReceipt& found) {
                    if (index >= begin)
                        kept.push_back(found);
                    return ++index < end && going();
                },
                &stats, &error))
            return 0;
    }
    if (!going()) {
        error = "the program is stopping";
        return 0;
    }
    std::vector<const FoundReceipt*> page;
    for (const FoundReceipt& found : kept)
        if (!found.lines.empty())
            page.push_back(&found);
    // Newest first by the time each receipt began.
    std::stable_sort(page.begin(), page.end(), [](const FoundReceipt* a, const FoundReceipt* b) {
        return a->lines.front().record.utcMilliseconds > b->lines.front().record.utcMilliseconds;
    });
    json = "{\"results\":[";
    for (size_t i = 0; i < page.size(); ++i) {
        if (i > 0)
            json += ',';
        AppendReceiptJson(*page[i], json);
    }
    json += "],\"page\":" + std::to_string(query.page);
    json += total > wanted ? ",\"more\":true" : ",\"more\":false";
    json += ",\"total\":" + std::to_string(total);
    if (counted.capped || counted.timedOut) {
        std::string reached = counted.stoppedAt.empty() ? "its start" : counted.stoppedAt;
        if (reached.size() > 10)
            reached[10] = ' ';
        std::string why = counted.capped ? "after " + std::to_string(kSearchMostResults) + " receipts"
                                         : "after " + std::to_string(kSearchSeconds) + " seconds";
        json += ",\"notice\":" + JsonString("The search stopped " + why + ": the journal from " + reached +
                                            " on was not searched. Narrow it by camera or time.");
    }
    json += "}";
    return 1;
}

}  // namespace zamri
