#include "detect/line_simulator.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr uint8_t kLineFeed = 0x0A;

// The tick at which `halfBits` half bit times after start end, at rate.
int64_t AfterHalfBits(int64_t start, int64_t halfBits, int rate) {
    return start + halfBits * kLineTicksPerSecond / (2 * static_cast<int64_t>(rate));
}

int64_t BitsToTicks(double bits, int rate) {
    if (bits <= 0)
        return 0;
    return static_cast<int64_t>(std::llround(bits * static_cast<double>(kLineTicksPerSecond) / rate));
}

int StopHalfBits(int stopBits) {
    switch (stopBits) {
        case kStopOneAndHalf:
            return 3;
        case kStopTwo:
            return 4;
        default:
            return 2;
    }
}

// The receiver's free-running sample clock: 16 samples per bit time, running fast by ppm parts
// per million (a port's clock is never quite on its rate).
struct SampleClock {
    int64_t phase;
    int64_t perSecond;  // samples per second at the nominal rate
    int64_t ppm;

    int64_t Tick(int64_t index) const {
        int64_t nominal = index * kLineTicksPerSecond / perSecond;
        return phase + nominal - nominal * ppm / (1000000 + ppm);
    }
    // The first sample at or after tick.
    int64_t IndexAtOrAfter(int64_t tick) const {
        if (tick <= phase)
            return 0;
        int64_t index = (tick - phase) * perSecond / kLineTicksPerSecond;
        index += index * ppm / 1000000;
        while (index > 0 && Tick(index - 1) >= tick)
            --index;
        while (Tick(index) < tick)
            ++index;
        return index;
    }
};

}  // namespace

uint32_t LineSignal::NextRandom() {
    // xorshift32: small, fast and the same on every platform.
    random ^= random << 13;
    random ^= random >> 17;
    random ^= random << 5;
    return random;
}

void LineSignal::SetLevel(int64_t tick, int wanted) {
    if (wanted == level)
        return;
    edges.push_back(tick);
    level = wanted;
}

void LineSignal::Send(const uint8_t* bytes, size_t count, const LineSettings& sender,
                      const TillTiming& timing) {
    if (!ValidLineSettings(sender))
        return;
    if (!seeded) {
        random = timing.seed != 0 ? timing.seed : 1;
        seeded = true;
    }
    const int rate = sender.baudRate;
    const unsigned mask = (1u << sender.dataBits) - 1u;
    const int parityBit = sender.parity != kParityNone ? 1 : 0;
    for (size_t i = 0; i < count; ++i) {
        const unsigned value = bytes[i] & mask;
        const int64_t start = end;
        frameStarts.push_back(start);
        int64_t halfBits = 0;
        SetLevel(start, 0);  // the start bit
        halfBits += 2;
        for (int bit = 0; bit < sender.dataBits; ++bit) {
            SetLevel(AfterHalfBits(start, halfBits, rate), static_cast<int>((value >> bit) & 1u));
            halfBits += 2;
        }
        if (parityBit) {
            SetLevel(AfterHalfBits(start, halfBits, rate), ParityBit(sender.parity, value, sender.dataBits));
            halfBits += 2;
        }
        SetLevel(AfterHalfBits(start, halfBits, rate), 1);  // the stop bits
        halfBits += StopHalfBits(sender.stopBits);
        end = AfterHalfBits(start, halfBits, rate);

        double gap = timing.gapBits;
        if (timing.jitterPercent > 0 && static_cast<int>(NextRandom() % 100) < timing.jitterPercent)
            gap += timing.jitterBits * static_cast<double>(NextRandom() % 1024 + 1) / 1024.0;
        end += BitsToTicks(gap, rate);
        if (bytes[i] == kLineFeed && timing.lineGapMilliseconds > 0)
            end +=
                static_cast<int64_t>(std::llround(timing.lineGapMilliseconds * kLineTicksPerSecond / 1000.0));
    }
}

void LineSignal::Idle(int64_t ticks) {
    if (ticks > 0)
        end += ticks;
}

void LineSignal::HoldLow(int64_t ticks) {
    if (ticks <= 0)
        return;
    SetLevel(end, 0);
    end += ticks;
    SetLevel(end, 1);
}

int LineSignal::Level(int64_t tick) const {
    size_t changes = static_cast<size_t>(std::upper_bound(edges.begin(), edges.end(), tick) - edges.begin());
    return changes % 2 == 0 ? 1 : 0;
}

int64_t LineSignal::NextFall(int64_t tick) const {
    // Edges alternate from the high idle line: even positions fall, odd ones rise.
    size_t index = static_cast<size_t>(std::lower_bound(edges.begin(), edges.end(), tick) - edges.begin());
    if (index % 2 == 1)
        ++index;
    return index < edges.size() ? edges[index] : -1;
}

