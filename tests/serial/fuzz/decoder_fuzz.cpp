// libFuzzer target: any bytes, in any emulation and receipt mode, through the line decoder.
// The first input byte picks the emulation, the footer mode, the Hebrew setting and the printer's
// code page.
//
//   cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
//         -DZAMRI_BUILD_FUZZ=ON -DZAMRI_BUILD_BENCH=OFF
//   cmake --build build/fuzz --target serial_decoder_fuzz
//   build/fuzz/bin/serial_decoder_fuzz -max_total_time=60
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "serial/line_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    LineDecoder decoder;
    decoder.SetEmulation(data[0] % 4);
    decoder.SetCodePages((data[0] >> 4) & 1 ? 866 : 0, (data[0] >> 5) & 1 ? 1251 : 1252);
    decoder.SetPattern((data[0] >> 2) & 1,
                       "\x1B"
                       "d");
    MemoryByteSource memory(data + 1, size - 1, (data[0] >> 3) & 1);
    ByteSource source = memory.Source();
    const char* text;
    int flags;
    int length;
    while ((length = decoder.ReadLine(source, &text, &flags)) >= 0) {
        if (length > 1023 || std::strlen(text) > static_cast<size_t>(length))
            std::abort();
        if (flags != 0 && flags != 1 && flags != 2)
            std::abort();
    }
    if (memory.position != memory.size)
        std::abort();  // the end of the data must end the loop
    return 0;
}
