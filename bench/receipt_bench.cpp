// Lines per second through one camera's receipt reader, in one run: reading off, the built-in
// template alone, and the built-in template with 20 user rules (line patterns, transaction
// conditions, sequences). The lines are the golden receipts of the receipt tests, in page 1252,
// each receipt ended with flag 2 and followed by a drawer opening.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "receipt/receipt_reader.h"
#include "receipt/receipt_settings.h"
#include "receipt_test_support.h"

using namespace zamri;

namespace {

struct Printed {
    std::string text;
    int flags;
    bool drawer;
};

const std::vector<Printed>& Corpus() {
    static const std::vector<Printed> corpus = [] {
        std::vector<Printed> lines;
        for (const auto& entry : std::filesystem::directory_iterator(ZAMRI_RECEIPT_GOLDEN_DIR)) {
            if (entry.path().extension() != ".txt")
                continue;
            std::ifstream in(entry.path());
            for (std::string line; std::getline(in, line);) {
                if (line == "@end" && !lines.empty())
                    lines.back().flags |= kReceiptEndLine;
                else if (line == "@drawer")
                    lines.push_back({"", 0, true});
                else if (line.rfind("@", 0) != 0)
                    lines.push_back({Utf8ToCp1252(line), 0, false});
            }
            if (!lines.empty())
                lines.back().flags |= kReceiptEndLine;
        }
        return lines;
    }();
    return corpus;
}

SettingSection Rule(int n, std::initializer_list<std::pair<const char*, const char*>> keys) {
    SettingSection s;
    s.number = n;
    for (const auto& k : keys)
        s.keys.push_back({k.first, k.second});
    return s;
}

std::shared_ptr<const ExceptionRules> TwentyRules() {
    std::vector<SettingSection> rules = {
        Rule(1, {{"Name", "Big refund line"}, {"Line", "REFUND {amount}"}, {"Match", "amount >= 50"}}),
        Rule(2, {{"Name", "Gift card"}, {"Line", "GIFT CARD {amount}"}}),
        Rule(3, {{"Name", "Manager"}, {"Line", "MANAGER OVERRIDE"}}),
        Rule(4, {{"Name", "Copy"}, {"Line", "*** COPY ***"}}),
        Rule(5, {{"Name", "Reprint"}, {"Line", "REPRINT"}, {"Hours", "22:00-06:00"}}),
        Rule(6, {{"Name", "Open item"}, {"Line", "OPEN DEPT {amount}"}}),
        Rule(7, {{"Name", "Staff"}, {"Line", "STAFF {word}"}}),
        Rule(8, {{"Name", "Training"}, {"Line", "TRAINING MODE"}}),
        Rule(9, {{"Name", "Big sale"}, {"Match", "total > 100"}}),
        Rule(10, {{"Name", "Big cash"}, {"Match", "total > 200 and tender = CASH"}}),
        Rule(11, {{"Name", "Watched cashier"}, {"Match", "cashier = 17, 23"}}),
        Rule(12, {{"Name", "Many voids"}, {"Match", "voids >= 2"}}),
        Rule(13, {{"Name", "Drawer small"}, {"Match", "drawer = yes and total < 1"}}),
        Rule(14, {{"Name", "Big change"}, {"Match", "change > 50"}}),
        Rule(15, {{"Name", "Refund by 5"}, {"Match", "kind = refund and cashier = 5"}}),
        Rule(16, {{"Name", "Long receipt"}, {"Match", "lines > 40"}, {"Line", "TOTAL {amount}"}}),
        Rule(17, {{"Name", "Void then no sale"}, {"First", "void"}, {"Then", "no-sale"}, {"Within", "60"}}),
        Rule(18,
             {{"Name", "Refund then no sale"}, {"First", "refund"}, {"Then", "no-sale"}, {"Within", "120"}}),
        Rule(19, {{"Name", "Two cancels"}, {"First", "cancel"}, {"Then", "cancel"}, {"Within", "600"}}),
        Rule(20, {{"Name", "Discount then void"}, {"First", "discount"}, {"Then", "void"}, {"Within", "30"}}),
    };
    std::vector<std::string> errors;
    auto compiled = ExceptionRules::Compile(ExceptionOptions(), rules, 1252, &errors);
    if (!errors.empty() || compiled->Rules().size() != 20)
        std::abort();
    return compiled;
}

void BM_ReceiptReader(benchmark::State& state) {
    std::shared_ptr<const ReceiptTemplate> receiptTemplate;
    std::shared_ptr<const ExceptionRules> rules;
    if (state.range(0) >= 1)
        receiptTemplate = std::make_shared<const ReceiptTemplate>(1252);
    if (state.range(0) == 2)
        rules = TwentyRules();
    const std::vector<Printed>& corpus = Corpus();
    ManualClock clock(kGoldenStart);
    ReceiptReader reader(receiptTemplate, rules, &clock);
    std::vector<ReadReceipt> done;
    uint32_t receipt = 1;
    bool open = false;
    int64_t lines = 0;
    int64_t exceptions = 0;
    for (auto _ : state) {
        for (const Printed& p : corpus) {
            clock.now += 100;
            if (p.drawer) {
                DrawerEvent event;
                event.utcMilliseconds = clock.now;
                event.camera = 1;
                event.source = "COM1";
                event.receipt = receipt;
                reader.Drawer(event, &done);
            } else {
                ReceiptLine line;
                line.text = p.text;
                line.flags = p.flags | (open ? 0 : kReceiptFirstLine);
                line.utcMilliseconds = clock.now;
                line.camera = 1;
                line.source = "COM1";
                line.receipt = receipt;
                benchmark::DoNotOptimize(reader.Line(line, &done));
                open = (p.flags & kReceiptEndLine) == 0;
                if (!open)
                    ++receipt;
                ++lines;
            }
            for (const ReadReceipt& r : done)
                exceptions += static_cast<int64_t>(r.exceptions.size());
            done.clear();
        }
    }
    state.SetItemsProcessed(lines);
    state.counters["exceptions_per_line"] =
        benchmark::Counter(lines > 0 ? static_cast<double>(exceptions) / static_cast<double>(lines) : 0);
}
// 0: reading off (no template), 1: the built-in template, 2: with 20 user rules.
BENCHMARK(BM_ReceiptReader)->Arg(0)->Arg(1)->Arg(2);

}  // namespace

BENCHMARK_MAIN();
