// The simulated line against frames worked out by hand: what a sender puts on the wire bit by
// bit, and what receivers with the same and with other settings make of it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "detect/line_simulator.h"

namespace {

constexpr int64_t kBit9600 = kLineTicksPerSecond / 9600;

LineSignal Sent(const std::vector<uint8_t>& bytes, const LineSettings& sender,
                const TillTiming& timing = {}) {
    LineSignal signal;
    signal.Send(bytes.data(), bytes.size(), sender, timing);
    return signal;
}

// The levels in the middle of each bit of the first frame.
std::string Bits(const LineSignal& signal, int count, int64_t bit) {
    std::string levels;
    for (int i = 0; i < count; ++i)
        levels += signal.Level(i * bit + bit / 2) ? '1' : '0';
    return levels;
}

std::vector<ReceivedByte> Received(const LineSignal& signal, const LineSettings& receiver) {
    return ReceiveLine(signal, receiver, 0, signal.End() + 20 * kBit9600);
}

TEST(LineSimulator, SendsStartBitDataLsbFirstParityAndStopBits) {
    // 'A' is 0x41 = 0100 0001: on the wire 1000 0010 after the start bit.
    EXPECT_EQ(Bits(Sent({0x41}, {9600, 8, kParityNone, kStopOne}), 11, kBit9600), "01000001011");
    // Two ones: even parity adds 0, odd parity 1; mark and space are fixed.
    EXPECT_EQ(Bits(Sent({0x41}, {9600, 7, kParityEven, kStopOne}), 10, kBit9600), "0100000101");
    EXPECT_EQ(Bits(Sent({0x41}, {9600, 7, kParityOdd, kStopOne}), 10, kBit9600), "0100000111");
    EXPECT_EQ(Bits(Sent({0x43}, {9600, 7, kParityEven, kStopOne}), 10, kBit9600), "0110000111");
    EXPECT_EQ(Bits(Sent({0x41}, {9600, 7, kParitySpace, kStopOne}), 10, kBit9600), "0100000101");
    // 5 data bits keep the low five: 0x41 sends 10000.
    EXPECT_EQ(Bits(Sent({0x41}, {9600, 5, kParityMark, kStopOne}), 8, kBit9600), "01000011");

    // Frames follow back to back: 1, 1.5 and 2 stop bits, then a gap of two bits.
    EXPECT_EQ(Sent({0x41, 0x41}, {9600, 8, kParityNone, kStopOne}).End(), 20 * kBit9600);
    EXPECT_EQ(Sent({0x41}, {9600, 5, kParityNone, kStopOneAndHalf}).End(), 15 * kBit9600 / 2);
    EXPECT_EQ(Sent({0x41}, {9600, 8, kParityEven, kStopTwo}).End(), 12 * kBit9600);
    LineSignal spaced = Sent({0x41, 0x0A, 0x41}, {9600, 8, kParityNone, kStopOne}, TillTiming{2, 1});
    EXPECT_EQ(spaced.FramesBefore(12 * kBit9600), 1u);
    EXPECT_EQ(spaced.FramesBefore(12 * kBit9600 + 1), 2u);
    // After the LF the till pauses a millisecond as well.
    EXPECT_EQ(spaced.FramesBefore(24 * kBit9600 + TicksFromMilliseconds(1)), 2u);
    EXPECT_EQ(spaced.FramesBefore(24 * kBit9600 + TicksFromMilliseconds(1) + 1), 3u);
}

TEST(LineSimulator, ReceiverWithTheSameSettingsReadsEveryByte) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 256; ++i)
        bytes.push_back(static_cast<uint8_t>(i));
    for (LineSettings s :
         {LineSettings{115200, 8, kParityNone, kStopOne}, LineSettings{1200, 8, kParityOdd, kStopTwo},
          LineSettings{14400, 7, kParityMark, kStopOne},
          LineSettings{2400, 5, kParityEven, kStopOneAndHalf}}) {
        LineSignal signal = Sent(bytes, s);
        std::vector<ReceivedByte> got = ReceiveLine(signal, s, 0, signal.End() + kLineTicksPerSecond, 0, 7);
        ASSERT_EQ(got.size(), bytes.size()) << s.baudRate;
        unsigned mask = (1u << s.dataBits) - 1u;
        for (size_t i = 0; i < bytes.size(); ++i)
            EXPECT_EQ(got[i], (ReceivedByte{static_cast<uint8_t>(bytes[i] & mask), 0}))
                << s.baudRate << " " << i;
    }
}

