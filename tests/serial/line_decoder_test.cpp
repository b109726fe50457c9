// The line rules shared by every emulation: line ends, blank lines, receipts, the length limit,
// stops and pauses of the byte source.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serial/line_decoder.h"
#include "support/printer_bytes.h"

using testing_support::DecodeAll;
using testing_support::DecodedLine;
using testing_support::PrinterBytes;
using testing_support::ScriptedSource;

namespace {

struct LineCase {
    const char* name;
    const char* stream;
    int patternFlags;
    const char* footer;
    std::vector<DecodedLine> expected;
    bool bytesAsTheyCome = false;  // ESC/P and Text Only only: receipt printers drop and convert
};

const LineCase kLineCases[] = {
    {"cr is ignored", "AB<CR LF>CD<LF>", 0, "", {{"AB", 1}, {"CD", 0}}},
    {"empty lines are never delivered", "<LF LF>A<LF LF LF>", 0, "", {{"A", 1}}},
    {"space-only lines are dropped", "   <LF> A <LF>", 0, "", {{" A ", 1}}},
    {"form feed ends the receipt with the open line",
     "X<LF>A<FF>B<LF>",
     0,
     "",
     {{"X", 1}, {"A", 2}, {"B", 1}}},
    {"form feed after a line end gives an empty end line", "X<LF FF>", 0, "", {{"X", 1}, {"", 2}}},
    {"repeated and leading form feeds end a receipt once",
     "<FF>X<LF FF FF FF>Y<LF>",
     0,
     "",
     {{"X", 1}, {"", 2}, {"Y", 1}}},
    {"form feed drops an open line of spaces", "X<LF>   <FF>", 0, "", {{"X", 1}, {"", 2}}},
    {"form feed keeps the open line when nothing was delivered yet", "A<FF>B<LF>", 0, "", {{"AB", 1}}},
    {"footer line ends the receipt",
     "HEAD<LF>ITEM<LF>THANK YOU<LF>NEXT<LF>",
     1,
     "THANK",
     {{"HEAD", 1}, {"ITEM", 0}, {"THANK YOU", 2}, {"NEXT", 1}}},
    {"footer search is case-sensitive", "thank you<LF>", 1, "THANK", {{"thank you", 1}}},
    {"footer mode ignores form feeds", "A<LF FF>B<LF>", 1, "END", {{"A", 1}, {"B", 0}}},
    {"pattern flags other than 0 and 1 act as form feed mode",
     "A<LF>END<LF>B<FF>",
     7,
     "END",
     {{"A", 1}, {"END", 0}, {"B", 2}}},
    {"control bytes stay in the line and a NUL cuts the text",
     "A<HT>B<LF>C<NUL>D<LF>",
     0,
     "",
     {{"A\tB", 1}, {"C", 0}},
     true},
    {"bytes above 127 are text", "<80 E9 ff><LF>", 0, "", {{"\x80\xE9\xFF", 1}}, true},
};

class LineRules : public ::testing::TestWithParam<LineCase> {};

TEST_P(LineRules, DeliverTheExpectedLinesInBothEmulations) {
    const LineCase& c = GetParam();
    std::string error;
    std::string bytes = PrinterBytes(c.stream, &error);
    ASSERT_EQ(error, "");
    for (int emulation : {kEmulationEscP, kEmulationTextOnly, kEmulationEscPos, kEmulationStar}) {
        if (c.bytesAsTheyCome && (emulation == kEmulationEscPos || emulation == kEmulationStar))
            continue;
        EXPECT_EQ(DecodeAll(bytes, emulation, c.patternFlags, c.footer), c.expected)
            << "emulation " << emulation;
    }
}

INSTANTIATE_TEST_SUITE_P(Decoder, LineRules, ::testing::ValuesIn(kLineCases),
                         [](const ::testing::TestParamInfo<LineCase>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p != 0; ++p) {
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             }
                             return name;
                         });

TEST(LineDecoder, AFullBufferIsDeliveredAndTheRestContinuesAsTheNextLine) {
    std::string bytes(1100, 'x');
    bytes += "\n";
    std::vector<DecodedLine> lines = DecodeAll(bytes, kEmulationEscP);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], (DecodedLine{std::string(1023, 'x'), 1}));
    EXPECT_EQ(lines[1], (DecodedLine{std::string(77, 'x'), 0}));
}

TEST(LineDecoder, AFullBufferOfSpacesOrFooterIsStillDeliveredAsItStands) {
    std::string bytes(1023, ' ');
    std::vector<DecodedLine> lines = DecodeAll(bytes, kEmulationEscP);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text.size(), 1023u);
    std::string footer = "END" + std::string(1020, 'y');
    lines = DecodeAll(footer, kEmulationEscP, kPatternFooter, "END");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].flags, 1);  // the footer search is made at line ends only
}

TEST(LineDecoder, TextOnlyKeepsCommandBytesAsText) {
    std::string bytes = PrinterBytes("<ESC>E<LF>");
    EXPECT_EQ(DecodeAll(bytes, kEmulationTextOnly), (std::vector<DecodedLine>{{"\x1B"
                                                                               "E",
                                                                               1}}));
    EXPECT_EQ(DecodeAll(bytes, kEmulationEscP), (std::vector<DecodedLine>{}));
}

TEST(LineDecoder, SetEmulationKeepsTheCurrentOneForUnknownCodes) {
    LineDecoder decoder;
    EXPECT_EQ(decoder.SetEmulation(1), 1);
    EXPECT_EQ(decoder.SetEmulation(5), 1);
    EXPECT_EQ(decoder.SetEmulation(-1), 1);
    EXPECT_EQ(decoder.SetEmulation(2), 2);
    EXPECT_EQ(decoder.SetEmulation(0), 0);
}

TEST(LineDecoder, SetPatternStoresFlagsAndCutsALongFooter) {
    LineDecoder decoder;
    std::string longText(300, 'f');
    EXPECT_EQ(decoder.SetPattern(1, longText.c_str()), 1);
    EXPECT_EQ(std::string(decoder.patternText), std::string(255, 'f'));
    EXPECT_EQ(decoder.SetPattern(3, nullptr), 3);
    EXPECT_EQ(std::string(decoder.patternText), "");
}

TEST(LineDecoder, AStopKeepsThePartialLineBackAndPausesAreIgnored) {
    LineDecoder decoder;
    ScriptedSource scripted;
    scripted.script = {'A', kNothingCame, 'B', kNothingCame, '\n', 'C', 'D', kSourceStopped, 'E', '\n'};
    ByteSource source = scripted.Source();
    const char* text;
    int flags;
    ASSERT_EQ(decoder.ReadLine(source, &text, &flags), 2);
    EXPECT_STREQ(text, "AB");
    EXPECT_EQ(flags, 1);
    EXPECT_EQ(decoder.ReadLine(source, &text, &flags), -1);
    // The object is normally destroyed after a stop; reading on continues the kept line.
    ASSERT_EQ(decoder.ReadLine(source, &text, &flags), 3);
    EXPECT_STREQ(text, "CDE");
}

TEST(LineDecoder, ReceiptCountDoesNotOverflow) {
    LineDecoder decoder;
    decoder.lineCount = 0x7FFFFFFF;
    MemoryByteSource memory("A\n", 2);
    ByteSource source = memory.Source();
    const char* text;
    int flags;
    ASSERT_EQ(decoder.ReadLine(source, &text, &flags), 1);
    EXPECT_EQ(flags, 0);
    EXPECT_GT(decoder.lineCount, 0);
}

}  // namespace
