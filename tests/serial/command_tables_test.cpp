// Command consumption, table by table: each case puts one command between "A" and the text
// "0123" (or lets it swallow part of it) and checks the one line that comes out, which shows
// exactly how many bytes the command took. Parameter bytes are often LF, FF or ESC on purpose:
// inside a command they are data, never line ends or new commands.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config/line_flags.h"
#include "serial/command_tables.h"
#include "serial/line_decoder.h"
#include "support/printer_bytes.h"

using testing_support::DecodeAll;
using testing_support::DecodedLine;
using testing_support::PrinterBytes;
using testing_support::ScriptedSource;

namespace {

struct CommandCase {
    const char* stream;  // followed by LF
    const char* line;    // the one line expected (flag 1)
};

void ExpectOneLine(int emulation, const CommandCase& c) {
    std::string error;
    std::string bytes = PrinterBytes(std::string(c.stream) + "<LF>", &error);
    ASSERT_EQ(error, "") << c.stream;
    EXPECT_EQ(DecodeAll(bytes, emulation), (std::vector<DecodedLine>{{c.line, 1}})) << c.stream;
}

const CommandCase kDotMatrixCases[] = {
    // ESC table
    {"A<ESC>E0123", "A0123"},      // unlisted: ESC and the command byte only
    {"A<ESC J LF>0123", "A0123"},  // the LF is a parameter
    {"A<ESC>!<FF>0123", "A0123"},
    {"A<ESC 19 ESC>0123", "A0123"},
    {"A<ESC>$<LF LF>0123", "A0123"},
    {"A<ESC>:<00 00 00>0123", "A0123"},
    {"A<ESC K 05 00 LF*5>0123", "A0123"},
    {"A<ESC K 00 01 0A*256>0123", "A0123"},
    {"A<ESC>Z<03 00>xyz0123", "A0123"},
    {"A<ESC C 00 0B>0123", "A0123"},
    {"A<ESC C 42>0123", "A0123"},
    {"A<ESC t 31>0123", "A0123"},
    {"A<ESC t 01>0123", "A0123"},
    {"A<ESC t 00>0123", "A123"},
    {"A<ESC B 08 10 00>0123", "A0123"},
    {"A<ESC B 00>0123", "A0123"},
    {"A<ESC D 08 LF 00>0123", "A0123"},
    {"A<ESC b 09>0123", "A0123"},
    {"A<ESC b 02 05 0A 00>0123", "A0123"},
    {"A<ESC>(A0123", "A0123"},
    {"A<ESC>(X<33 30 31 32 05>0123", "A0123"},
    {"A<ESC>(X<03 00 00 00 07>0123", "A0123"},
    {"A<ESC>(X<03 00 00 35>0123", "A0123"},  // 5 is out of range: consumed, ends the command
    {"A<ESC>(X<03 02>0123", "A0123"},
    {"A<ESC>&<00 41 42 01 02 01 0A*6 01 02 01 0A*6>0123", "A0123"},
    {"A<ESC>&<01>0123", "A0123"},
    {"A<ESC>&<00 1F>0123", "A0123"},
    {"A<ESC>&<00 42 41>0123", "A0123"},  // no characters
    {"A<ESC>*<00 03 00 LF*3>0123", "A0123"},
    {"A<ESC>*<01 03 00 LF*3>0123", "A0123"},
    {"A<ESC>*<21 02 00 LF*6>0123", "A0123"},  // 24-dot: three bytes a column
    {"A<ESC>*<48 01 00 LF*6>0123", "A0123"},  // 48-dot: six bytes a column
    {"A<ESC>*<05 02 00 LF*2>0123", "A0123"},  // unknown mode: one byte a column
    // GS table, with the real cut and barcode lengths and the payload commands
    {"A<GS>!<11>0123", "A0123"},
    {"A<GS>L<00 01>0123", "A0123"},
    {"A<GS>^<01 02 03>0123", "A0123"},
    {"A<GS V 00>0123", "A0123"},
    {"A<GS V 01>0123", "A0123"},
    {"A<GS V 30>0123", "A0123"},
    {"A<GS V 31>0123", "A0123"},
    {"A<GS V 41 05>0123", "A0123"},
    {"A<GS V 42 LF>0123", "A0123"},
    {"A<GS V 61 03>0123", "A0123"},
    {"A<GS V 62 03>0123", "A0123"},
    {"A<GS V 67 03>0123", "A0123"},
    {"A<GS V 68 03>0123", "A0123"},
    {"A<GS V 07>0123", "A0123"},
    {"A<GS>k<04>12<00>0123", "A0123"},
    {"A<GS>k<00>0123", "A0123"},            // the byte after k counts for the NUL
    {"A<GS>k<49 05>{B123Z0123", "AZ0123"},  // length form: no NUL is looked for
    {"A<GS>k<45 00>0123", "A0123"},
    {"A<GS>v0<00 02 00 03 00 LF*6>0123", "A0123"},
    {"A<GS>v10123", "A0123"},  // not the raster form: the "1" ends the command
    {"A<GS>(k<04 00 31 41 32 00>0123", "A0123"},
    {"A<GS>(L<00 01 0A*256>0123", "A0123"},
    {"A<GS>8L<05 00 00 00 0A*5>0123", "A0123"},
    {"A<GS>8L<00 00 01 00 0A*65536>0123", "A0123"},
    {"A<GS>8X0123", "A0123"},
    {"A<GS>*<01 02 0A*16>0123", "A0123"},
    {"A<GS>Z0123", "A0123"},
    // FS table
    {"A<FS>!<0A>0123", "A0123"},
    {"A<FS>x<1B>0123", "A0123"},
    {"A<FS>2<FE A1 0A*72>0123", "A0123"},
    {"A<FS>2<77>0123", "A0123"},
    {"A<FS>2<FE 30>0123", "A0123"},
    {"A<FS>p<01 00>0123", "A0123"},
    {"A<FS>q<02 01 00 01 00 0A*8 02 00 01 00 0A*16>0123", "A0123"},
    {"A<FS>q<00>0123", "A0123"},
    {"A<FS>Z0123", "A0123"},
};

class DotMatrixCommands : public ::testing::TestWithParam<CommandCase> {};

TEST_P(DotMatrixCommands, ConsumeExactlyTheirBytes) {
    ExpectOneLine(kEmulationEscP, GetParam());
}

INSTANTIATE_TEST_SUITE_P(EscP, DotMatrixCommands, ::testing::ValuesIn(kDotMatrixCases));

// A stop inside a command's data ends ReadLine at once; an interruption drops the command and
// the line so far; a nothing-came result is a consumed parameter byte, and as the command byte
// it ends the command.
struct ScriptCase {
    const char* name;
    int emulation;
    std::vector<int> script;
    int result;  // of the first ReadLine
    const char* line;
};

std::vector<int> Script(std::initializer_list<std::string> parts) {
    std::vector<int> script;
    for (const std::string& part : parts) {
        if (part == "pause") {
            script.push_back(kNothingCame);
        } else if (part == "interrupt") {
            script.push_back(kSourceInterrupted);
        } else if (part == "stop") {
            script.push_back(kSourceStopped);
        } else {
            for (char c : PrinterBytes(part))
                script.push_back(static_cast<unsigned char>(c));
        }
    }
    return script;
}

TEST(CommandStops, EndTheLineLoopInsideEveryKindOfData) {
    const ScriptCase cases[] = {
        {"barcode", kEmulationEscP, Script({"A<GS>k<04>12", "stop", "<00>B<LF>"}), -1, ""},
        {"bit image", kEmulationEscP, Script({"A<ESC K 05 00 01 02>", "stop", "<03 04 05>B<LF>"}), -1, ""},
        {"double-byte character", kEmulationEscP, Script({"A<FS>2<FE A1 01>", "stop", "B<LF>"}), -1, ""},
        {"raster image", kEmulationEscP, Script({"A<GS>v0<00 01 00 05 00 01>", "stop", "<LF>"}), -1, ""},
        {"command byte", kEmulationEscP, Script({"A<ESC>", "stop", "B<LF>"}), -1, ""},
        {"large graphics count", kEmulationEscPos, Script({"A<GS>8L<05 00>", "stop", "<LF>"}), -1, ""},
        {"real-time request", kEmulationEscPos, Script({"A<DLE DC4 08 01>", "stop", "<LF>"}), -1, ""},
        {"pause as the command byte", kEmulationEscP, Script({"A<ESC>", "pause", "B<LF>"}), 2, "AB"},
        {"pause as a parameter", kEmulationEscP, Script({"A<ESC>J", "pause", "B<LF>"}), 2, "AB"},
        {"pause as a count counts zero", kEmulationEscP, Script({"A<ESC>K", "pause", "<00>B<LF>"}), 2, "AB"},
        {"pause inside data", kEmulationEscP, Script({"A<ESC K 02 00>", "pause", "<01>B<LF>"}), 2, "AB"},
        {"interruption inside a line", kEmulationEscP, Script({"HALF", "interrupt", "NEW<LF>"}), 3, "NEW"},
        {"interruption inside a command", kEmulationEscPos,
         Script({"HALF<GS>v0<00 10 00 10 00 01>", "interrupt", "NEW<LF>"}), 3, "NEW"},
        {"interruption as the command byte", kEmulationEscP, Script({"HALF<ESC>", "interrupt", "J<LF>"}), 1,
         "J"},
    };
    for (const ScriptCase& c : cases) {
        LineDecoder decoder;
        decoder.SetEmulation(c.emulation);
        ScriptedSource scripted;
        scripted.script = c.script;
        ByteSource source = scripted.Source();
        const char* text = nullptr;
        int flags = -1;
        int result = decoder.ReadLine(source, &text, &flags);
        EXPECT_EQ(result, c.result) << c.name;
        if (c.result >= 0 && result >= 0) {
            EXPECT_STREQ(text, c.line) << c.name;
        }
    }
}

// ESC/POS: every row of the receipt-printer reference. Fixed-length rows take parameter bytes
// that would do harm as text (LF, FF, ESC, NUL); counted rows are tried with counts of zero,
// small and large.
struct RowCase {
    std::string command;  // notation of the command and all its bytes
};

std::vector<RowCase> ReceiptRows() {
    std::vector<RowCase> rows;
    const std::string harmful[] = {"LF", "FF", "ESC", "NUL", "GS", "0A", "0C", "1B"};
    auto fixed = [&](const std::string& introducer, const std::string& commandBytes, int count) {
        for (char command : commandBytes) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(command));
            std::string notation = "<" + introducer + " " + hex;
            for (int i = 0; i < count; ++i)
                notation += " " + harmful[i % 8];
            rows.push_back({notation + ">"});
        }
    };
    // DLE real-time commands
    rows.push_back({"<DLE EOT 01>"});
    rows.push_back({"<DLE EOT 07 01>"});
    rows.push_back({"<DLE EOT 08 LF>"});
    rows.push_back({"<DLE ENQ LF>"});
    rows.push_back({"<DLE DC4 07 LF>"});
    rows.push_back({"<DLE DC4 08 01 03 14 01 06 02 08>"});
    rows.push_back({"<DLE DC4 01 00 LF>"});
    rows.push_back({"<DLE DC4 02 01 08>"});
    rows.push_back({"<DLE 41>"});
    // ESC
    fixed("ESC",
          std::string("\x0C"
                      "2<@LSimv"),
          0);
    fixed("ESC", " !%-3=?EGJKMRTUVadertu{", 1);
    fixed("ESC", "$\\", 2);
    fixed("ESC", "p", 3);
    fixed("ESC", "W", 8);
    rows.push_back({"<ESC 63 33 LF>"});
    rows.push_back({"<ESC 63 35 00>"});
    rows.push_back({"<ESC 44 00>"});
    rows.push_back({"<ESC 44 08 10 LF 00>"});
    for (const char* mode : {"00", "01", "21", "48", "05"}) {
        rows.push_back({std::string("<ESC 2A ") + mode + " 00 00>"});
    }
    rows.push_back({"<ESC 2A 00 05 00 LF*5>"});
    rows.push_back({"<ESC 2A 21 05 00 LF*15>"});
    rows.push_back({"<ESC 2A 48 05 00 LF*30>"});
    rows.push_back({"<ESC 2A 21 00 02 LF*1536>"});
    rows.push_back({"<ESC 26 03 41 41 00>"});
    rows.push_back({"<ESC 26 03 41 42 02 LF*6 0C 1B*36>"});
    rows.push_back({"<ESC 26 03 42 41>"});
    rows.push_back({"<ESC 28 41 00 00>"});
    rows.push_back({"<ESC 28 41 02 00 LF 00>"});
    rows.push_back({"<ESC 28 41 00 01 LF*256>"});
    // FS
    fixed("FS", "&.", 0);
    fixed("FS", "!-CW", 1);
    fixed("FS", "S?p", 2);
    rows.push_back({"<FS 32 FE A1 LF*72>"});
    rows.push_back({"<FS 71 00>"});
    rows.push_back({"<FS 71 01 01 00 01 00 LF*8>"});
    rows.push_back({"<FS 71 02 01 00 02 00 LF*16 02 00 01 00 LF*16>"});
    rows.push_back({"<FS 28 41 00 00>"});
    rows.push_back({"<FS 28 41 03 00 LF 0C 00>"});
    rows.push_back({"<FS 67 31 00 00 00 00 00 00 00>"});
    rows.push_back({"<FS 67 31 00 00 00 00 00 03 00 LF*3>"});
    rows.push_back({"<FS 67 31 00 00 00 00 00 00 01 LF*256>"});
    rows.push_back({"<FS 67 32 00 00 00 00 00 40 00>"});
    // GS
    fixed("GS", ":c", 0);
    fixed("GS", "!/BEHITabfhjrw", 1);
    fixed("GS", "$LPW\\", 2);
    fixed("GS", "^", 3);
    rows.push_back({"<GS 7A 30 LF FF>"});
    rows.push_back({"<GS 67 30 00 LF 00>"});
    rows.push_back({"<GS 67 32 00 0A 00>"});
    for (const char* m : {"00", "01", "30", "31"})
        rows.push_back({std::string("<GS 56 ") + m + ">"});
    for (const char* m : {"41", "42", "61", "62", "67", "68"})
        rows.push_back({std::string("<GS 56 ") + m + " LF>"});
    rows.push_back({"<GS 6B 00 30 31 32 00>"});
    rows.push_back({"<GS 6B 02 LF 00>"});
    rows.push_back({"<GS 6B 41 00>"});
    rows.push_back({"<GS 6B 43 0C 34 39 30 31 32 33 34 35 36 37 38 39>"});
    rows.push_back({"<GS 6B 49 ff LF*255>"});
    rows.push_back({"<GS 2A 00 00>"});
    rows.push_back({"<GS 2A 01 01 LF*8>"});
    rows.push_back({"<GS 2A ff 08 LF*16320>"});
    rows.push_back({"<GS 76 30 00 00 00 00 00>"});
    rows.push_back({"<GS 76 30 00 02 00 03 00 LF*6>"});
    rows.push_back({"<GS 76 30 03 30 00 00 01 0A*12288>"});
    rows.push_back({"<GS 28 6B 00 00>"});
    rows.push_back({"<GS 28 6B 03 00 31 43 03>"});
    rows.push_back({"<GS 28 4C ff ff 0A*65535>"});
    rows.push_back({"<GS 38 4C 00 00 00 00>"});
    rows.push_back({"<GS 38 4C 04 00 00 00 LF*4>"});
    rows.push_back({"<GS 38 4C 00 00 02 00 0A*131072>"});
    return rows;
}

