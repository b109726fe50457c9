// What receipt printers do to the text besides commands: code pages (as the channel sets them and
// as the stream selects them, UTF-8 on Star), print positions and tabs that become spaces,
// control bytes that never reach the text, and the idle end of a receipt.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serial/line_decoder.h"
#include "support/printer_bytes.h"

using testing_support::DecodeAll;
using testing_support::DecodedLine;
using testing_support::PrinterBytes;

namespace {

// The first line a stream gives.
std::string Line(const std::string& notation, int emulation, int codePage = 0, int recorderPage = 1252,
                 int hebrew = 0) {
    std::string error;
    std::string bytes = PrinterBytes(notation + "<LF>", &error);
    EXPECT_EQ(error, "") << notation;
    std::vector<DecodedLine> lines = DecodeAll(bytes, emulation, 0, "", hebrew, codePage, recorderPage);
    return lines.empty() ? "(none)" : lines.front().text;
}

std::string Spaces(int n) {
    return std::string(static_cast<size_t>(n), ' ');
}

TEST(CodePages, ReceiptPrintersFollowThePageTheStreamSelects) {
    const int escPos = kEmulationEscPos;
    EXPECT_EQ(Line("K<84>se Br<94>tchen", escPos), "K\xE4se Br\xF6tchen");  // PC437 as shipped
    EXPECT_EQ(Line("<ESC t 02>Bi<8A>re", escPos), "Bi\xE8re");              // PC850
    EXPECT_EQ(Line("<ESC t 13><D5>9,80", escPos),
              "\x80"
              "9,80");  // PC858 with the euro
    EXPECT_EQ(Line("<ESC t 12><88 A2>d<BE>", escPos, 0, 1250),
              "\xB3\xF3"
              "d\xBF");                                                        // PC852 to 1250
    EXPECT_EQ(Line("<ESC t 11><86 A0 E0>", escPos, 0, 1251), "\xC6\xE0\xF0");  // PC866 to 1251
    EXPECT_EQ(Line("<ESC t 10>Caf<E9>", escPos, 0, 1251), "Cafe");             // WPC1252 to 1251
    EXPECT_EQ(Line("<ESC t 10>Caf<E9>", escPos, 0, 1250), "Caf\xE9");
    // A switch in the middle of a line applies from there on; ESC @ goes back to the channel's page.
    EXPECT_EQ(Line("A<84><ESC t 02>B<8A><ESC 40>C<84>", escPos),
              "A\xE4"
              "B\xE8"
              "C\xE4");
    EXPECT_EQ(Line("<84><ESC 40><84>", escPos, 850), "\xE4\xE4");
    // Box-drawing rules become look-alikes; a page without a table shows "?".
    EXPECT_EQ(Line("<C4*3 CD*3 B3 C5 C9>", escPos), "---===|++");
    EXPECT_EQ(Line("<ESC t 06>A<A5>", escPos), "A?");
    // Star numbers its pages differently: 4 is PC858 there.
    EXPECT_EQ(Line("<ESC GS 74 04><D5>1", kEmulationStar),
              "\x80"
              "1");
    EXPECT_EQ(Line("<ESC GS 74 0A><86>", kEmulationStar, 0, 1251), "\xC6");
    EXPECT_EQ(Line("<84>", kEmulationStar), "\xE4");
}

TEST(CodePages, StarTextInUtf8) {
    const std::string on = "<ESC GS 29 55 02 00 30 01>", off = "<ESC GS 29 55 02 00 30 00>";
    EXPECT_EQ(Line(on + "Bi<C3 A8>re <E2 82 AC>5", kEmulationStar),
              "Bi\xE8re \x80"
              "5");
    EXPECT_EQ(Line(on + "Bi<C3 A8>re <E2 82 AC>5", kEmulationStar, 0, 1251),
              "Biere \x88"
              "5");
    EXPECT_EQ(Line(on + "<D0 96 E2 94 80 C3>x", kEmulationStar, 0, 1251), "\xC6-?x");
    EXPECT_EQ(Line(on + "<C3 A4>" + off + "<84>", kEmulationStar), "\xE4\xE4");
}

TEST(CodePages, DotMatrixAndTextOnlyKeepTheirBytesUnlessTheChannelNamesAPage) {
    for (int emulation : {kEmulationEscP, kEmulationTextOnly}) {
        EXPECT_EQ(Line("<84 8A D5>", emulation), "\x84\x8A\xD5");
        EXPECT_EQ(Line("<84 8A D5>", emulation, 858), "\xE4\xE8\x80");
    }
    // "None" keeps the bytes in every emulation, whatever page the stream selects.
    EXPECT_EQ(Line("<84 8A D5>", kEmulationEscP, kNoConversion), "\x84\x8A\xD5");
    EXPECT_EQ(Line("<ESC t 02><84 8A D5>", kEmulationEscPos, kNoConversion), "\x84\x8A\xD5");
    EXPECT_EQ(Line("<ESC GS 74 02><84 8A D5>", kEmulationStar, kNoConversion), "\x84\x8A\xD5");
}

TEST(CodePages, TheHebrewSettingKeepsItsMeaningAndNoLongerBendsCommandCounts) {
    // Letters 0x80 to 0x9F move to 0xE0 to 0xFF as they always did, conversion or not.
    EXPECT_EQ(Line("<80 81 9A>", kEmulationEscP, 0, 1252, 1), "\xE0\xE1\xFA");
    EXPECT_EQ(Line("<80 81 9A>", kEmulationEscPos, 0, 1255, 1), "\xE0\xE1\xFA");
    // An image of 0x81 bytes: its count is the byte the till sent, not the moved letter.
    EXPECT_EQ(Line("A<GS 76 30 00 81 00 01 00 58*129>B", kEmulationEscPos, 0, 1252, 1), "AB");
}

TEST(Columns, PrintPositionsBecomeSpacesOfTheCurrentCharacterWidth) {
    const int escPos = kEmulationEscPos;
    // 384 dots is column 32 of font A (12 dots); TOTAL takes 60 dots.
    EXPECT_EQ(Line("TOTAL<ESC $ 80 01>12.50", escPos), "TOTAL" + Spaces(27) + "12.50");
    EXPECT_EQ(Line("TOTAL<ESC 5C 44 01>12.50", escPos), "TOTAL" + Spaces(27) + "12.50");
    // Font B is 9 dots wide: TOTAL takes 45, and 339 more make 38 characters.
    EXPECT_EQ(Line("<ESC M 01>TOTAL<ESC $ 80 01>12.50", escPos), "TOTAL" + Spaces(38) + "12.50");
    EXPECT_EQ(Line("<ESC ! 01>TOTAL<ESC $ 80 01>12.50", escPos), "TOTAL" + Spaces(38) + "12.50");
    // Double width: TOTAL takes 120 dots; the move is counted in characters of normal width.
    EXPECT_EQ(Line("<GS ! 10>TOTAL<GS ! 00><ESC $ 80 01>12.50", escPos), "TOTAL" + Spaces(22) + "12.50");
    EXPECT_EQ(Line("<ESC ! 20>TOTAL<ESC ! 00><ESC $ 80 01>12.50", escPos), "TOTAL" + Spaces(22) + "12.50");
    // Character spacing widens every cell: 14 dots a character.
    EXPECT_EQ(Line("<ESC SP 02>AB<ESC $ 8C 00>C", escPos), "AB" + Spaces(8) + "C");
    // A forward move leaves at least one space; a move back leaves none.
    EXPECT_EQ(Line("ORANGE JUICE<ESC 5C 02 00>4.10", escPos), "ORANGE JUICE 4.10");
    EXPECT_EQ(Line("ABC<ESC $ 00 00>D<ESC 5C F4 ff>E", escPos), "ABCDE");
}

TEST(Columns, TabsGoToTheTabStops) {
    EXPECT_EQ(Line("A<HT>B", kEmulationEscPos), "A" + Spaces(7) + "B");  // every 8 by default
    EXPECT_EQ(Line("<ESC D 0A 14 00>A<HT>B<HT>C<HT>D", kEmulationEscPos),
              "A" + Spaces(9) + "B" + Spaces(9) + "CD");  // no stop beyond 20: ignored
    EXPECT_EQ(Line("<ESC D 00>A<HT>B", kEmulationEscPos), "AB");
    EXPECT_EQ(Line("<ESC D 0A 00>A<HT>B", kEmulationStar), "A" + Spaces(9) + "B");
    EXPECT_EQ(Line("A<HT>B", kEmulationEscP), "A\tB");  // the dot-matrix emulation keeps the byte
}

TEST(Columns, StarPositionsFontsAndWidths) {
    const int star = kEmulationStar;
    EXPECT_EQ(Line("TOTAL<ESC GS 41 80 01>12.50", star), "TOTAL" + Spaces(27) + "12.50");
    EXPECT_EQ(Line("TOTAL<ESC GS 52 44 01>12.50", star), "TOTAL" + Spaces(27) + "12.50");
    EXPECT_EQ(Line("AB<ESC GS 52 FC ff>C", star), "ABC");  // negative: back
    EXPECT_EQ(Line("<ESC 1E 46 01>TOTAL<ESC GS 41 80 01>1", star), "TOTAL" + Spaces(38) + "1");
    EXPECT_EQ(Line("<ESC W 01>TOTAL<ESC W 00><ESC GS 41 80 01>1", star), "TOTAL" + Spaces(22) + "1");
    EXPECT_EQ(Line("<ESC i 00 01>TOTAL<ESC i 00 00><ESC GS 41 80 01>1", star), "TOTAL" + Spaces(22) + "1");
    EXPECT_EQ(Line("<0E>TOTAL<14><ESC GS 41 80 01>1", star), "TOTAL" + Spaces(22) + "1");
}

TEST(ControlBytes, NeitherStrayBytesNorVendorParametersReachTheText) {
    for (int emulation : {kEmulationEscPos, kEmulationStar}) {
        EXPECT_EQ(Line("A<01 02 00 03 07 1F>B<7F>C", emulation),
                  "AB\x7F"
                  "C")
            << emulation;
        EXPECT_EQ(Line("<ESC 34 01>COME AGAIN<ESC 35>", emulation), "COME AGAIN") << emulation;
    }
    EXPECT_EQ(Line("<ESC B 01 01>NEXT", kEmulationEscPos), "NEXT");          // buzzer
    EXPECT_EQ(Line("<ESC Z 00 02 08 05 00>HELLOX", kEmulationEscPos), "X");  // 2D code
    EXPECT_EQ(Line("<ESC GS 07 01 02 03>NEXT", kEmulationStar), "NEXT");     // buzzer
}

// A source whose pauses each take a second of a clock that the test owns. The quiet is counted
// from the first pause after the last byte, so an idle time of 3 s ends at the fourth pause.
int64_t fakeNow = 0;
int64_t FakeClock() {
    return fakeNow;
}

struct PausingSource {
    std::vector<int> script;
    size_t position = 0;
    static int Next(void* context) {
        PausingSource* self = static_cast<PausingSource*>(context);
        if (self->position >= self->script.size())
            return kSourceStopped;
        int c = self->script[self->position++];
        if (c == kNothingCame)
            fakeNow += 1000;
        return c;
    }
};

std::vector<DecodedLine> IdleRun(const std::string& notation, int idleSeconds,
                                 int emulation = kEmulationEscP) {
    // "~" in the notation is a second in which nothing comes.
    PausingSource source;
    for (char c : PrinterBytes(notation))
        source.script.push_back(c == '~' ? kNothingCame : static_cast<unsigned char>(c));
    LineDecoder decoder;
    decoder.SetEmulation(emulation);
    decoder.SetIdleEnd(idleSeconds * 1000, &FakeClock);
    ByteSource bytes{&PausingSource::Next, &source};
    std::vector<DecodedLine> lines;
    const char* text;
    int flags;
    while (decoder.ReadLine(bytes, &text, &flags) >= 0)
        lines.push_back({text, flags});
    return lines;
}

TEST(IdleEnd, AQuietChannelEndsItsOpenReceiptOnce) {
    EXPECT_EQ(IdleRun("A<LF>B~~~~~~C<LF>", 3), (std::vector<DecodedLine>{{"A", 1}, {"B", 2}, {"C", 1}}));
    EXPECT_EQ(IdleRun("A<LF>~~B<LF>~~~~~~", 3), (std::vector<DecodedLine>{{"A", 1}, {"B", 0}, {"", 2}}));
    EXPECT_EQ(IdleRun("ONLY~~~~", 3, kEmulationEscPos), (std::vector<DecodedLine>{{"ONLY", 3}}));
    // Quiet with no receipt open, a pause shorter than the time, or the end switched off.
    EXPECT_EQ(IdleRun("~~~~A<LF FF>~~~~", 3), (std::vector<DecodedLine>{{"A", 1}, {"", 2}}));
    EXPECT_EQ(IdleRun("A<LF>~~B<LF>", 3), (std::vector<DecodedLine>{{"A", 1}, {"B", 0}}));
    EXPECT_EQ(IdleRun("A<LF>~~~~~~", 0), (std::vector<DecodedLine>{{"A", 1}}));
}

TEST(IdleEnd, ACommandWaitsForItsBytesUntilTheIdleTimeHasPassed) {
    // The position's high byte comes after a quiet second: it is still the command's.
    EXPECT_EQ(IdleRun("A<ESC $ 80>~<01>B<LF>", 3, kEmulationEscPos),
              (std::vector<DecodedLine>{{"A" + Spaces(31) + "B", 1}}));
    // Tab stops whose closing NUL never comes: the quiet ends the command and then the receipt.
    EXPECT_EQ(IdleRun("A<LF>B<ESC D 0A>~~~~~~", 3, kEmulationEscPos),
              (std::vector<DecodedLine>{{"A", 1}, {"B", 2}}));
}

}  // namespace
