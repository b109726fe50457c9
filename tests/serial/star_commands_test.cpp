// Star Line Mode and StarPRNT: every row of the command reference between "before" and "after".
// Parameters are printable letters (X = 58, Y = 59, Z = 5A) wherever the row allows, so a command
// that takes too little leaves letters in the text and one that takes too much eats "after";
// counted rows are tried with counts of zero and more, and with LF, FF and ESC inside the data.
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

namespace {

std::string Hex(char c) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(c));
    return hex;
}

std::vector<std::string> StarRows() {
    std::vector<std::string> rows;
    // Every byte of commandBytes after the prefix, with `count` letters.
    auto fixed = [&](const std::string& prefix, const std::string& commandBytes, int count) {
        for (char command : commandBytes) {
            std::string notation = "<" + prefix + " " + Hex(command);
            for (int i = 0; i < count; ++i)
                notation += i % 2 == 0 ? " 58" : " 59";
            rows.push_back(notation + ">");
        }
    };
    fixed("ESC", std::string("@EF45MP:g0pqO\x0E\x14", 15), 0);
    fixed("ESC", "R/ Wh-_azJIlQ%d$N", 1);
    fixed("ESC", "ist\x07", 2);
    rows.insert(rows.end(),
                {
                    "<ESC 43 05>",
                    "<ESC 43 00 05>",  // C n, C NUL n
                    "<ESC 42 31 32 00>",
                    "<ESC 42 00>",
                    "<ESC 44 08 10 00>",
                    "<ESC 44 00>",
                    "<ESC 26 01 00 20>",
                    "<ESC 26 01 01 20 LF*48>",
                    "<ESC 26 01 31 20 58*48>",
                    "<ESC 4B 03 00 58*3>",
                    "<ESC 4C 02 00 LF ESC>",
                    "<ESC 4B 00 00>",
                    "<ESC 6B 02 00 58*48>",
                    "<ESC 58 02 00 58*6>",
                    "<ESC 58 00 01 0C*768>",
                    "<ESC 62 36 32 32 03 31 32 33 1E>",
                    "<ESC 62 34 31 32 03 1E>",  // barcodes to RS
                    "<ESC 72 58*74>",
                    "<ESC 3F LF 00>",
                    "<ESC 06 01>",
                    "<ESC 06 18>",
                    "<ESC 0C 00>",
                    "<ESC 0C 04>",
                    "<ESC 16 30 05>",
                    "<ESC 16 34 05>",
                    "<ESC 0F 05>",
                    "<ESC 0B 05 06>",
                    "<ESC 23 4E 3F 31 32 33 34 LF 00>",
                    "<ESC 23 40 LF 58 LF 00>",  // memory switches
                    // ESC * r
                    "<ESC 2A 72 52>",
                    "<ESC 2A 72 43>",
                    "<ESC 2A 72 53>",
                    "<ESC 2A 72 41 ESC 2A 72 42>",
                    "<ESC 2A 72 44 32 00>",
                    "<ESC 2A 72 45 31 32 00>",
                    "<ESC 2A 72 46 31 00>",
                    "<ESC 2A 72 50 30 00>",
                    "<ESC 2A 72 51 31 00>",
                    "<ESC 2A 72 54 31 00>",
                    "<ESC 2A 72 4B 31 00>",
                    "<ESC 2A 72 59 31 32 00>",
                    "<ESC 2A 72 6D 6C 31 30 00>",
                    "<ESC 2A 72 6D 72 31 30 00>",
                    "<ESC 2A 72 56 31 00>",
                    "<ESC 2A 72 65 31 00>",
                    "<ESC 2A 72 73 30 31 30 00>",
                    "<ESC 2A 72 73 31 32 00>",
                    "<ESC 2A 72 4E 33 00 58 59 5A>",  // N: and n bytes more
                    "<ESC 2A 72 41 62 03 00 58 LF ESC 6B 02 00 58 59 58 59 ESC 2A 72 42>",  // raster data
                    // ESC GS
                    "<ESC GS 74 10>",
                    "<ESC GS 61 31>",
                    "<ESC GS 41 10 00>",
                    "<ESC GS 52 10 00>",
                    "<ESC GS 3D 03 00 58*3>",
                    "<ESC GS 07 01 58 59>",
                    "<ESC GS 19 11 01 58 59>",
                    "<ESC GS 19 12 01 58 59>",
                    "<ESC GS 1A 11 01 58 59>",
                    "<ESC GS 1A 13 01 58 59>",
                    "<ESC GS 03 03 58 59>",
                    "<ESC GS 23 30 4E 58 59 58 59 LF 00>",
                    "<ESC GS 2B 02 01 02 00 58 59 01 01 00 LF>",
                    "<ESC GS 2B 00>",
                    "<ESC GS 63 58 59>",
                    "<ESC GS 67 30 58 59>",
                    "<ESC GS 68 30 58 59 5A>",
                    "<ESC GS 79 53 30 02>",
                    "<ESC GS 79 53 31 58>",
                    "<ESC GS 79 44 31 00 03 00 58 59 5A>",
                    "<ESC GS 79 44 32 02 00 01 00 58 01 02 00 LF ESC>",
                    "<ESC GS 79 50>",
                    "<ESC GS 79 49>",
                    "<ESC GS 78 53 30 02 58 59>",
                    "<ESC GS 78 53 31 02>",
                    "<ESC GS 78 53 33 02>",
                    "<ESC GS 78 44 03 00 58 59 5A>",
                    "<ESC GS 78 50>",
                    "<ESC GS 78 49>",
                    "<ESC GS 2A 30 30 30 33 58 59 5A>",
                    "<ESC GS 2A 31 58*6>",
                    "<ESC GS 2A 32 58*5>",
                    "<ESC GS 2A 57>",
                    "<ESC GS 2A 43>",
                    "<ESC GS 2F 57>",
                    "<ESC GS 2F 43>",
                    "<ESC GS 2F 31 58>",
                    "<ESC GS 2F 36 58>",
                    "<ESC GS 2F 33 02 00 58 59>",
                    "<ESC GS 2F 34 00 00>",
                    "<ESC GS 50 30>",
                    "<ESC GS 50 31>",
                    "<ESC GS 50 38>",
                    "<ESC GS 50 32 58>",
                    "<ESC GS 50 33 58*8>",
                    "<ESC GS 50 34 58 59>",
                    "<ESC GS 50 35 58 59>",
                    "<ESC GS 29 42 02 00 58 59>",
                    "<ESC GS 29 55 02 00 30 00>",
                    "<ESC GS 73 4F 58*9>",
                    "<ESC GS 73 50>",
                    "<ESC GS 73 52 01 02 00 00 58 LF>",
                    "<ESC GS 73 49 00 58*9 31 58*8 FF>",
                    "<ESC GS 73 49 01 FF>",
                    "<ESC GS 73 55 00 02 01 00 00 58 02 00 00 58 59>",
                    "<ESC GS 73 54 58 59 5A>",
                    "<ESC GS 53 01 02 00 02 00 01 58*4>",
                    "<ESC GS 53 01 00 01 03 00 01 LF*768>",
                    "<ESC GS 28 4C 02 00 58 59>",
                    "<ESC GS 28 4C 00 00>",
                    // ESC RS and ESC FS
                    "<ESC 1C 70 01 00>",
                    "<ESC 1C 71 01 01 00 01 00 58*8>",
                    "<ESC 1C 71 00>",
                });
    fixed("ESC 1E", "FdraEcCLRAmi", 1);
    return rows;
}

