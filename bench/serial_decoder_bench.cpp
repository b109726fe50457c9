// Decoder throughput in bytes per second: over every golden receipt (a mix of dot-matrix, thermal
// and Star receipts with logos, barcodes, QR codes and cuts) for each emulation with the
// recorder's Hebrew setting off and on; each emulation over the receipts made for it with
// code-page conversion off and on; and through a capture object's byte source fed by a
// pseudo-terminal, which adds the port reads, the dump check and the setting lookup.
#include <benchmark/benchmark.h>
#include <pty.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>

#include "golden_corpus.h"
#include "serial/line_decoder.h"
#include "serial/serial_capture.h"

namespace {

const std::string& Corpus() {
    static const std::string corpus = bench_support::GoldenCorpus(-1);
    return corpus;
}

const std::string& OwnCorpus(int emulation) {
    static const std::string corpora[] = {bench_support::GoldenCorpus(0), bench_support::GoldenCorpus(1),
                                          bench_support::GoldenCorpus(2), bench_support::GoldenCorpus(3)};
    return corpora[emulation];
}

void BM_Decode(benchmark::State& state) {
    const std::string& bytes = Corpus();
    int emulation = static_cast<int>(state.range(0));
    int hebrew = static_cast<int>(state.range(1));
    int64_t lines = 0;
    for (auto _ : state) {
        LineDecoder decoder;
        decoder.SetEmulation(emulation);
        MemoryByteSource memory(bytes.data(), bytes.size(), hebrew);
        ByteSource source = memory.Source();
        const char* text;
        int flags;
        while (decoder.ReadLine(source, &text, &flags) >= 0)
            ++lines;
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
    state.counters["lines"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
    state.SetLabel(std::string(EmulationFor(emulation)->name) + (hebrew ? ", Hebrew on" : ", Hebrew off"));
}
BENCHMARK(BM_Decode)->ArgsProduct({{0, 1, 2, 3}, {0, 1}})->Unit(benchmark::kMillisecond);

// Each emulation over the receipts made for it, with code-page conversion off (no page: bytes as
// they come) and on (the receipt printers' PC437 default, PC850 for the emulations that convert
// only when a page is named), in the same run.
void BM_DecodeCodePages(benchmark::State& state) {
    const std::string& bytes = OwnCorpus(static_cast<int>(state.range(0)));
    int emulation = static_cast<int>(state.range(0));
    bool convert = state.range(1) != 0;
    int page = !convert                                                         ? kNoConversion
               : (emulation == kEmulationEscPos || emulation == kEmulationStar) ? 0
                                                                                : 850;
    int64_t lines = 0;
    for (auto _ : state) {
        LineDecoder decoder;
        decoder.SetEmulation(emulation);
        decoder.SetCodePages(page, 1252);
        MemoryByteSource memory(bytes.data(), bytes.size());
        ByteSource source = memory.Source();
        const char* text;
        int flags;
        while (decoder.ReadLine(source, &text, &flags) >= 0)
            ++lines;
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
    state.SetLabel(std::string(EmulationFor(emulation)->name) +
                   (convert ? ", conversion on" : ", conversion off"));
}
BENCHMARK(BM_DecodeCodePages)->ArgsProduct({{0, 1, 2, 3}, {0, 1}})->Unit(benchmark::kMillisecond);

// One capture object reading a pseudo-terminal that a writer thread fills with the corpus.
void BM_CaptureOverPseudoTerminal(benchmark::State& state) {
    const std::string& bytes = Corpus();
    int master, slave;
    char name[256];
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    termios raw;
    tcgetattr(master, &raw);
    cfmakeraw(&raw);
    tcsetattr(master, TCSANOW, &raw);
    SerialCapture capture;
    capture.Configure(name, 115200, 0, 8, 0, 0, 0);
    capture.SetEmulation(static_cast<int>(state.range(0)));
    // The recorder's settings file with the Hebrew setting on, looked up as capture does.
    char recorder[] = "/tmp/zamri-bench-ruvo-XXXXXX";
    int recorderFile = mkstemp(recorder);
    if (state.range(1) != 0 && recorderFile >= 0) {
        const char text[] = "[generic]\npos_hebrew=1\n";
        write(recorderFile, text, sizeof text - 1);
        capture.SetRecorderSettingsPath(recorder);
    }
    if (capture.Open() == 0) {
        state.SkipWithError("cannot open the pseudo-terminal");
        return;
    }
    for (auto _ : state) {
        std::thread writer([&] {
            size_t done = 0;
            while (done < bytes.size()) {
                ssize_t put = write(master, bytes.data() + done, bytes.size() - done);
                if (put <= 0)
                    break;
                done += static_cast<size_t>(put);
            }
            write(master, "\nEND-OF-RUN\n", 12);
        });
        const char* text;
        int flags;
        while (capture.ReadLine(&text, &flags) >= 0 && std::string(text) != "END-OF-RUN") {
        }
        writer.join();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
    state.SetLabel(std::string(EmulationFor(static_cast<int>(state.range(0)))->name) +
                   (state.range(1) != 0 ? ", Hebrew on (settings file)" : ", Hebrew off"));
    capture.Close();
    if (recorderFile >= 0) {
        close(recorderFile);
        unlink(recorder);
    }
    close(master);
    close(slave);
}
BENCHMARK(BM_CaptureOverPseudoTerminal)
    ->ArgsProduct({{0, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
