// Fuzz target: any bytes through the printer-stream decoder, in every emulation and receipt
// mode. The first byte picks the emulation (low three bits: every emulation code there is, and
// unknown ones, which leave the default in force), the footer mode, the Hebrew setting, the
// code pages (bit 5: the printer's page PC866 instead of the emulation's own; bit 6: recorder
// page 1251 instead of 1252) and whether cuts end receipts (bit 7: they do not).
// Properties: lines are at most 1023 bytes, flags are only 0, 1 or 2 (and the marks of a run
// cut: after only on a full line, before only on the line after one) or exactly the drawer mark
// on an empty line, the end of the data ends the loop, and where neither print positions nor
// look-alikes can widen the text (ESC/P and Text Only without a printer page) no line holds more
// bytes than came in.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "config/line_flags.h"
#include "serial/line_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    LineDecoder decoder;
    int emulation = decoder.SetEmulation(data[0] & 7);
    decoder.SetCodePages((data[0] >> 5) & 1 ? 866 : 0, (data[0] >> 6) & 1 ? 1251 : 1252);
    decoder.SetPattern((data[0] >> 3) & 1,
                       "\x1B"
                       "d");
    decoder.SetCutEndsReceipt(((data[0] >> 7) & 1) == 0);
    MemoryByteSource memory(data + 1, size - 1, (data[0] >> 4) & 1);
    ByteSource source = memory.Source();
    bool widening = emulation == kEmulationEscPos || emulation == kEmulationStar || (data[0] >> 5) & 1;
    const char* text;
    int flags;
    int length;
    size_t delivered = 0;
    bool cutAfter = false;
    while ((length = decoder.ReadLine(source, &text, &flags)) >= 0) {
        if (length > 1023 || std::strlen(text) > static_cast<size_t>(length))
            std::abort();
        if ((flags & kLineFlagDrawer) != 0 && (flags != kLineFlagDrawer || length != 0 || text[0] != 0))
            std::abort();
        int printed = flags & ~kLineFlagsRunCut;
        if (printed != 0 && printed != 1 && printed != 2 && printed != kLineFlagDrawer)
            std::abort();
        if (((flags & kLineFlagRunCutAfter) != 0 && length != 1023) ||
            ((flags & kLineFlagRunCutBefore) != 0 && !cutAfter))
            std::abort();
        cutAfter = (flags & kLineFlagRunCutAfter) != 0;
        delivered += static_cast<size_t>(length);
        if (!widening && delivered > size)
            std::abort();
    }
    if (memory.position != memory.size)
        std::abort();  // the end of the data must end the loop
    return 0;
}
