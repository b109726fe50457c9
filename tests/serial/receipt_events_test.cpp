// What the receipt printers' paper cuts and drawer commands do to the decoded stream: a cut ends
// the receipt as a form feed does (unless the channel turns that off), a drawer command comes out
// as one drawer line, in order with the printed lines and never inside one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/line_flags.h"
#include "serial/line_decoder.h"
#include "support/printer_bytes.h"

using testing_support::DecodedLine;
using testing_support::PrinterBytes;
using testing_support::ScriptedSource;

namespace {

constexpr int kDrawer = kLineFlagDrawer;

struct Decoding {
    int emulation;
    int patternFlags = 0;
    bool cutEnds = true;
    // Every byte comes after a report that nothing came, as from a slow line with an idle end.
    bool slow = false;
};

int64_t FrozenClock() {
    return 0;
}

std::vector<DecodedLine> Decode(const std::string& notation, const Decoding& how) {
    std::string error;
    std::string bytes = PrinterBytes(notation, &error);
    EXPECT_EQ(error, "") << notation;
    LineDecoder decoder;
    decoder.SetEmulation(how.emulation);
    decoder.SetPattern(how.patternFlags, "BYE");
    decoder.SetCutEndsReceipt(how.cutEnds);
    ScriptedSource scripted;
    for (unsigned char byte : bytes) {
        if (how.slow)
            scripted.script.push_back(kNothingCame);
        scripted.script.push_back(byte);
    }
    if (how.slow)
        decoder.SetIdleEnd(60000, &FrozenClock);
    ByteSource source = scripted.Source();
    std::vector<DecodedLine> lines;
    const char* text;
    int flags;
    while (decoder.ReadLine(source, &text, &flags) >= 0)
        lines.push_back(DecodedLine{text, flags});
    return lines;
}

struct Command {
    int emulation;
    const char* bytes;
};

const Command kCuts[] = {
    {kEmulationEscPos, "<GS 56 00>"},    {kEmulationEscPos, "<GS 56 01>"},
    {kEmulationEscPos, "<GS 56 30>"},    {kEmulationEscPos, "<GS 56 31>"},
    {kEmulationEscPos, "<GS 56 41 03>"}, {kEmulationEscPos, "<GS 56 42 LF>"},
    {kEmulationEscPos, "<GS 56 61 03>"}, {kEmulationEscPos, "<GS 56 62 00>"},
    {kEmulationEscPos, "<GS 56 67 05>"}, {kEmulationEscPos, "<GS 56 68 05>"},
    {kEmulationEscPos, "<ESC 69>"},      {kEmulationEscPos, "<ESC 6D>"},
    {kEmulationStar, "<ESC 64 00>"},     {kEmulationStar, "<ESC 64 01>"},
    {kEmulationStar, "<ESC 64 02>"},     {kEmulationStar, "<ESC 64 03>"},
    {kEmulationStar, "<ESC 64 30>"},     {kEmulationStar, "<ESC 64 33>"},
};

TEST(PaperCut, EndsTheReceiptAsAFormFeedDoesUnlessTheChannelTurnsItOff) {
    for (const Command& cut : kCuts) {
        std::string between = std::string("X<LF>") + cut.bytes + "Y<LF>";
        std::string open = std::string("X<LF>A") + cut.bytes + "B<LF>";
        for (bool slow : {false, true}) {
            Decoding how{cut.emulation};
            how.slow = slow;
            EXPECT_EQ(Decode(between, how), (std::vector<DecodedLine>{{"X", 1}, {"", 2}, {"Y", 1}}))
                << between;
            EXPECT_EQ(Decode(open, how), (std::vector<DecodedLine>{{"X", 1}, {"A", 2}, {"B", 1}})) << open;
            // Repeated and leading cuts end a receipt once, as form feeds do.
            EXPECT_EQ(Decode(std::string(cut.bytes) + between + cut.bytes + cut.bytes, how),
                      (std::vector<DecodedLine>{{"X", 1}, {"", 2}, {"Y", 1}, {"", 2}}))
                << between;
        }
        Decoding off{cut.emulation};
        off.cutEnds = false;
        EXPECT_EQ(Decode(between, off), (std::vector<DecodedLine>{{"X", 1}, {"Y", 0}})) << between;
        Decoding footer{cut.emulation, 1};
        EXPECT_EQ(Decode(between + "BYE<LF>", footer),
                  (std::vector<DecodedLine>{{"X", 1}, {"Y", 0}, {"BYE", 2}}))
            << between;
    }
}

TEST(PaperCut, IsNoCutWhereThePrinterWouldNotCut) {
    // Values the printers ignore, ESC/POS's ESC d (a feed), and the dot-matrix emulation, whose
    // receipts end at form feeds as they always have.
    const Command kNotCuts[] = {{kEmulationEscPos, "<GS 56 05>"}, {kEmulationEscPos, "<ESC 64 02>"},
                                {kEmulationStar, "<ESC 64 04>"},  {kEmulationStar, "<ESC 69 01 01>"},
                                {kEmulationEscP, "<GS 56 00>"},   {kEmulationEscP, "<GS 56 42 03>"}};
    for (const Command& command : kNotCuts) {
        EXPECT_EQ(Decode(std::string("X<LF>") + command.bytes + "Y<LF>", Decoding{command.emulation}),
                  (std::vector<DecodedLine>{{"X", 1}, {"Y", 0}}))
            << command.bytes;
    }
}

const Command kDrawerCommands[] = {
    {kEmulationEscPos, "<ESC 70 00 19 FA>"},
    {kEmulationEscPos, "<ESC 70 01 32 32>"},
    {kEmulationEscPos, "<ESC 70 30 LF FF>"},
    {kEmulationEscPos, "<ESC 70 31 19 FA>"},
    {kEmulationEscPos, "<DLE DC4 01 00 01>"},
    {kEmulationEscPos, "<DLE DC4 01 01 08>"},
    {kEmulationStar, "<07>"},
    {kEmulationStar, "<FS>"},
    {kEmulationStar, "<1A>"},
    {kEmulationStar, "<19>"},
    {kEmulationStar, "<ESC 07 0A 0A 07>"},  // the pulse width, then the drawer
};

TEST(DrawerCommand, ComesOutOnceBetweenLinesOrAfterTheLineThatHoldsIt) {
    for (const Command& drawer : kDrawerCommands) {
        for (bool slow : {false, true}) {
            Decoding how{drawer.emulation};
            how.slow = slow;
            std::string d = drawer.bytes;
            std::string cut = drawer.emulation == kEmulationStar ? "<ESC 64 00>" : "<GS 56 00>";
            EXPECT_EQ(Decode(d + "A<LF>" + d + "B<LF>", how),
                      (std::vector<DecodedLine>{{"", kDrawer}, {"A", 1}, {"", kDrawer}, {"B", 0}}))
                << d;
            EXPECT_EQ(Decode("A" + d + "B<LF>C<LF>", how),
                      (std::vector<DecodedLine>{{"AB", 1}, {"", kDrawer}, {"C", 0}}))
                << d;
            // A line of spaces that is thrown away, a cut that ends the line holding the command.
            EXPECT_EQ(Decode("X<LF>  " + d + "<LF>A" + d + cut + "B<LF>", how),
                      (std::vector<DecodedLine>{{"X", 1}, {"", kDrawer}, {"A", 2}, {"", kDrawer}, {"B", 1}}))
                << d;
        }
    }
}

TEST(DrawerCommand, IsNoEventWhereThePrinterWouldNotFireTheDrawer) {
    const Command kNotDrawers[] = {
        {kEmulationEscPos, "<ESC 70 02 19 FA>"},  {kEmulationEscPos, "<DLE DC4 02 01 08>"},
        {kEmulationEscPos, "<DLE DC4 01 02 01>"}, {kEmulationEscPos, "<DLE DC4 01 00 09>"},
        {kEmulationStar, "<ESC 07 0A 0A>"},  // only sets the pulse width
        {kEmulationEscP, "<ESC 70 01>"},     // proportional print on a dot-matrix printer
    };
    for (const Command& command : kNotDrawers) {
        EXPECT_EQ(Decode(std::string("A") + command.bytes + "<LF>", Decoding{command.emulation}),
                  (std::vector<DecodedLine>{{"A", 1}}))
            << command.bytes;
    }
    // Text Only has no commands: the byte is text.
    EXPECT_EQ(Decode("A<07><LF>", Decoding{kEmulationTextOnly}), (std::vector<DecodedLine>{{"A\x07", 1}}));
}

// A full line is cut before the run of digits it ends in; the drawer comes out after the part
// that held its command, and the run goes on in the next line.
TEST(DrawerCommand, FollowsTheFirstPartOfALineCutAtTheLimit) {
    std::string notation = "<41*1000><ESC 70 00 19 FA><42*20>123456<LF>";
    std::vector<DecodedLine> lines = Decode(notation, Decoding{kEmulationEscPos});
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, std::string(1000, 'A') + std::string(20, 'B'));
    EXPECT_EQ(lines[1], (DecodedLine{"", kDrawer}));
    EXPECT_EQ(lines[2].text, "123456");
}

}  // namespace