TEST(LineSimulator, OtherFramesAtTheRightRate) {
    // 7E1 read as 8N1: the parity bit becomes bit 7 ('A' has two ones, 'C' three).
    EXPECT_EQ(
        Received(Sent({0x41, 0x43}, {9600, 7, kParityEven, kStopOne}), {9600, 8, kParityNone, kStopOne}),
        (std::vector<ReceivedByte>{{0x41, 0}, {0xC3, 0}}));
    // 8E1 read as 8N1: the parity bit sits where the stop bit is expected; a 0 there is a framing
    // error, and the receiver finds the next start edge after the real stop bit.
    EXPECT_EQ(Received(Sent({0x41, 0x43, 0x41}, {9600, 8, kParityEven, kStopOne}),
                       {9600, 8, kParityNone, kStopOne}),
              (std::vector<ReceivedByte>{{0x41, kMarkFraming}, {0x43, 0}, {0x41, kMarkFraming}}));
    // 8N1 back to back read as 8O1: the stop bit is taken for the parity bit (right for 'A' by
    // chance) and the next start bit for the stop bit; the receiver then finds a fall inside 'C'
    // (after its data bit 1) and reads its data bits 3 to 7, the stop bit and idle as 0xE8.
    EXPECT_EQ(Received(Sent({0x41, 0x43}, {9600, 8, kParityNone, kStopOne}), {9600, 8, kParityOdd, kStopOne}),
              (std::vector<ReceivedByte>{{0x41, kMarkFraming}, {0xE8, 0}}));
    // Two stop bits read with one, and one read with two: the receiver checks only the first.
    EXPECT_EQ(Received(Sent({0x41}, {9600, 8, kParityNone, kStopTwo}), {9600, 8, kParityNone, kStopOne}),
              (std::vector<ReceivedByte>{{0x41, 0}}));
    EXPECT_EQ(
        Received(Sent({0x41, 0x42}, {9600, 8, kParityNone, kStopOne}), {9600, 8, kParityNone, kStopTwo}),
        (std::vector<ReceivedByte>{{0x41, 0}, {0x42, 0}}));
}

TEST(LineSimulator, WrongRateResynchronisesAtEachStartEdge) {
    // 'A' at 9600 read at 19200: each bit lasts two receiver bits. The first frame takes the
    // start bit and the first bits (0 1 1 0 0 0 0 0, stop low: 0x06 with a framing error); the
    // line is then low, so the receiver waits for it to rise and takes the fall of data bit 7 as
    // the next start: 0, the stop bit and idle make 0xFE.
    EXPECT_EQ(Received(Sent({0x41}, {9600, 8, kParityNone, kStopOne}), {19200, 8, kParityNone, kStopOne}),
              (std::vector<ReceivedByte>{{0x06, kMarkFraming}, {0xFE, 0}}));
    // A NUL at 4800 read at 9600: low for a whole frame and more is a break, read once.
    EXPECT_EQ(Received(Sent({0x00}, {4800, 8, kParityNone, kStopOne}), {9600, 8, kParityNone, kStopOne}),
              (std::vector<ReceivedByte>{{0x00, kMarkBreak | kMarkFraming}}));
}

