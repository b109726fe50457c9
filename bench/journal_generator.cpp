// A generated journal for the benchmarks: 32 cameras, each with a day of receipts of a busy
// store (items, prices, a total, payment; now and then a VOID), written in the journal's own
// format, one file per day.
#include "journal_generator.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "journal/journal_files.h"
#include "journal/journal_record.h"
#include "text/civil_days.h"
#include "text/json_string.h"

namespace {

// The start of an event record with the time, camera, source and receipt of record r.
std::string EventHead(const char* event, const zamri::JournalRecord& r) {
    std::string head = std::string("{\"event\":\"") + event + "\",\"time\":\"" +
                       zamri::FormatRecordTime(r.utcMilliseconds, r.utcOffsetMinutes) +
                       "\",\"camera\":" + std::to_string(r.camera) + ",\"source\":\"" + r.source +
                       "\",\"receipt\":" + std::to_string(r.receipt);
    return head;
}

std::string Exception(const zamri::JournalRecord& r, const std::string& cashier, const char* kind, int cents,
                      const std::string& line) {
    char amount[64];
    std::snprintf(amount, sizeof amount, "%s%d.%02d", cents < 0 ? "-" : "", std::abs(cents) / 100,
                  std::abs(cents) % 100);
    std::string escaped;
    zamri::AppendJsonEscaped(line, &escaped);
    return EventHead("exception", r) + ",\"kind\":\"" + kind + "\",\"amount\":" + amount + ",\"line\":\"" +
           escaped + "\",\"cashier\":\"" + cashier + "\"}\n";
}

constexpr int64_t kDay = 86400000;
const char* kItems[] = {"BREAD WHOLEMEAL",   "MILK 1L",    "K\xC3\x84SE GOUDA 200G",
                        "COFFEE BEANS 500G", "APPLES 1KG", "BANANAS",
                        "TOMATOES",          "PASTA 500G", "OLIVE OIL 0.75L",
                        "WATER 6X1.5L",      "CHOCOLATE",  "YOGHURT NATURE",
                        "BUTTER 250G",       "EGGS 10",    "CROISSANT",
                        "ORANGE JUICE 1L"};

}  // namespace

void GenerateJournal(const std::string& folder, int days, int receiptsPerCamera, bool events) {
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
            std::string cashier = std::to_string(10 + camera % 7 + (d % 2) * 7);
            std::vector<std::string> pending;
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
                if (voided)
                    pending.push_back(Exception(r, cashier, "void", -price, line));
            }
            char line[96];
            std::snprintf(line, sizeof line, "TOTAL %21d.%02d", cents / 100, std::abs(cents % 100));
            lines.push_back(line);
            bool cash = random() % 3 == 0;
            lines.push_back(cash ? "CASH" : "CARD ************1234");
            lines.push_back("THANK YOU");
            if (random() % 100 == 0)
                pending.push_back(Exception(r, cashier, "refund", -(cents / 4), "REFUND"));
            if (random() % 150 == 0)
                pending.push_back(Exception(r, cashier, "no-sale", 0, "NO SALE"));
            for (size_t i = 0; i < lines.size(); ++i) {
                int64_t local = start + static_cast<int64_t>(i) * 1500;
                r.utcMilliseconds = local - 60 * 60000LL;
                r.flags = i == 0 ? 1 : (i + 1 == lines.size() ? 2 : 0);
                r.text = lines[i];
                zamri::AppendRecordLine(r, &out);
            }
            if (!events)
                continue;
            // The events come when the receipt ends, with the time of its last line.
            for (const std::string& e : pending)
                out.append(e);
            char sale[256];
            std::snprintf(
                sale, sizeof sale,
                ",\"total\":%d.%02d,\"subtotal\":null,\"tenders\":[{\"name\":\"%s\",\"amount\":%d.%02d}],"
                "\"change\":null,\"cashier\":\"%s\",\"register\":\"%d\",\"number\":\"%06lld\","
                "\"lines\":%zu,\"voids\":0,\"drawer\":%s}\n",
                cents / 100, std::abs(cents % 100), cash ? "CASH" : "CARD", cents / 100,
                std::abs(cents % 100), cashier.c_str(), camera, static_cast<long long>(r.receipt),
                lines.size(), cash ? "true" : "false");
            out.append(EventHead("transaction", r)).append(sale);
        }
        // Lines of a file are in time order, as the program writes them.
        std::FILE* file = std::fopen(zamri::JoinPath(folder, zamri::JournalFileName(day)).c_str(), "wb");
        fwrite(out.data(), 1, out.size(), file);
        std::fclose(file);
    }
}
