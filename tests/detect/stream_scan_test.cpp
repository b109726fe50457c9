// What the walk makes of commands, emulation by emulation: each row is a stream and the kinds
// of command it must find, which is what the language guess weighs.
#include <gtest/gtest.h>

#include <string>

#include "detect/stream_scan.h"
#include "support/printer_bytes.h"
#include "serial/command_tables.h"

using testing_support::PrinterBytes;

namespace {

struct ScanCase {
    int emulation;
    const char* stream;
    size_t typical, known, implausible, unknown, strays;
};

const ScanCase kCases[] = {
    // ESC/POS: bold with its switch, a cut, a code page, a drawer kick, a status request.
    {kEmulationEscPos, "<ESC E 01>A<GS V 42 03><ESC t 13><ESC p 00 19 FA><DLE EOT 01>", 5, 0, 0, 0, 0},
    // ESC/P's bold (no parameter) read as ESC/POS takes the next letter as its switch.
    {kEmulationEscPos, "<ESC>ETOTAL<ESC>F", 0, 0, 1, 1, 0},
    {kEmulationEscP, "<ESC>ETOTAL<ESC>F", 2, 0, 0, 0, 0},
    // ESC/P knows some receipt commands (it skips them), not others; SI and DC4 are its own.
    {kEmulationEscP, "<GS V 00><GS>y<0F>x<DC4>", 0, 1, 0, 1, 0},
    // Star's own introducers, its cut, its drawer byte; a lone GS means nothing to Star, and
    // ESC GS nothing to ESC/POS (its t and 04 are then text and a stray).
    {kEmulationStar, "<ESC GS t 04><ESC GS a 01><ESC 1E F 01><ESC d 03><07><GS>", 3, 1, 0, 0, 1},
    {kEmulationEscPos, "<ESC GS t 04>", 0, 0, 0, 1, 1},
    // An image whose size no printer has is not believed.
    {kEmulationEscPos, "<GS v 30 00 00 01 01 00 00*256>", 0, 0, 1, 0, 0},
    // Text Only knows no command: every control byte but the line controls is a stray.
    {kEmulationTextOnly, "A<ESC>B<HT>C<LF><00>", 0, 0, 0, 0, 2},
};

TEST(StreamScan, WeighsCommandsAsEachFamilyKnowsThem) {
    for (const ScanCase& c : kCases) {
        std::string bytes = PrinterBytes(c.stream);
        StreamScan scan =
            ScanStream(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), c.emulation);
        SCOPED_TRACE(std::string(c.stream) + " as " + std::to_string(c.emulation));
        EXPECT_EQ(scan.typical, c.typical);
        EXPECT_EQ(scan.known, c.known);
        EXPECT_EQ(scan.implausible, c.implausible);
        EXPECT_EQ(scan.unknown, c.unknown);
        EXPECT_EQ(scan.strays, c.strays);
    }
}

TEST(StreamScan, ReportsWhatReceiptsAreJudgedBy) {
    struct Events : StreamObserver {
        std::string log;
        void Text(size_t, uint8_t b) override { log += static_cast<char>(b); }
        void LineEnd(size_t) override { log += "|"; }
        void FormFeed(size_t) override { log += "[FF]"; }
        void Cut(size_t, size_t) override { log += "[cut]"; }
        void Reset(size_t) override { log += "[reset]"; }
        void Feed(size_t, int lines) override { log += "[feed " + std::to_string(lines) + "]"; }
        void SelectPage(size_t, int page, int n) override {
            log += "[page " + std::to_string(page) + " " + std::to_string(n) + "]";
        }
        void Utf8Text(size_t, bool on) override { log += on ? "[utf8]" : "[bytes]"; }
    };
    Events pos;
    std::string bytes = PrinterBytes("<ESC 40><ESC t 13>Hi<LF><ESC d 05><GS V 00><FF>");
    ScanStream(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), kEmulationEscPos, &pos);
    EXPECT_EQ(pos.log, "[reset][page 858 19]Hi|[feed 5][cut][FF]");

    Events star;
    bytes = PrinterBytes(
        "<ESC GS t 04><ESC GS 29 55 02 00 30 01>x<ESC 2A 72 41>b<02 00 0A 0A><ESC 2A 72 42><ESC d 02>");
    ScanStream(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), kEmulationStar, &star);
    // Raster data (the LF bytes inside it) is no text; Star's ESC d is its cut.
    EXPECT_EQ(star.log, "[page 858 4][utf8]x[cut]");

    // A command cut off by the end of the data counts neither way; one that claims a long tail does.
    bytes = PrinterBytes("TEXT<LF><GS 28 6B 00 01 31>");
    StreamScan cut =
        ScanStream(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), kEmulationEscPos);
    EXPECT_EQ(cut.bytes, 5u);
    EXPECT_DOUBLE_EQ(cut.TextShare(), 1.0);
    bytes = PrinterBytes("TEXT<LF><GS 28 6B 00 FF 31>") + std::string(2000, 'x');
    cut = ScanStream(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), kEmulationEscPos);
    EXPECT_EQ(cut.bytes, bytes.size());
    EXPECT_LT(cut.TextShare(), 0.01);
}

}  // namespace