std::string TextAround(const std::string& command) {
    std::string error;
    std::string bytes = PrinterBytes("before" + command + "after<LF>", &error);
    EXPECT_EQ(error, "") << command;
    std::vector<DecodedLine> lines = DecodeAll(bytes, kEmulationStar);
    if (lines.size() != 1 || lines[0].flags != 1)
        return "(" + std::to_string(lines.size()) + " lines)";
    std::string text = lines[0].text;
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());  // print positions
    return text;
}

TEST(StarCommands, EveryRowJoinsTheTextAroundIt) {
    for (const std::string& row : StarRows())
        EXPECT_EQ(TextAround(row), "beforeafter") << row;
}

TEST(StarCommands, SingleByteControlsNeverReachTheText) {
    // FS, BEL, SUB and EM fire the drawer (each comes out after the line), and FS introduces
    // nothing here.
    EXPECT_EQ(
        DecodeAll(PrinterBytes("A<FS>B<07>C<1A>D<19>E<05 04 17 1E 00 1D 0E 14 0F 12>F<LF>"), kEmulationStar),
        (std::vector<DecodedLine>{{"ABCDEF", 1},
                                  {"", kLineFlagDrawer},
                                  {"", kLineFlagDrawer},
                                  {"", kLineFlagDrawer},
                                  {"", kLineFlagDrawer}}));
    // VT breaks the line as LF does, CAN throws away the line so far, FF ends the receipt.
    EXPECT_EQ(DecodeAll(PrinterBytes("ONE<0B>LOST<CAN>TWO<LF>THREE<FF>"), kEmulationStar),
              (std::vector<DecodedLine>{{"ONE", 1}, {"TWO", 0}, {"THREE", 2}}));
}

TEST(StarCommands, RasterModeTakesBareImageCommandsAndDropsItsData) {
    // Between ESC * r A and ESC * r B a "b" or "k" carries binary data that may hold LF and text.
    std::string raster =
        "<ESC 2A 72 41 ESC 2A 72 51 32 00>b<04 00>AB<LF>Ck<02 00 LF FF>b<00 00><ESC 2A 72 42>";
    EXPECT_EQ(DecodeAll(PrinterBytes("HEAD<LF>" + raster + "TAIL<LF>"), kEmulationStar),
              (std::vector<DecodedLine>{{"HEAD", 1}, {"TAIL", 0}}));
    // Outside raster mode b and k are plain text.
    EXPECT_EQ(DecodeAll(PrinterBytes("bk<LF>"), kEmulationStar), (std::vector<DecodedLine>{{"bk", 1}}));
}

}  // namespace
