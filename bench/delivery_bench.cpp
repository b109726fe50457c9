// Decoder to overlay in lines per second, with masking off, card-number masking on, and card
// numbers plus two user masks (a wildcard and a regular expression), in one run: the golden
// receipts, each with two card-number lines added (one with a date joined to the number), decoded
// and handed through the delivery step (mask, filter, overlay) to the overlay library substitute,
// which records to /dev/null. Then receipts read off against the built-in template with 20 user
// rules on, in the same run, with a sink that counts what it is given (lines and records).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "config/settings.h"
#include "program/program.h"
#include "serial/line_decoder.h"
#include "support/printer_bytes.h"

namespace {

const std::string& Corpus() {
    static const std::string corpus = [] {
        std::string once;
        for (const auto& entry : std::filesystem::directory_iterator(ZAMRI_GOLDEN_DIR)) {
            if (entry.path().extension() != ".receipt")
                continue;
            std::ifstream in(entry.path());
            std::string line, notation;
            while (std::getline(in, line)) {
                if (line.rfind("#", 0) != 0)
                    notation += line;
            }
            once += testing_support::PrinterBytes(notation) +
                    "\nVISA 4111 1111 1111 1111\n20-09-2026 4990 6958 4830 4011\n"
                    "MEMBER 0042424242  TEL 0301234567\n\f";
        }
        std::string all;
        while (all.size() < (1u << 20))
            all += once;
        return all;
    }();
    return corpus;
}

void BM_DecoderToOverlay(benchmark::State& state) {
    setenv("OVTEXT_LOG", "/dev/null", 1);
    auto program = std::make_unique<zamri::Program>();
    MaskSettings masks;
    masks.cardNumbers = state.range(0) >= 1;
    if (state.range(0) == 2)
        masks.patterns = {"MEMBER *", "re:TEL\\s+(\\d+)"};
    program->Delivery().SetMasks(masks);
    const std::string& bytes = Corpus();
    int64_t lines = 0;
    for (auto _ : state) {
        LineDecoder decoder;
        decoder.SetEmulation(2);
        MemoryByteSource memory(bytes.data(), bytes.size(), 0);
        ByteSource source = memory.Source();
        const char* text;
        int flags;
        while (decoder.ReadLine(source, &text, &flags) >= 0) {
            program->Delivery().Deliver(1, flags, "COM1", text);
            ++lines;
        }
    }
    state.counters["lines/s"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
    uint64_t masked = program->Delivery().MaskedCardNumbers(1) + program->Delivery().MaskedByUser(1);
    state.counters["masked/line"] = lines > 0 ? static_cast<double>(masked) / static_cast<double>(lines) : 0;
    static const char* const kLabels[] = {"masking off", "card numbers", "card numbers + 2 user masks"};
    state.SetLabel(kLabels[state.range(0)]);
}
BENCHMARK(BM_DecoderToOverlay)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

class CountingSink : public LineSink {
  public:
    void Accept(const DeliveredLine& line) override {
        ++items;
        records += line.kind != DeliveredKind::Line ? 1 : 0;
    }
    int64_t items = 0;
    int64_t records = 0;
};

// Twenty rules of every sort: line patterns, conditions on the transaction, time windows and
// sequences.
const char kTwentyRules[] =
    "[Channel 1]\nTemplate=builtin\n"
    "[Rule 1]\nName=Big refund line\nLine=REFUND {amount}\nMatch=amount >= 50\n"
    "[Rule 2]\nName=Gift card\nLine=GIFT CARD {amount}\n"
    "[Rule 3]\nName=Manager\nLine=MANAGER OVERRIDE\n"
    "[Rule 4]\nName=Copy\nLine=*** COPY ***\n"
    "[Rule 5]\nName=Reprint\nLine=REPRINT\nHours=22:00-06:00\n"
    "[Rule 6]\nName=Open item\nLine=OPEN DEPT {amount}\n"
    "[Rule 7]\nName=Staff\nLine=STAFF {word}\n"
    "[Rule 8]\nName=Training\nLine=TRAINING MODE\n"
    "[Rule 9]\nName=Big sale\nMatch=total > 100\n"
    "[Rule 10]\nName=Big cash\nMatch=total > 200 and tender = CASH\n"
    "[Rule 11]\nName=Watched cashier\nMatch=cashier = 17, 23\n"
    "[Rule 12]\nName=Many voids\nMatch=voids >= 2\n"
    "[Rule 13]\nName=Drawer small\nMatch=drawer = yes and total < 1\n"
    "[Rule 14]\nName=Big change\nMatch=change > 50\n"
    "[Rule 15]\nName=Refund by 5\nMatch=kind = refund and cashier = 5\n"
    "[Rule 16]\nName=Long receipt\nMatch=lines > 40\nLine=TOTAL {amount}\n"
    "[Rule 17]\nName=Void then no sale\nFirst=void\nThen=no-sale\nWithin=60\n"
    "[Rule 18]\nName=Refund then no sale\nFirst=refund\nThen=no-sale\nWithin=120\n"
    "[Rule 19]\nName=Two cancels\nFirst=cancel\nThen=cancel\nWithin=600\n"
    "[Rule 20]\nName=Discount then void\nFirst=discount\nThen=void\nWithin=30\n";

void BM_DeliveryReadingReceipts(benchmark::State& state) {
    setenv("OVTEXT_LOG", "/dev/null", 1);
    auto program = std::make_unique<zamri::Program>();
    auto sink = std::make_shared<CountingSink>();
    program->Delivery().AddSink(sink);
    if (state.range(0) == 1) {
        std::string path = std::filesystem::temp_directory_path() / "bench_delivery_rules.ini";
        std::ofstream(path) << kTwentyRules;
        std::shared_ptr<zamri::Settings> settings = zamri::ReadSettings(path.c_str());
        std::filesystem::remove(path);
        if (!settings->problems.empty()) {
            state.SkipWithError(settings->problems[0].text.c_str());
            return;
        }
        program->Delivery().SetReceipts(settings->receipts);
    }
    const std::string& bytes = Corpus();
    int64_t lines = 0;
    for (auto _ : state) {
        LineDecoder decoder;
        decoder.SetEmulation(2);
        MemoryByteSource memory(bytes.data(), bytes.size(), 0);
        ByteSource source = memory.Source();
        const char* text;
        int flags;
        while (decoder.ReadLine(source, &text, &flags) >= 0) {
            program->Delivery().Deliver(1, flags, "COM1", text);
            ++lines;
        }
    }
    program->Delivery().Flush();
    state.counters["lines/s"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
    state.counters["records/line"] =
        lines > 0 ? static_cast<double>(sink->records) / static_cast<double>(lines) : 0;
    state.SetLabel(state.range(0) == 0 ? "receipts not read" : "built-in template + 20 rules");
}
BENCHMARK(BM_DeliveryReadingReceipts)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
