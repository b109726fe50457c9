// Decoder to overlay in lines per second, with masking off, card-number masking on, and card
// numbers plus two user masks (a wildcard and a regular expression), in one run: the golden
// receipts, each with two card-number lines added (one with a date joined to the number), decoded
// and handed through the delivery step (mask, filter, overlay) to the overlay library substitute,
// which records to /dev/null.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

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

}  // namespace

BENCHMARK_MAIN();
