// One line as the delivery step hands it on: what the overlay library was given, with where and
// when it was printed. Sinks receive it by reference and copy what they keep.
#pragma once

#include <cstdint>

// 1023 bytes and a NUL: the longest line a decoder delivers.
constexpr int kDeliveredTextSize = 1024;
// A serial port name (63 characters at most) or a peer's address, and a NUL.
constexpr int kDeliveredSourceSize = 64;

struct DeliveredLine {
    int64_t utcMilliseconds = 0;   // since 1970-01-01 00:00 UTC
    int32_t utcOffsetMinutes = 0;  // local time minus UTC at that moment
    int32_t camera = 0;            // 1 to 32
    int32_t flags = 0;             // 1 first line, 2 end of a receipt, 4 Important, 16 VT LF
    // Counts the camera's receipts since start-up, from 1; a line flagged 2 carries the number
    // of the receipt it ends, the next line the following one.
    uint32_t receipt = 0;
    int32_t length = 0;                      // bytes of text before its NUL
    char source[kDeliveredSourceSize] = {};  // serial port name, or the sender's address
    char text[kDeliveredTextSize] = {};      // masked, in the Windows code page, NUL-terminated
};

// Where delivered lines go besides the overlay library (journal, export, live view).
class LineSink {
  public:
    virtual ~LineSink() = default;
    // Takes one line that was just handed to the overlay library. Runs on the delivering thread
    // (a capture thread, the TCP worker), so it must return at once: never wait for a disk, a
    // network peer or a lock that is held for long. QueuedSink does this for slow consumers.
    virtual void Accept(const DeliveredLine& line) = 0;
    // For status reports: a short name and the lines this sink has dropped so far.
    virtual const char* SinkName() const { return "sink"; }
    virtual uint64_t DroppedLines() const { return 0; }
};
