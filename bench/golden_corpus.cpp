#include "golden_corpus.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "delivery/line_delivery.h"
#include "serial/line_decoder.h"
#include "support/printer_bytes.h"

namespace bench_support {

std::string GoldenCorpus(int emulation, const std::string& addedToEach) {
    std::string once;
    for (const auto& entry : std::filesystem::directory_iterator(ZAMRI_GOLDEN_DIR)) {
        if (entry.path().extension() != ".receipt")
            continue;
        std::ifstream in(entry.path());
        std::string line, notation;
        int madeFor = kEmulationEscP;
        while (std::getline(in, line)) {
            if (line.rfind("#! emulation ", 0) == 0)
                madeFor = std::atoi(line.c_str() + 13);
            else if (line.rfind("#", 0) != 0)
                notation += line;
        }
        if (emulation < 0 || madeFor == emulation)
            once += testing_support::PrinterBytes(notation) + addedToEach + "\f";
    }
    std::string all;
    while (!once.empty() && all.size() < (1u << 20))
        all += once;
    return all;
}

long DecodeAndDeliver(const std::string& bytes, int emulation, LineDelivery& delivery) {
    LineDecoder decoder;
    decoder.SetEmulation(emulation);
    MemoryByteSource memory(bytes.data(), bytes.size(), 0);
    ByteSource source = memory.Source();
    const char* text;
    int flags;
    long lines = 0;
    while (decoder.ReadLine(source, &text, &flags) >= 0) {
        delivery.Deliver(1, flags, "COM1", text);
        ++lines;
    }
    return lines;
}

}  // namespace bench_support
