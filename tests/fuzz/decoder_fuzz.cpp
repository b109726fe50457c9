// Fuzz target: any bytes through the printer-stream decoder, in every emulation and receipt
// mode. The first byte picks the emulation (low three bits: every emulation code there is, and
// unknown ones, which leave the default in force), the footer mode and the Hebrew setting.
// Properties: lines are at most 1023 bytes, flags are only 0, 1 or 2,
// no line holds more bytes than came in, and the end of the data ends the loop.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "serial/line_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    LineDecoder decoder;
    decoder.SetEmulation(data[0] & 7);
    decoder.SetPattern((data[0] >> 3) & 1,
                       "\x1B"
                       "d");
    MemoryByteSource memory(data + 1, size - 1, (data[0] >> 4) & 1);
    ByteSource source = memory.Source();
    const char* text;
    int flags;
    int length;
    size_t delivered = 0;
    while ((length = decoder.ReadLine(source, &text, &flags)) >= 0) {
        if (length > 1023 || std::strlen(text) > static_cast<size_t>(length))
            std::abort();
        if (flags != 0 && flags != 1 && flags != 2)
            std::abort();
        delivered += static_cast<size_t>(length);
        if (delivered > size)
            std::abort();
    }
    if (memory.position != memory.size)
        std::abort();  // the end of the data must end the loop
    return 0;
}
