// A printer stream read as one emulation reads it, command by command, with the command lengths
// of the decoder's own tables (serial/command_tables.h), and weighed by how well the emulation
// explains it: commands that only this printer family sends, commands it knows, commands it knows
// but with parameters no till sends, commands it does not know, and control bytes that mean
// nothing to it. The same walk tells the receipt and code-page guesses where the text, the line
// ends, the cuts and the code-page selections are.
#pragma once

#include <cstddef>
#include <cstdint>

// What one command or byte is worth as evidence for an emulation.
constexpr double kTypicalWeight = 3;       // this family's own command, in the form tills send it
constexpr double kKnownWeight = 1;         // a command the family knows
constexpr double kImplausibleWeight = -2;  // known, but with parameters no till sends
constexpr double kUnknownWeight = -3;      // the family has no such command
constexpr double kStrayWeight = -1;        // a control byte that means nothing to the family

// Called for what the walk finds, at its byte position.
class StreamObserver {
  public:
    virtual ~StreamObserver() = default;
    // A byte that reaches the text (0x20 and up; not in raster data).
    virtual void Text(size_t position, uint8_t byte) {}
    // A space-like break in the text: HT, a print position, a control byte.
    virtual void Gap(size_t position) {}
    virtual void LineEnd(size_t position) {}
    virtual void FormFeed(size_t position) {}
    // A paper cut; end is the position after the command.
    virtual void Cut(size_t position, size_t end) {}
    // ESC @: the printer's initial state (code page back to the channel's).
    virtual void Reset(size_t position) {}
    // A paper feed of this many lines done by a command.
    virtual void Feed(size_t position, int lines) {}
    // The stream selects a code page: the page number as FindCodePage takes it (0 when not
    // supported here) and the selector n as sent.
    virtual void SelectPage(size_t position, int page, int selector) {}
    // Text bytes from here on are UTF-8 (StarPRNT), or code-page bytes again.
    virtual void Utf8Text(size_t position, bool on) {}
};

struct StreamScan {
    int emulation = 0;
    size_t bytes = 0;      // bytes walked
    size_t explained = 0;  // bytes the emulation accounts for: ASCII text, line controls, known commands
    size_t highBytes = 0;  // text bytes from 0x80 up (a code page's letters, or noise)
    size_t lineEnds = 0;
    size_t typical = 0;  // commands by kind
    size_t known = 0;
    size_t implausible = 0;
    size_t unknown = 0;
    size_t strays = 0;        // control bytes that mean nothing here
    size_t controls = 0;      // control bytes other than LF, CR, FF, HT (commands' introducers included)
    size_t commandBytes = 0;  // bytes of commands the emulation knows, introducers included
    double score = 0;         // the sum of the weights above

    // The share of the bytes the emulation accounts for, the bytes from 0x80 up counted at
    // highWeight each (how many of them are letters is for a code page to say).
    double TextShare(double highWeight = 1) const;
};

// Walks size bytes as the emulation (kEmulationEscP, kEmulationTextOnly, kEmulationEscPos or
// kEmulationStar) reads them. A command cut off by the end of the data counts as unknown.
StreamScan ScanStream(const uint8_t* data, size_t size, int emulation, StreamObserver* observer = nullptr);