// The text around a command, with the spaces that print positions become left out.
std::string TextAround(const std::string& command, int emulation) {
    std::string error;
    std::string bytes = PrinterBytes("before" + command + "after<LF>", &error);
    EXPECT_EQ(error, "") << command;
    std::vector<DecodedLine> lines = DecodeAll(bytes, emulation);
    if (lines.size() != 1 || lines[0].flags != 1)
        return "(" + std::to_string(lines.size()) + " lines)";
    std::string text = lines[0].text;
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    return text;
}

TEST(ReceiptCommands, EveryRowJoinsTheTextAroundIt) {
    for (const RowCase& row : ReceiptRows())
        EXPECT_EQ(TextAround(row.command, kEmulationEscPos), "beforeafter") << row.command;
}

TEST(ReceiptCommands, TheBytesThatLeakedUnderTheDotMatrixTableAreConsumed) {
    // Bold on, bold off, character width, HRI position, justification, drawer kick.
    std::string bytes = PrinterBytes(
        "<ESC 45 01>TOTAL<ESC 45 00>  12.50<LF><GS 77 03 GS 48 00 ESC 4D 00 ESC 70 00 19 FA>NEXT<LF>");
    EXPECT_EQ(DecodeAll(bytes, kEmulationEscPos),
              (std::vector<DecodedLine>{{"TOTAL  12.50", 1}, {"", kLineFlagDrawer}, {"NEXT", 0}}));
    // The dot-matrix emulation stays as it was: ESC E takes nothing, so its 0x00 cuts the line.
    EXPECT_EQ(DecodeAll(bytes, kEmulationEscP).front().text, "\x01TOTAL");
}

