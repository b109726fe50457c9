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
#include <filesystem>
#include <random>
#include <string>

#include "journal/journal_files.h"
#include "journal/journal_record.h"
#include "journal/journal_search.h"
#include "text/civil_days.h"

namespace {

constexpr int64_t kDay = 86400000;
const char* kItems[] = {"BREAD WHOLEMEAL",   "MILK 1L",    "K\xC3\x84SE GOUDA 200G",
                        "COFFEE BEANS 500G", "APPLES 1KG", "BANANAS",
                        "TOMATOES",          "PASTA 500G", "OLIVE OIL 0.75L",
                        "WATER 6X1.5L",      "CHOCOLATE",  "YOGHURT NATURE",
                        "BUTTER 250G",       "EGGS 10",    "CROISSANT",
                        "ORANGE JUICE 1L"};

void Generate(const std::string& folder, int days, int receiptsPerCamera) {
    std::filesystem::create_directories(folder);
    std::mt19937 random(42);
    int64_t firstDay = zamri::DaysFromCivil(2025, 12, 8) - days + 1;
    std::string out;
    zamri::JournalRecord r;
    r.utcOffsetMinutes = 60;
    for (int d = 0; d < days; ++d) {
        out.clear();
        int64_t day = firstDay + d;
        // Receipts of all cameras interleave through the opening hours, 8:00 to 20:00.
        int64_t receiptNumber[33] = {};
        int total = 32 * receiptsPerCamera;
        for (int k = 0; k < total; ++k) {
            int camera = 1 + k % 32;
            int64_t start = day * kDay + 8 * 3600000LL + static_cast<int64_t>(k) * (12 * 3600000LL / total);
            int items = 3 + static_cast<int>(random() % 25);
            r.camera = camera;
            r.source = camera <= 16 ? "COM" + std::to_string(camera) : "192.168.10." + std::to_string(camera);
            r.receipt = ++receiptNumber[camera];
            std::vector<std::string> lines = {"STORE 0042  TILL " + std::to_string(camera),
                                              "RECEIPT " + std::to_string(day * 1000 + r.receipt)};
            int cents = 0;
            for (int i = 0; i < items; ++i) {
                int price = 49 + static_cast<int>(random() % 1500);
                char line[96];
                bool voided = random() % 200 == 0;
                std::snprintf(line, sizeof line, "%s%-20s %6d.%02d", voided ? "VOID " : "",
                              kItems[random() % 16], (voided ? -price : price) / 100, std::abs(price % 100));
                cents += voided ? -price : price;
                lines.push_back(line);
            }
            char line[96];
            std::snprintf(line, sizeof line, "TOTAL %21d.%02d", cents / 100, std::abs(cents % 100));
            lines.push_back(line);
            lines.push_back(random() % 3 ? "CARD ************1234" : "CASH");
            lines.push_back("THANK YOU");
            for (size_t i = 0; i < lines.size(); ++i) {
                int64_t local = start + static_cast<int64_t>(i) * 1500;
                r.utcMilliseconds = local - 60 * 60000LL;
                r.flags = i == 0 ? 1 : (i + 1 == lines.size() ? 2 : 0);
                r.text = lines[i];
                zamri::AppendRecordLine(r, &out);
            }
        }
        // Lines of a file are in time order, as the program writes them.
        FILE* file = std::fopen(zamri::JoinPath(folder, zamri::JournalFileName(day)).c_str(), "wb");
        fwrite(out.data(), 1, out.size(), file);
        std::fclose(file);
    }
}

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
        Generate(folder, days, receipts);
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