TEST(LineSimulator, BreaksFalseStartsAndPortsOpenedInsideAFrame) {
    LineSignal signal;
    signal.HoldLow(40 * kBit9600);
    const uint8_t a = 0x41;
    signal.Send(&a, 1, {9600, 8, kParityNone, kStopOne});
    EXPECT_EQ(Received(signal, {9600, 8, kParityNone, kStopOne}),
              (std::vector<ReceivedByte>{{0x00, kMarkBreak | kMarkFraming}, {0x41, 0}}));

    // A low pulse shorter than half a bit is no start bit.
    LineSignal glitch;
    glitch.HoldLow(kBit9600 / 4);
    glitch.Idle(4 * kBit9600);
    EXPECT_TRUE(Received(glitch, {9600, 8, kParityNone, kStopOne}).empty());

    // Opened in the middle of the start bit of 'A' and 'B' back to back: the first fall it sees
    // is inside 'A' (between data bits 0 and 1), so it reads from there until it finds its way.
    LineSignal two = Sent({0x41, 0x42}, {9600, 8, kParityNone, kStopOne});
    std::vector<ReceivedByte> late =
        ReceiveLine(two, {9600, 8, kParityNone, kStopOne}, kBit9600 / 2, two.End() + 20 * kBit9600);
    ASSERT_FALSE(late.empty());
    EXPECT_NE(late.front().value, 0x41);
}

TEST(LineSimulator, TapListensUntilBytesOrTime) {
    std::vector<uint8_t> bytes(100, 'x');
    LineSignal signal = Sent(bytes, {9600, 8, kParityNone, kStopOne});
    SimulatedTap tap(signal);
    std::vector<ReceivedByte> first = tap.Listen({9600, 8, kParityNone, kStopOne}, 10, 1000);
    EXPECT_EQ(first.size(), 10u);
    EXPECT_EQ(tap.BytesSent(), 10u);
    std::vector<ReceivedByte> rest = tap.Listen({9600, 8, kParityNone, kStopOne}, 1000, 1000);
    EXPECT_EQ(rest.size(), 90u);
    // The first listen ended in the middle of the 10th stop bit, the second after its full time.
    EXPECT_EQ(tap.Now(), 199 * kBit9600 / 2 + 1 + TicksFromMilliseconds(1000));
}

TEST(ReceivedBytes, ParmrkMarkingRoundTrips) {
    std::vector<ReceivedByte> bytes = {
        {'A', 0},           {0xFF, 0},           {'B', kMarkFraming}, {0, kMarkBreak | kMarkFraming},
        {'C', kMarkParity}, {0xFF, kMarkFraming}};
    std::string wire;
    AppendParmrk(bytes.data(), bytes.size(), &wire);
    EXPECT_EQ(wire, std::string("A\xFF\xFF\xFF\x00"
                                "B\xFF\x00\x00\xFF\x00"
                                "C\xFF\x00\xFF",
                                15));
    ParmrkReader reader;
    std::vector<ReceivedByte> back;
    ReceivedByte out[2];
    for (char c : wire) {
        int n = reader.Feed(static_cast<uint8_t>(c), out);
        back.insert(back.end(), out, out + n);
    }
    EXPECT_EQ(back, (std::vector<ReceivedByte>{{'A', 0},
                                               {0xFF, 0},
                                               {'B', kMarkFramingOrParity},
                                               {0, kMarkBreak},
                                               {'C', kMarkFramingOrParity},
                                               {0xFF, kMarkFramingOrParity}}));
    // A marking cut off by the end of a read.
    EXPECT_EQ(reader.Feed(0xFF, out), 0);
    EXPECT_EQ(reader.Flush(out), 1);
    EXPECT_EQ(out[0], (ReceivedByte{0xFF, 0}));
    EXPECT_EQ(reader.Flush(out), 0);

    EXPECT_EQ(MarksFromCommErrors(0x0008 | 0x0004), kMarkFraming | kMarkParity);
    EXPECT_EQ(MarksFromCommErrors(0x0010 | 0x0002), kMarkBreak | kMarkOverrun);
    EXPECT_EQ(MarksFromCommErrors(0x0100), 0);
}

}  // namespace
