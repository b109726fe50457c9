// How many bytes of receipt detection needs, over the golden receipts (tests/detect/golden and
// tests/serial/golden):
// - the line settings on a tapped port: the till's bytes on the line until they are found, for
//   every offered rate with the common frames (a till printing the receipt again and again,
//   1.5 s apart), median and worst;
// - the printer language and code page of a stream: the shortest beginning of it from which
//   the finding is sure and the same as for the whole stream, median and worst.
//
//   bench_detect [--rates 9600,19200] [--copies 20] [--verbose]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "detect/simulated_detection.h"
#include "detect/tap_detection.h"
#include "detect_golden.h"

namespace {

struct Figures {
    std::vector<size_t> bytes;
    int failed = 0;
    std::string worstCase;
    size_t worst = 0;

    void Add(size_t value, const std::string& what) {
        bytes.push_back(value);
        if (value >= worst) {
            worst = value;
            worstCase = what;
        }
    }
    void Print(const char* title) {
        std::sort(bytes.begin(), bytes.end());
        size_t median = bytes.empty() ? 0 : bytes[bytes.size() / 2];
        std::printf("%-44s %6zu cases  median %6zu bytes  worst %6zu bytes (%s)", title, bytes.size(), median,
                    worst, worstCase.c_str());
        if (failed > 0)
            std::printf("  NOT FOUND: %d", failed);
        std::printf("\n");
    }
};

const uint8_t* Data(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

// The shortest beginning (in steps of 8 bytes) from which the finding is sure and agrees with
// the whole stream's, and stays so.
size_t BytesToLanguage(const detect_testing::GoldenStream& g, bool withPage, bool* found) {
    StreamFinding whole = DetectStream(Data(g.bytes), g.bytes.size(), g.recorderPage).stream;
    *found = whole.sure;
    if (!whole.sure)
        return g.bytes.size();
    size_t needed = g.bytes.size();
    for (size_t length = g.bytes.size(); length >= 8; length -= 8) {
        StreamFinding f = DetectStream(Data(g.bytes), length, g.recorderPage).stream;
        bool same = f.emulation == whole.emulation && f.emulationConfidence >= kSureConfidence &&
                    (!withPage || (f.sure && f.codePage == whole.codePage));
        if (!same)
            break;
        needed = length;
    }
    return needed;
}

// A receipt a 7-bit line can carry: ASCII, almost all of it printable.
bool SevenBitText(const std::string& bytes) {
    size_t printable = 0;
    for (char c : bytes) {
        uint8_t b = static_cast<uint8_t>(c);
        if (b >= 0x80)
            return false;
        printable += (b >= 0x20 && b < 0x7F) || b == 0x0A || b == 0x0D;
    }
    return printable * 10 >= bytes.size() * 9;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> rates = {1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200};
    int copies = 20;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--verbose") == 0)
            verbose = true;
    }
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--rates") == 0) {
            rates.clear();
            for (char* p = std::strtok(argv[i + 1], ","); p != nullptr; p = std::strtok(nullptr, ","))
                rates.push_back(std::atoi(p));
        } else if (std::strcmp(argv[i], "--copies") == 0) {
            copies = std::atoi(argv[i + 1]);
        }
    }
    std::vector<detect_testing::GoldenStream> streams =
        detect_testing::LoadGoldenStreams(ZAMRI_DETECT_GOLDEN_DIR);
    for (const auto& g : detect_testing::LoadGoldenStreams(ZAMRI_GOLDEN_DIR)) {
        if (g.bytes.size() >= 64)
            streams.push_back(g);
    }

    Figures language, languageAndPage;
    for (const auto& g : streams) {
        bool found;
        size_t n = BytesToLanguage(g, false, &found);
        if (found)
            language.Add(n, g.name);
        else
            ++language.failed;
        n = BytesToLanguage(g, true, &found);
        if (found)
            languageAndPage.Add(n, g.name);
        else
            ++languageAndPage.failed;
    }
    std::printf("%zu golden receipts\n", streams.size());
    language.Print("language, from a stream");
    languageAndPage.Print("language and code page, from a stream");

    struct Frame {
        int dataBits, parity, stopBits;
    };
    const Frame frames[] = {{8, 0, 0}, {8, 2, 0}, {8, 1, 0}, {7, 2, 0}, {7, 1, 0}, {8, 0, 2}, {7, 0, 0}};
    Figures line, line7N1, whole;
    for (const auto& g : streams) {
        for (int rate : rates) {
            for (const Frame& f : frames) {
                // Seven data bits carry only what a 7-bit till prints: text, no images.
                if (f.dataBits == 7 && !SevenBitText(g.bytes))
                    continue;
                LineSettings sender{rate, f.dataBits, f.parity, f.stopBits};
                char what[96];
                char name[24];
                FormatLineSettings(sender, name, sizeof name);
                std::snprintf(what, sizeof what, "%s at %s", g.name.c_str(), name);
                LineSignal signal =
                    TillPrinting(g.bytes, sender, copies, 1500, static_cast<uint32_t>(rate + f.parity));
                DetectionRun run = RunDetection(signal, 1000 * 600);
                if (run.bytesAtLine == 0) {
                    ++(f.dataBits == 7 && f.parity == 0 ? line7N1 : line).failed;
                    if (verbose)
                        std::printf("not found: %s: %s\n", what, run.findings.line.summary.c_str());
                    continue;
                }
                (f.dataBits == 7 && f.parity == 0 ? line7N1 : line).Add(run.bytesAtLine, what);
                if (run.done && run.findings.stream.sure) {
                    whole.Add(run.bytesAtEnd, what);
                } else {
                    ++whole.failed;
                    if (verbose)
                        std::printf(
                            "language not found: %s: emulation %d (%.2f) page %d (%.2f) end %d (%.2f) %s\n",
                            what, run.findings.stream.emulation, run.findings.stream.emulationConfidence,
                            run.findings.stream.codePage, run.findings.stream.codePageConfidence,
                            run.findings.stream.receiptEnd, run.findings.stream.receiptEndConfidence,
                            run.findings.stream.note.c_str());
                }
            }
        }
    }
    line.Print("line settings, on a tapped port (but 7N1)");
    line7N1.Print("line settings, 7N1");
    whole.Print("line settings, language, page and receipt end");
    return 0;
}
