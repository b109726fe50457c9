#include "web/web_events.h"

#include <deque>
#include <filesystem>
#include <optional>
#include <vector>

#include "journal/event_output.h"
#include "journal/journal_events.h"
#include "journal/journal_search.h"
#include "web/web_search.h"
#include "web/web_text.h"

namespace zamri {

namespace {

EventQuery QueryOf(const WebEventFilter& filter) {
    EventQuery query;
    query.event = "exception";
    query.kind = filter.kind;
    query.camera = filter.camera;
    query.from = JournalTimeBound(filter.from);
    query.to = JournalTimeBound(filter.to);
    query.timeLimitMilliseconds = kEventsSeconds * 1000;
    return query;
}

std::string StoppedNotice(const std::string& what, bool capped, bool timedOut, std::string reached) {
    if (!capped && !timedOut)
        return "";
    if (reached.empty())
        reached = "its start";
    if (reached.size() > 10)
        reached[10] = ' ';
    std::string why = capped ? "after " + std::to_string(kExceptionsCounted) + " exceptions"
                             : "after " + std::to_string(kEventsSeconds) + " seconds";
    return what + " stopped " + why + ": the journal from " + reached +
           " on was not read. Narrow it by camera or time.";
}

void AppendOptionalAmount(const std::optional<double>& amount, std::string& out) {
    out += amount ? FormatAmount(*amount) : std::string("null");
}

void AppendException(const EventRecord& e, std::string& out) {
    std::string at = e.time.substr(0, 19);
    std::string shown = at;
    if (shown.size() > 10)
        shown[10] = ' ';
    out += "{\"time\":" + JsonString(shown);
    out += ",\"at\":" + JsonString(at);
    out += ",\"camera\":" + std::to_string(e.camera);
    out += ",\"source\":" + JsonString(e.source);
    out += ",\"receipt\":";
    out += e.receipt ? std::to_string(*e.receipt) : std::string("null");
    out += ",\"kind\":" + JsonString(e.kind);
    out += ",\"amount\":";
    AppendOptionalAmount(e.amount, out);
    out += ",\"cashier\":" + JsonString(e.cashier);
    out += ",\"line\":" + JsonString(e.line) + "}";
}

}  // namespace

bool JournalFolderExists(const std::string& folder) {
    std::error_code ignored;
    return std::filesystem::is_directory(std::filesystem::u8path(folder), ignored);
}

bool GaveUp(const std::atomic<bool>& stop, std::string& error) {
    if (!stop.load())
        return false;
    error = "the program is stopping";
    return true;
}

int ExceptionListJson(const std::string& folder, const WebEventFilter& filter, const std::atomic<bool>& stop,
                      std::string& json, std::string& error) {
    JournalEventReader reader;
    if (!reader.Prepare(QueryOf(filter), &error))
        return 0;
    std::deque<EventRecord> newest;
    uint64_t total = 0;
    bool capped = false;
    std::string cappedAt;
    EventStats stats;
    if (JournalFolderExists(folder) && !reader.Run(
                                           folder,
                                           [&](const EventRecord& record) {
                                               if (!filter.cashier.empty() &&
                                                   record.cashier != filter.cashier)
                                                   return !stop.load();
                                               newest.push_back(record);
                                               if (newest.size() > static_cast<size_t>(kExceptionsShown))
                                                   newest.pop_front();
                                               if (++total >= kExceptionsCounted) {
                                                   capped = true;
                                                   cappedAt = record.time.substr(0, 19);
                                                   return false;
                                               }
                                               return !stop.load();
                                           },
                                           &stats, &error))
        return 0;
    if (GaveUp(stop, error))
        return 0;
    json = "{\"results\":[";
    for (auto it = newest.rbegin(); it != newest.rend(); ++it) {
        if (it != newest.rbegin())
            json += ',';
        AppendException(*it, json);
    }
    json += "],\"total\":" + std::to_string(total);
    json += total > newest.size() ? ",\"more\":true" : ",\"more\":false";
    std::string notice =
        StoppedNotice("The list", capped, stats.timedOut, capped ? cappedAt : stats.stoppedAt);
    if (!notice.empty())
        json += ",\"notice\":" + JsonString(notice);
    json += "}";
    return 1;
}

int ExceptionReportAnswer(const std::string& folder, const WebEventFilter& filter, bool csv,
                          const std::atomic<bool>& stop, std::string& body, std::string& error) {
    JournalEventReader reader;
    if (!reader.Prepare(QueryOf(filter), &error))
        return 0;
    ExceptionReport report;
    EventStats stats;
    if (JournalFolderExists(folder) && !reader.Run(
                                           folder,
                                           [&](const EventRecord& record) {
                                               if (filter.cashier.empty() || record.cashier == filter.cashier)
                                                   report.Add(record);
                                               return !stop.load();
                                           },
                                           &stats, &error))
        return 0;
    if (GaveUp(stop, error))
        return 0;
    std::string table;
    report.AppendCsv(&table);
    std::string notice = StoppedNotice("The report", false, stats.timedOut, stats.stoppedAt);
    if (csv) {
        body = std::move(table);
        // A report cut short must never pass for the whole one.
        if (!notice.empty())
            body += "incomplete," + notice.substr(0, notice.find(':')) + "\r\n";
        return 1;
    }
    std::string title = "Exceptions";
    if (!filter.kind.empty())
        title += " of kind " + filter.kind;
    if (filter.camera != 0)
        title += ", camera " + std::to_string(filter.camera);
    if (!filter.cashier.empty())
        title += ", cashier " + filter.cashier;
    title += filter.from.empty() ? ", from the first day" : ", from " + filter.from;
    title += filter.to.empty() ? " to the last" : " to " + filter.to;
    body = "{\"count\":" + std::to_string(report.Count());
    body += ",\"title\":" + JsonString(title);
    body += ",\"csv\":" + JsonString(table);
    if (!notice.empty())
        body += ",\"notice\":" + JsonString(notice);
    body += "}";
    return 1;
}

int ReceiptLookupJson(const std::string& folder, int camera, int64_t receipt, const std::string& at,
                      const std::atomic<bool>& stop, std::string& json, std::string& error) {
    int64_t atMs = 0;
    if (!ParseLocalTime(at, &atMs)) {
        error = "at must be a time like 2026-12-09T14:30:05";
        return 0;
    }
    // An exception is written at its line or at its receipt's end: the receipt began before it,
    // within a working day, and a line-level one may have lines after it.
    FindQuery find;
    find.camera = camera;
    find.from = JournalTimeBound(FormatLocalTime(atMs - 12 * 3600 * 1000LL));
    find.to = JournalTimeBound(FormatLocalTime(atMs + 10 * 60 * 1000LL));
    find.timeLimitMilliseconds = kEventsSeconds * 1000;
    JournalSearch search;
    if (!search.Prepare(find, &error))
        return 0;
    std::optional<FoundReceipt> best;
    int64_t latestStart = atMs + 1000;
    FindStats stats;
    if (JournalFolderExists(folder) &&
        !search.Run(
            folder,
            [&](const FoundReceipt& found) {
                if (found.lines.empty() || found.lines.front().record.receipt != receipt)
                    return !stop.load();
                const JournalRecord& first = found.lines.front().record;
                int64_t start = first.utcMilliseconds + static_cast<int64_t>(first.utcOffsetMinutes) * 60000;
                // The last one that began by the exception's time; else the first after it.
                if (start < latestStart || !best)
                    best = found;
                return !stop.load();
            },
            &stats, &error))
        return 0;
    if (GaveUp(stop, error))
        return 0;
    json = "{\"receipt\":";
    if (best)
        AppendReceiptJson(*best, json);
    else
        json += "null";
    json += "}";
    return 1;
}

}  // namespace zamri
