// One line as the delivery step hands it on: what the overlay library was given, with where and
// when it was printed. The delivery step builds it once and every sink shares it: a queued sink
// keeps the shared line, not a copy, so a queued line takes the space of its text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// 1023 bytes and a NUL: the longest line a decoder delivers.
constexpr int kDeliveredTextSize = 1024;
// A serial port name (63 characters at most) or a peer's address, and a NUL.
constexpr int kDeliveredSourceSize = 64;

// What a delivered item is: a printed line, a record of what the receipt reader found, or a
// change in a feed's health (a port that fails, a channel gone silent, a refused sender).
enum class DeliveredKind : uint8_t { Line, Drawer, Transaction, Exception, Health };

struct DeliveredLine {
    // Sinks that know only lines skip the others. Time, camera, source and receipt are set for
    // every kind; for an exception text and utf8 hold the line that triggered it.
    DeliveredKind kind = DeliveredKind::Line;
    int64_t utcMilliseconds = 0;   // since 1970-01-01 00:00 UTC
    int32_t utcOffsetMinutes = 0;  // local time minus UTC at that moment
    int32_t camera = 0;            // 1 to 32
    int32_t flags = 0;             // 1 first line, 2 end of a receipt, 4 Important, 16 VT LF
    // Counts the camera's receipts since start-up, from 1; a line flagged 2 carries the number
    // of the receipt it ends, the next line the following one.
    uint32_t receipt = 0;
    std::string source;  // serial port name, or the sender's address (63 bytes at most)
    std::string text;    // masked, in the Windows code page the overlay received (1023 bytes at most)
    // The same text in UTF-8, converted once by the delivery step when a sink wants it
    // (LineSink::WantsUtf8); empty otherwise.
    std::string utf8;
    // A drawer, transaction, exception or health event: the journal's record of it, UTF-8,
    // without its newline ({"event":"transaction",...}); empty for a line.
    std::string record;
    // An exception's kind or rule name, or a health event's kind ("port", "silent", ...), UTF-8.
    std::string exceptionKind;
    bool ending = false;  // a health event: the condition ended (else it started)
};

// What a sink tells the status displays about itself.
struct SinkStatus {
    std::string name;  // for reports: "journal", "syslog", "live view"
    // Where the web page's status shows state ("journal", "export"); empty: not shown there.
    std::string key;
    std::string state;     // one line, as the status page shows it
    uint64_t dropped = 0;  // lines this sink dropped so far (its queue was full, or it stopped)
    // A journal folder that the web page searches; empty when the sink keeps none.
    std::string searchFolder;
};

// Where delivered lines go besides the overlay library (journal, export, live view).
class LineSink {
  public:
    virtual ~LineSink() = default;
    // Takes one line that was just handed to the overlay library. Runs on the delivering thread
    // (a capture thread, the TCP worker), so it must return at once: never wait for a disk, a
    // network peer or a lock that is held for long. QueuedSink does this for slow consumers.
    virtual void Accept(const DeliveredLine& line) = 0;
    // The same, from the delivery step, with the line that all sinks share; a sink that keeps
    // the line keeps this pointer instead of a copy.
    virtual void AcceptShared(const std::shared_ptr<const DeliveredLine>& line) { Accept(*line); }
    // true when this sink reads DeliveredLine::utf8 (asked once, when the sink is added).
    virtual bool WantsUtf8() const { return false; }
    virtual SinkStatus Status() const {
        SinkStatus status;
        status.name = "sink";
        return status;
    }
};
