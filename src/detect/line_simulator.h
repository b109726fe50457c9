// A serial line simulated bit by bit on one time line: what a till's UART puts on the wire with
// its settings, and what a receiver with other settings reads from it, with the error marks a
// driver gives. Pseudo-terminals carry no line rate, so this is how detection is tested and
// measured.
//
// The receiver works as a 16550-style UART does: it runs a sample clock at 16 times its rate,
// waits for a falling edge (high to low: it resynchronises at each start edge, so after a frame
// whose stop bit was low it first waits for the line to rise), checks the start bit in its
// middle (a high line there is a false start), samples every further bit in its middle (data
// bits LSB first, the parity bit, the first stop bit only, whatever its stop-bit setting) and
// hunts for the next edge from the middle of that stop bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "detect/line_settings.h"
#include "serial/received_byte.h"

// Every offered rate's half bit and its receiver's sample clock fall on whole ticks.
constexpr int64_t kLineTicksPerSecond = 3686400;

constexpr int64_t TicksFromMilliseconds(int64_t milliseconds) {
    return milliseconds * (kLineTicksPerSecond / 1000) + milliseconds * (kLineTicksPerSecond % 1000) / 1000;
}

// How a till's UART spaces its frames.
struct TillTiming {
    double gapBits = 0;              // idle after every frame's stop bits, in bit times (0: back to back)
    double lineGapMilliseconds = 0;  // idle after every LF (a till writing one line at a time)
    // Now and then the transmitter's FIFO runs dry: after jitterPercent of the frames the line
    // idles for up to jitterBits bit times more (a pseudo-random amount, repeatable by seed).
    int jitterPercent = 0;
    double jitterBits = 0;
    uint32_t seed = 1;
};

class LineSignal {
  public:
    // Appends the frames of bytes as a sender with these settings puts them on the line (data
    // bits cut to the sender's data bits), starting where the signal ends now.
    void Send(const uint8_t* bytes, size_t count, const LineSettings& sender, const TillTiming& timing = {});
    // The line idles (high) or is held low (a break) for this long.
    void Idle(int64_t ticks);
    void HoldLow(int64_t ticks);

    int64_t End() const { return end; }
    // 1 (high, mark) or 0 (low, space) at a tick; a level change at that very tick counts.
    int Level(int64_t tick) const;
    // The first falling edge at or after tick, or -1 when there is none.
    int64_t NextFall(int64_t tick) const;
    // How many sent frames began before tick.
    size_t FramesBefore(int64_t tick) const;
    size_t FrameCount() const { return frameStarts.size(); }

  private:
    void SetLevel(int64_t tick, int level);
    uint32_t NextRandom();

    std::vector<int64_t> edges;  // level changes; the line is high before the first
    std::vector<int64_t> frameStarts;
    int64_t end = 0;
    int level = 1;
    uint32_t random = 0;
    bool seeded = false;
};

// What a receiver with these settings, opened at tick `from`, reads until tick `to` (a byte
// counts once its stop bit has been sampled before `to`), at most maxBytes bytes (0: no limit).
// phase shifts the receiver's free-running sample clock (ticks); rateErrorPpm makes it run fast
// by that many parts per million. When ends is given it receives, per byte, the tick of its
// stop-bit sample.
std::vector<ReceivedByte> ReceiveLine(const LineSignal& signal, const LineSettings& receiver, int64_t from,
                                      int64_t to, size_t maxBytes = 0, int64_t phase = 0,
                                      std::vector<int64_t>* ends = nullptr, int rateErrorPpm = 0);

// A port on a tapped line that is opened again with other settings for every listen, as the
// detection drives it; time runs on as it listens.
class SimulatedTap {
  public:
    explicit SimulatedTap(const LineSignal& signal, int64_t start = 0, int64_t reopenTicks = 0,
                          int64_t phase = 0, int rateErrorPpm = 0);
    // Listens from now until maxBytes bytes came or maxMilliseconds passed, whichever is first.
    std::vector<ReceivedByte> Listen(const LineSettings& settings, int maxBytes, int maxMilliseconds);
    // The same, handing the bytes over as a driver's reads: up to readBytes each, a read ending
    // where the line pauses (quiet for two frames' time), and take told whether such a pause
    // (or the opening) came before the read. The listen also ends when take returns true.
    // Returns the bytes read. While take runs, Now() is the time of the last byte it is handed.
    size_t Listen(const LineSettings& settings, int maxBytes, int maxMilliseconds,
                  const std::function<bool(const std::vector<ReceivedByte>&, bool afterPause)>& take,
                  size_t readBytes = 16);
    int64_t Now() const { return now; }
    // How many of the till's bytes went onto the line so far.
    size_t BytesSent() const { return signal.FramesBefore(now); }

  private:
    const LineSignal& signal;
    int64_t now;
    int64_t reopen;
    int64_t phase;
    int ppm;
};
