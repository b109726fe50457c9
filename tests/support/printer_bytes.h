// Writing printer streams readably in tests and golden receipts.
//
// Plain characters stand for themselves. A group in angle brackets holds space-separated
// tokens: control names (NUL HT LF FF CR DLE CAN ESC FS GS SP EOT ENQ DC4), two hex digits for
// one byte (FF being the form feed, the byte 0xFF is written ff), a single character for
// itself, and any of these with "*N" for N repeats, e.g. <GS v 0 00 02 00 01 00 AA*2>.
// Line breaks outside groups are left out, so a long stream can be wrapped freely; "<LF>" is the
// line feed of the stream.
#pragma once

#include <string>
#include <vector>

#include "serial/byte_source.h"

namespace testing_support {

// The bytes the notation describes; on a malformed group, *error (when given) names it.
std::string PrinterBytes(const std::string& notation, std::string* error = nullptr);

// A line as the decoder hands it on.
struct DecodedLine {
    std::string text;
    int flags;
    bool operator==(const DecodedLine& other) const { return text == other.text && flags == other.flags; }
};
std::ostream& operator<<(std::ostream& out, const DecodedLine& line);

// Every line that a decoder with these settings delivers from bytes, up to the end of the data.
// codePage 0 is the emulation's default printer page; recorderPage the page lines come out in.
std::vector<DecodedLine> DecodeAll(const std::string& bytes, int emulation, int patternFlags = 0,
                                   const char* footer = "", int hebrew = 0, int codePage = 0,
                                   int recorderPage = 1252);

// A byte source that plays a fixed script of results (bytes, -1 nothing came, -2 stop) and
// then reports a stop for ever.
struct ScriptedSource {
    std::vector<int> script;
    size_t position = 0;
    static int Next(void* context);
    ByteSource Source() { return ByteSource{&ScriptedSource::Next, this}; }
};

}  // namespace testing_support