TEST(ReceiptCommands, CancelIsDroppedAndTabReachesTheNextStop) {
    std::string bytes = PrinterBytes("A<CAN>B<HT>C<LF>");
    EXPECT_EQ(DecodeAll(bytes, kEmulationEscPos), (std::vector<DecodedLine>{{"AB      C", 1}}));
    EXPECT_EQ(DecodeAll(bytes, kEmulationEscP), (std::vector<DecodedLine>{{"A\x18"
                                                                           "B\tC",
                                                                           1}}));
}

TEST(Emulations, KnowTheirIntroducersOnly) {
    ASSERT_NE(EmulationFor(kEmulationEscP), nullptr);
    ASSERT_NE(EmulationFor(kEmulationTextOnly), nullptr);
    ASSERT_NE(EmulationFor(kEmulationEscPos), nullptr);
    ASSERT_NE(EmulationFor(kEmulationStar), nullptr);
    EXPECT_EQ(EmulationFor(4), nullptr);
    EXPECT_EQ(EmulationFor(-1), nullptr);
    EXPECT_STREQ(EmulationFor(kEmulationEscPos)->name, "ESC/POS");
    for (int c = 0; c < 0x20; ++c) {
        EXPECT_EQ(EmulationFor(kEmulationTextOnly)->introduced[c], nullptr);
    }
    EXPECT_EQ(EmulationFor(kEmulationEscP)->introduced[0x10], nullptr);
}

}  // namespace
