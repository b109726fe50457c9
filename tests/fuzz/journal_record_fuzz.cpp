// Fuzz target: any bytes as a journal day file. Properties, not only crashes: a record that
// reads writes back in a form that reads again as the same record and writes back byte for
// byte the same; the file read backwards gives the lines that reading it forwards gives, in
// the other order; and a search over the file, with a text and with a regular expression,
// finds every result within the limits of one result. An event record is never a line record,
// and whatever reads as one can be shown, put in CSV and counted.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "journal/event_output.h"
#include "journal/event_record.h"
#include "journal/journal_events.h"
#include "journal/journal_files.h"
#include "journal/journal_record.h"
#include "journal/journal_search.h"
#include "support/temp_dir.h"

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

bool SameRecord(const zamri::JournalRecord& a, const zamri::JournalRecord& b) {
    return a.utcMilliseconds == b.utcMilliseconds && a.utcOffsetMinutes == b.utcOffsetMinutes &&
           a.camera == b.camera && a.flags == b.flags && a.receipt == b.receipt && a.source == b.source &&
           a.text == b.text;
}

void CheckEvent(std::string_view line, bool isLine) {
    zamri::EventRecord event;
    if (!zamri::ParseEventRecord(line, &event))
        return;
    Require(!isLine && event.stored == line);
    std::string out;
    zamri::AppendEventLine(event, &out);
    zamri::AppendEventCsvRow(event, &out);
    zamri::ExceptionReport report;
    report.Add(event);
    report.AppendTable("", &out);
    report.AppendCsv(&out);
    Require(report.Count() == 1);
}

void CheckRecord(std::string_view line) {
    zamri::RecordView view;
    zamri::JournalRecord first;
    bool isLine = zamri::ParseRecordView(line, &view);
    CheckEvent(line, isLine);
    if (!isLine || !zamri::RecordFromView(view, &first))
        return;
    std::string written;
    zamri::AppendRecordLine(first, &written);
    Require(!written.empty() && written.back() == '\n');
    written.pop_back();
    zamri::JournalRecord second, third;
    Require(zamri::ParseRecordView(written, &view) && zamri::RecordFromView(view, &second));
    Require(second.utcMilliseconds == first.utcMilliseconds && second.camera == first.camera &&
            second.flags == first.flags && second.receipt == first.receipt);
    std::string again;
    zamri::AppendRecordLine(second, &again);
    again.pop_back();
    Require(again == written);
    Require(zamri::ParseRecordView(again, &view) && zamri::RecordFromView(view, &third));
    Require(SameRecord(second, third));
}

const testing_support::TempDir& Folder() {
    static testing_support::TempDir dir;
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    size_t start = 0, end;
    std::vector<std::string_view> forward;
    while ((end = bytes.find('\n', start)) != std::string::npos) {
        std::string_view line(bytes.data() + start, end - start);
        CheckRecord(line);
        forward.push_back(line);
        start = end + 1;
    }

    std::string path = zamri::JoinPath(Folder().Path(), "2026-12-08.jsonl");
    Require(testing_support::WriteFileBytes(path, bytes));
    zamri::JournalFileReader reader;
    Require(reader.Open(path) == 1);
    std::string read;
    std::string_view block;
    uint64_t offset = 0;
    while (reader.Next(&block, &offset)) {
        Require(offset == read.size() && !block.empty() && block.back() == '\n');
        read.append(block);
    }
    Require(read == bytes.substr(0, start));

    zamri::JournalBackwardReader back;
    Require(back.Open(path, zamri::JournalBackwardReader::kFileEnd) == 1);
    std::string_view line;
    size_t n = forward.size();
    while (back.Previous(&line, &offset)) {
        while (n > 0 && forward[n - 1].size() > zamri::JournalBackwardReader::kLongestLine)
            --n;
        Require(n > 0 && line == forward[n - 1]);
        Require(offset == static_cast<uint64_t>(forward[n - 1].data() - bytes.data()));
        --n;
    }
    while (n > 0 && forward[n - 1].size() > zamri::JournalBackwardReader::kLongestLine)
        --n;
    Require(n == 0);

    for (bool regex : {false, true}) {
        zamri::FindQuery query;
        query.text = regex ? "^[a-z]+ ?[0-9]" : "a";
        query.regex = regex;
        query.maxResults = 50;
        zamri::JournalSearch search;
        std::string error;
        Require(search.Prepare(query, &error) == 1);
        zamri::FindStats stats;
        Require(search.Run(
                    Folder().Path(),
                    [](const zamri::FoundReceipt& found) {
                        Require(!found.lines.empty() && found.lines.size() <= zamri::kMaxResultLines);
                        bool match = false;
                        for (const zamri::FoundLine& l : found.lines)
                            match = match || l.match;
                        Require(match);
                        return true;
                    },
                    &stats, &error) == 1);
        Require(stats.results <= 50 && (stats.results == 50 || !stats.capped));
    }
    for (const char* event : {"exception", "transaction"}) {
        zamri::EventQuery query;
        query.event = event;
        query.maxResults = 50;
        zamri::JournalEventReader events;
        std::string error;
        Require(events.Prepare(query, &error) == 1);
        zamri::EventStats stats;
        Require(events.Run(
                    Folder().Path(),
                    [&](const zamri::EventRecord& record) {
                        Require(record.event == event);
                        return true;
                    },
                    &stats, &error) == 1);
        Require(stats.results <= 50);
    }
    return 0;
}
