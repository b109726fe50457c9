#include "serial/line_decoder.h"

#include <climits>
#include <cstring>

#include "config/channel_table.h"

namespace {
constexpr int kLineFeed = 0x0A;
constexpr int kFormFeed = 0x0C;
constexpr int kCarriageReturn = 0x0D;
constexpr int kSpace = 0x20;
}  // namespace

LineDecoder::LineDecoder() : rules(EmulationFor(kEmulationEscP)) {
    lineBuffer[0] = 0;
    patternText[0] = 0;
}

int LineDecoder::SetEmulation(int code) {
    const Emulation* wanted = EmulationFor(code);
    if (wanted != nullptr) {
        emulation = code;
        rules = wanted;
    }
    return emulation;
}

int LineDecoder::SetPattern(int flags, const char* text) {
    patternFlags = flags;
    size_t length = text != nullptr ? std::strlen(text) : 0;
    if (length > kPatternTextSize - 1)
        length = kPatternTextSize - 1;
    if (length > 0)
        std::memcpy(patternText, text, length);
    patternText[length] = 0;
    return flags;
}

// Flag 1 for the first line of a receipt, 0 for the following ones.
int LineDecoder::NextLineFlags() {
    int flags = lineCount <= 0 ? kLineFlagFirst : 0;
    if (lineCount < INT_MAX)
        ++lineCount;
    return flags;
}

int LineDecoder::Deliver(int flags, const char** text, int* outFlags) {
    int length = lineLength;
    lineBuffer[length] = 0;
    lineLength = 0;
    spaceCount = 0;
    *text = lineBuffer;
    *outFlags = flags;
    return length;
}

int LineDecoder::ReadLine(ByteSource& source, const char** text, int* flags) {
    const Emulation& current = *rules;
    for (;;) {
        int c = source.Next();
        if (c == kSourceStopped)
            return -1;
        if (c == kSourceInterrupted) {
            lineLength = 0;
            spaceCount = 0;
            continue;
        }
        if (c < 0)
            continue;  // nothing came: read again

        if (c < 0x20) {
            if (c == kLineFeed) {
                if (lineLength == 0)
                    continue;                    // empty lines are never delivered
                if (spaceCount == lineLength) {  // nothing but spaces
                    lineLength = 0;
                    spaceCount = 0;
                    continue;
                }
                lineBuffer[lineLength] = 0;
                if (patternFlags == kPatternFooter && std::strstr(lineBuffer, patternText) != nullptr) {
                    lineCount = 0;
                    return Deliver(kLineFlagEnd, text, flags);
                }
                return Deliver(NextLineFlags(), text, flags);
            }
            if (c == kFormFeed) {
                // Repeated form feeds end a receipt once; in footer mode only the footer does.
                if (lineCount <= 0 || patternFlags == kPatternFooter)
                    continue;
                if (spaceCount == lineLength)
                    lineLength = 0;
                lineCount = 0;
                return Deliver(kLineFlagEnd, text, flags);
            }
            if (c == kCarriageReturn)
                continue;
            if (const CommandTable* table = current.introduced[c]) {
                int skipped = SkipCommand(*table, source);
                if (skipped == kSourceInterrupted) {
                    lineLength = 0;
                    spaceCount = 0;
                } else if (skipped < 0) {
                    return -1;
                }
                continue;
            }
            if (current.droppedControls & (1u << c))
                continue;
        }

        lineBuffer[lineLength++] = static_cast<char>(c & 0xFF);
        if (c == kSpace)
            ++spaceCount;
        if (lineLength >= kLineCapacity - 1)
            return Deliver(NextLineFlags(), text, flags);
    }
}
