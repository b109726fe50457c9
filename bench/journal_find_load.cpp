// zamri-find's search over a generated year of journal: 32 cameras, each with a day of
// receipts of a busy store (items, prices, a total, payment; now and then a VOID), written in
// the journal's own format, one file per day. Measures, with the files in the page cache:
//   - the scan rate (MB/s) of a text that occurs nowhere, over the whole year;
//   - a rare word over the whole year, whole receipts;
//   - a typical query: a word on one camera on one day;
//   - a regular expression over one month.
//
// Usage: bench_journal_find [FOLDER [DAYS [RECEIPTS_PER_CAMERA_PER_DAY]]]
// The journal is generated into FOLDER (default /tmp/zamri-find-bench) unless it is there.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "journal/journal_files.h"
#include "journal/journal_record.h"
#include "journal/journal_search.h"
#include "journal_generator.h"

namespace {

void Measure(const char* what, const std::string& folder, const zamri::FindQuery& query) {
    zamri::JournalSearch search;
    std::string error;
    if (!search.Prepare(query, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::exit(1);
    }
    zamri::FindStats stats;
    uint64_t lines = 0;
    auto start = std::chrono::steady_clock::now();
    search.Run(
        folder,
        [&](const zamri::FoundReceipt& r) {
            lines += r.lines.size();
            return true;
        },
        &stats, &error);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-52s %8.3f s  %7.0f MB/s  %6llu files %9.1f MB  %8llu results %9llu lines\n", what, seconds,
                stats.bytes / 1e6 / seconds, static_cast<unsigned long long>(stats.files), stats.bytes / 1e6,
                static_cast<unsigned long long>(stats.results), static_cast<unsigned long long>(lines));
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder = argc > 1 ? argv[1] : "/tmp/zamri-find-bench";
    int days = argc > 2 ? std::atoi(argv[2]) : 365;
    int receipts = argc > 3 ? std::atoi(argv[3]) : 100;
    if (zamri::ListJournalFiles(folder).size() < static_cast<size_t>(days)) {
        auto start = std::chrono::steady_clock::now();
        GenerateJournal(folder, days, receipts, false);
        std::printf("generated %d days, 32 cameras, %d receipts per camera and day in %.1f s\n", days,
                    receipts,
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    zamri::FindQuery absent;
    absent.text = "no such words";
    Measure("year, text found nowhere (scan rate)", folder, absent);
    Measure("year, text found nowhere, second run (warm)", folder, absent);
    zamri::FindQuery rare;
    rare.text = "void chocolate";
    Measure("year, \"void chocolate\", whole receipts", folder, rare);
    zamri::FindQuery typical;
    typical.text = "void";
    typical.camera = 3;
    typical.from = typical.to = "2025-12-02";
    Measure("typical: \"void\", camera 3, one day", folder, typical);
    typical.camera = 0;
    typical.from = "2025-12-01";
    typical.to = "2025-12-07";
    Measure("\"void\", all cameras, one week", folder, typical);
    zamri::FindQuery regex;
    regex.text = "^TOTAL +[0-9]{3,}\\.";
    regex.regex = true;
    regex.linesOnly = true;
    regex.from = "2025-11-01";
    regex.to = "2025-11-30";
    Measure("regex ^TOTAL +[0-9]{3,}\\. over one month, lines", folder, regex);
    zamri::FindQuery camera;
    camera.camera = 7;
    camera.from = camera.to = "2025-12-01";
    Measure("every receipt of camera 7 on one day", folder, camera);
    return 0;
}
