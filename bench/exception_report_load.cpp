// The exceptions report and the event listings over a generated year of journal: 32 cameras,
// their receipts' lines with exception and transaction records among them, as the program
// writes them. Measures, with the files in the page cache, the time to the report's table over
// the year and over one month of one camera, and to read every transaction of the year.
//
// Usage: bench_exception_report [FOLDER [DAYS [RECEIPTS_PER_CAMERA_PER_DAY]]]
// The journal is generated into FOLDER (default /tmp/zamri-report-bench) unless it is there.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "journal/event_output.h"
#include "journal/journal_events.h"
#include "journal/journal_files.h"
#include "journal_generator.h"

namespace {

void Report(const char* what, const std::string& folder, const zamri::EventQuery& query, bool print) {
    zamri::JournalEventReader reader;
    std::string error;
    if (!reader.Prepare(query, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::exit(1);
    }
    auto start = std::chrono::steady_clock::now();
    zamri::ExceptionReport report;
    zamri::EventStats stats;
    reader.Run(
        folder,
        [&](const zamri::EventRecord& r) {
            report.Add(r);
            return true;
        },
        &stats, &error);
    std::string table;
    report.AppendTable(what, &table);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-48s %8.3f s  %7.0f MB/s  %4llu files %9.1f MB  %8llu records  %zu table bytes\n", what,
                seconds, stats.bytes / 1e6 / seconds, static_cast<unsigned long long>(stats.files),
                stats.bytes / 1e6, static_cast<unsigned long long>(stats.results), table.size());
    if (print)
        std::fputs(table.substr(0, table.find("\nBy camera")).c_str(), stdout);
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder = argc > 1 ? argv[1] : "/tmp/zamri-report-bench";
    int days = argc > 2 ? std::atoi(argv[2]) : 365;
    int receipts = argc > 3 ? std::atoi(argv[3]) : 100;
    if (zamri::ListJournalFiles(folder).size() < static_cast<size_t>(days)) {
        auto start = std::chrono::steady_clock::now();
        GenerateJournal(folder, days, receipts, true);
        std::printf("generated %d days, 32 cameras, %d receipts per camera and day, with events, in %.1f s\n",
                    days, receipts,
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    zamri::EventQuery year;
    year.event = "exception";
    Report("report, every exception of the year (cold-ish)", folder, year, false);
    Report("report, every exception of the year (warm)", folder, year, true);
    zamri::EventQuery month = year;
    month.camera = 7;
    month.from = "2025-11-01";
    month.to = "2025-11-30";
    Report("report, camera 7, one month", folder, month, false);
    zamri::EventQuery refunds = year;
    refunds.kind = "refund";
    Report("report, refunds of the year", folder, refunds, false);
    zamri::EventQuery sales;
    sales.event = "transaction";
    Report("every transaction of the year (read, tallied)", folder, sales, false);
    return 0;
}
