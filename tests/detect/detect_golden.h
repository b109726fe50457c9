// The receipts detection is tried on: tests/detect/golden/*.receipt, whose "#! expect" lines say
// what detection must find (emulation, codepage (the pages that read it right), selected, end,
// footer, recorder), and the decoder's golden receipts in tests/serial/golden, whose "#!
// emulation" line says what the channel is set to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace detect_testing {

struct GoldenStream {
    std::string name;
    std::string bytes;
    std::vector<int> emulations;  // any of these is right; empty: not said
    std::vector<int> codePages;   // the page the till meant and its look-alikes; empty: not said
    bool selected = false;        // the stream selects its page itself
    int receiptEnd = -1;          // ReceiptEnd, -1 when not said
    std::string footer;           // UTF-8; "" when not said
    int recorderPage = 1252;
};

// Every *.receipt in folder, by name. Expectations come from "#! expect" lines, or from
// "#! emulation N" (default 0) where there are none.
std::vector<GoldenStream> LoadGoldenStreams(const std::string& folder);

// A deterministic pseudo-random byte source for noise.
struct Noise {
    uint32_t state;
    explicit Noise(uint32_t seed) : state(seed ? seed : 1) {}
    uint32_t Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    std::string Bytes(size_t count);
};

}  // namespace detect_testing
