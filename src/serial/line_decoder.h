// Turns a printer byte stream into text lines with their receipt flags. The same line loop
// serves every emulation and every byte source; an emulation only changes which control bytes
// introduce commands (command_tables.h).
#pragma once

#include "serial/byte_source.h"
#include "serial/command_tables.h"

constexpr int kLineCapacity = 1024;  // 1023 bytes and the terminating NUL
constexpr int kPatternTextSize = 256;
constexpr int kPatternFormFeed = 0;
constexpr int kPatternFooter = 1;

class LineDecoder {
  public:
    LineDecoder();

    // Stores the code when it names an emulation; returns the emulation now in force.
    int SetEmulation(int code);
    int GetEmulation() const { return emulation; }
    // Stores the flags unchanged and copies the footer text (at most 255 bytes); returns flags.
    int SetPattern(int flags, const char* text);

    // The next line: its length (0 or more) with *text pointing at the terminated line (valid
    // until the next call) and *flags set; -1 when the source reports a stop, in which case the
    // partial line is kept back. When the source reports an interruption, the partial line and
    // any command being consumed are dropped.
    int ReadLine(ByteSource& source, const char** text, int* flags);

    char lineBuffer[kLineCapacity];
    int lineLength = 0;
    int spaceCount = 0;
    int lineCount = 0;  // lines delivered since the current receipt began
    int emulation = kEmulationEscP;
    int patternFlags = kPatternFormFeed;  // any value other than 1 ends receipts at form feeds
    char patternText[kPatternTextSize];

  private:
    int Deliver(int flags, const char** text, int* outFlags);
    int NextLineFlags();

    const Emulation* rules;
};