size_t LineSignal::FramesBefore(int64_t tick) const {
    return static_cast<size_t>(std::lower_bound(frameStarts.begin(), frameStarts.end(), tick) -
                               frameStarts.begin());
}

std::vector<ReceivedByte> ReceiveLine(const LineSignal& signal, const LineSettings& receiver, int64_t from,
                                      int64_t to, size_t maxBytes, int64_t phase, std::vector<int64_t>* ends,
                                      int rateErrorPpm) {
    std::vector<ReceivedByte> received;
    if (!ValidLineSettings(receiver))
        return received;
    const SampleClock clock{phase, 16 * static_cast<int64_t>(receiver.baudRate), rateErrorPpm};
    const int hasParity = receiver.parity != kParityNone ? 1 : 0;
    int64_t hunt = from;
    while (maxBytes == 0 || received.size() < maxBytes) {
        int64_t fall = signal.NextFall(hunt);
        if (fall < 0 || fall >= to)
            break;
        int64_t edge = clock.IndexAtOrAfter(fall);
        if (signal.Level(clock.Tick(edge)) != 0) {  // a glitch between two samples
            hunt = fall + 1;
            continue;
        }
        int64_t middle = edge + 8;
        if (signal.Level(clock.Tick(middle)) != 0) {  // a false start
            hunt = clock.Tick(middle) + 1;
            continue;
        }
        unsigned value = 0;
        for (int bit = 0; bit < receiver.dataBits; ++bit) {
            if (signal.Level(clock.Tick(middle + 16 * (bit + 1))))
                value |= 1u << bit;
        }
        int parity = 0;
        if (hasParity)
            parity = signal.Level(clock.Tick(middle + 16 * (receiver.dataBits + 1)));
        int64_t stopTick = clock.Tick(middle + 16 * (receiver.dataBits + 1 + hasParity));
        if (stopTick >= to)
            break;
        int stop = signal.Level(stopTick);
        ReceivedByte byte{static_cast<uint8_t>(value), 0};
        if (stop == 0)
            byte.marks |= kMarkFraming;
        if (hasParity && parity != ParityBit(receiver.parity, value, receiver.dataBits))
            byte.marks |= kMarkParity;
        if (value == 0 && stop == 0 && (!hasParity || parity == 0))
            byte.marks = kMarkBreak | kMarkFraming;  // low for the whole frame
        received.push_back(byte);
        if (ends != nullptr)
            ends->push_back(stopTick);
        hunt = stopTick + 1;
    }
    return received;
}

SimulatedTap::SimulatedTap(const LineSignal& line, int64_t start, int64_t reopenTicks, int64_t clockPhase,
                           int rateErrorPpm)
    : signal(line), now(start), reopen(reopenTicks), phase(clockPhase), ppm(rateErrorPpm) {}

std::vector<ReceivedByte> SimulatedTap::Listen(const LineSettings& settings, int maxBytes,
                                               int maxMilliseconds) {
    std::vector<ReceivedByte> all;
    Listen(settings, maxBytes, maxMilliseconds, [&](const std::vector<ReceivedByte>& read, bool) {
        all.insert(all.end(), read.begin(), read.end());
        return false;
    });
    return all;
}

size_t SimulatedTap::Listen(const LineSettings& settings, int maxBytes, int maxMilliseconds,
                            const std::function<bool(const std::vector<ReceivedByte>&, bool)>& take,
                            size_t readBytes) {
    now += reopen;
    const int64_t until = now + TicksFromMilliseconds(maxMilliseconds > 0 ? maxMilliseconds : 0);
    const size_t most = maxBytes > 0 ? static_cast<size_t>(maxBytes) : 0;
    // A read returns at a pause: the line quiet for two frames' time.
    const int64_t frame = (2 + settings.dataBits + (settings.parity != kParityNone ? 1 : 0)) *
                          kLineTicksPerSecond / (settings.baudRate > 0 ? settings.baudRate : 1);
    const int64_t pause = 2 * frame;
    size_t count = 0;
    int64_t hunt = now;  // the receiver goes on hunting for a start edge where it left off
    int64_t last = now;  // the stop bit of the last byte read, or the opening
    for (;;) {
        size_t wanted = readBytes > 0 ? readBytes : 16;
        if (most > 0)
            wanted = std::min(wanted, most - count);
        std::vector<int64_t> ends;
        std::vector<ReceivedByte> read =
            ReceiveLine(signal, settings, hunt, until, wanted, phase, &ends, ppm);
        if (read.empty())
            break;
        size_t kept = 1;
        while (kept < read.size() && ends[kept] - ends[kept - 1] <= pause)
            ++kept;
        read.resize(kept);
        bool afterPause = ends[0] - last > pause;
        count += kept;
        last = ends[kept - 1];
        hunt = last + 1;
        now = hunt;  // time runs on as the bytes come
        if (take(read, afterPause) || (most > 0 && count >= most))
            return count;
    }
    now = until;
    return count;
}
