// Whole receipts: golden/<name>.receipt (the stream, in the notation of printer_bytes.h, with
// "#! emulation N", "#! footer TEXT", "#! hebrew N", "#! codepage N" and "#! recorder N" lines
// for the settings) against
// golden/<name>.lines (one "flags<TAB>text" line per delivered line, text escaped as the
// overlay record escapes it). Each receipt is decoded in-process and by zamri-replay. A receipt
// with a settings file beside it (golden/<name>.settings, and "#! channel N" for its channel)
// is also replayed as the journal would keep it, against golden/<name>.jsonl.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "config/line_flags.h"
#include "platform/os.h"
#include "platform/overlay_record.h"
#include "support/printer_bytes.h"
#include "support/temp_dir.h"

using testing_support::DecodeAll;
using testing_support::DecodedLine;
using testing_support::PrinterBytes;
using testing_support::ReadFileBytes;

namespace {

namespace fs = std::filesystem;

struct GoldenReceipt {
    std::string name;
    std::string bytes;
    int emulation = 0;
    int patternFlags = 0;
    std::string footer;
    int hebrew = 0;
    int codePage = 0;
    int recorderPage = 1252;
    int channel = 0;
    std::vector<DecodedLine> expected;
};

GoldenReceipt LoadReceipt(const fs::path& receiptPath) {
    GoldenReceipt receipt;
    receipt.name = receiptPath.stem().string();
    std::istringstream in(ReadFileBytes(receiptPath.string()));
    std::string line;
    std::string notation;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind("#! emulation ", 0) == 0) {
            receipt.emulation = std::atoi(line.c_str() + 13);
        } else if (line.rfind("#! footer ", 0) == 0) {
            receipt.patternFlags = 1;
            receipt.footer = line.substr(10);
        } else if (line.rfind("#! hebrew ", 0) == 0) {
            receipt.hebrew = std::atoi(line.c_str() + 10);
        } else if (line.rfind("#! codepage ", 0) == 0) {
            receipt.codePage = std::atoi(line.c_str() + 12);
        } else if (line.rfind("#! recorder ", 0) == 0) {
            receipt.recorderPage = std::atoi(line.c_str() + 12);
        } else if (line.rfind("#! channel ", 0) == 0) {
            receipt.channel = std::atoi(line.c_str() + 11);
        } else if (line.rfind("#", 0) != 0) {
            notation += line;
        }
    }
    std::string error;
    receipt.bytes = PrinterBytes(notation, &error);
    EXPECT_EQ(error, "") << receipt.name;

    fs::path linesPath = receiptPath;
    linesPath.replace_extension(".lines");
    std::istringstream expected(ReadFileBytes(linesPath.string()));
    while (std::getline(expected, line)) {
        size_t tab = line.find('\t');
        if (tab == std::string::npos)
            continue;
        receipt.expected.push_back(
            DecodedLine{zamri::UnescapeText(line.substr(tab + 1)), std::atoi(line.c_str())});
    }
    return receipt;
}

std::vector<GoldenReceipt> LoadAll() {
    std::vector<GoldenReceipt> receipts;
    for (const fs::directory_entry& entry : fs::directory_iterator(ZAMRI_GOLDEN_DIR)) {
        if (entry.path().extension() == ".receipt")
            receipts.push_back(LoadReceipt(entry.path()));
    }
    return receipts;
}

TEST(GoldenReceipts, DecodeToTheirLines) {
    std::vector<GoldenReceipt> receipts = LoadAll();
    ASSERT_GE(receipts.size(), 6u);
    for (const GoldenReceipt& receipt : receipts) {
        EXPECT_FALSE(receipt.expected.empty()) << receipt.name;
        EXPECT_EQ(DecodeAll(receipt.bytes, receipt.emulation, receipt.patternFlags, receipt.footer.c_str(),
                            receipt.hebrew, receipt.codePage, receipt.recorderPage),
                  receipt.expected)
            << receipt.name;
    }
}

TEST(GoldenReceipts, StreamsCutAnywhereNeverYieldALineOverTheLimitNorAnUnexpectedOne) {
    // A receipt whose start was missed (capture began mid-stream) still decodes without harm.
    for (const GoldenReceipt& receipt : LoadAll()) {
        for (size_t cut = 0; cut < receipt.bytes.size(); cut += 7) {
            for (const DecodedLine& line :
                 DecodeAll(receipt.bytes.substr(cut), receipt.emulation, receipt.patternFlags,
                           receipt.footer.c_str(), receipt.hebrew, receipt.codePage, receipt.recorderPage)) {
                EXPECT_LE(line.text.size(), 1023u);
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// zamri-replay, run as support staff run it.

std::string ReplayToolPath() {
    char self[4096];
    int length = zamri::GetExecutablePath(self, sizeof self);
    std::string path(self, static_cast<size_t>(length));
    path = fs::path(path).parent_path().string();
#if defined(_WIN32)
    return path + "\\zamri-replay.exe";
#else
    return path + "/zamri-replay";
#endif
}

std::string RunTool(const std::string& arguments) {
    std::string command = ReplayToolPath() + " " + arguments;
#if defined(_WIN32)
    FILE* pipe = _popen(command.c_str(), "rb");
#else
    FILE* pipe = popen(command.c_str(), "r");
#endif
    if (pipe == nullptr)
        return "<could not start " + command + ">";
    std::string output;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, got);
#if defined(_WIN32)
    _pclose(pipe);
#else
    pclose(pipe);
#endif
    return output;
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string ExpectedRecords(const std::vector<DecodedLine>& lines) {
    std::string records;
    for (const DecodedLine& line : lines) {
        if (line.flags & kLineFlagDrawer)
            continue;  // never reaches the overlay
        records += zamri::FormatWriteRecord(1, 0, line.flags, line.text.c_str());
        records += "\n";
    }
    return records;
}

TEST(ReplayTool, PrintsTheOverlayRecordsOfEveryGoldenReceipt) {
    testing_support::TempDir dir;
    for (const GoldenReceipt& receipt : LoadAll()) {
        std::string input = dir.File(receipt.name + ".bin");
        ASSERT_TRUE(testing_support::WriteFileBytes(input, receipt.bytes));
        std::string arguments = "--emulation " + std::to_string(receipt.emulation) + " --hebrew " +
                                std::to_string(receipt.hebrew);
        if (receipt.patternFlags == 1)
            arguments += " --footer " + Quoted(receipt.footer);
        if (receipt.codePage != 0)
            arguments += " --codepage " + std::to_string(receipt.codePage);
        if (receipt.recorderPage != 1252)
            arguments += " --recorder-codepage " + std::to_string(receipt.recorderPage);
        EXPECT_EQ(RunTool(arguments + " " + Quoted(input)), ExpectedRecords(receipt.expected))
            << receipt.name;
    }
}

TEST(ReplayTool, ReadsStandardInputAndRejectsUnknownEmulations) {
    testing_support::TempDir dir;
    std::string input = dir.File("in.bin");
    ASSERT_TRUE(testing_support::WriteFileBytes(input, PrinterBytes("A<ESC>J<0A>B<LF>C<FF>")));
    EXPECT_EQ(RunTool("- < " + Quoted(input)), ExpectedRecords({{"AB", 1}, {"C", 2}}));
    // The channel's CutEndsReceipt, and drawer commands that never reach the overlay.
    std::string cuts = dir.File("cuts.bin");
    ASSERT_TRUE(testing_support::WriteFileBytes(cuts, PrinterBytes("A<LF><ESC 70 00 19 FA><GS 56 00>B<LF>")));
    EXPECT_EQ(RunTool("--emulation 2 " + Quoted(cuts)), ExpectedRecords({{"A", 1}, {"", 2}, {"B", 1}}));
    EXPECT_EQ(RunTool("--emulation 2 --cut-ends-receipt 0 " + Quoted(cuts)),
              ExpectedRecords({{"A", 1}, {"B", 0}}));
    EXPECT_EQ(RunTool("--emulation 9 " + Quoted(input) + " 2>" + Quoted(dir.File("err.txt"))), "");
    EXPECT_NE(ReadFileBytes(dir.File("err.txt")).find("unknown emulation"), std::string::npos);
    EXPECT_EQ(RunTool("--codepage 720 " + Quoted(input) + " 2>" + Quoted(dir.File("err.txt"))), "");
    EXPECT_NE(ReadFileBytes(dir.File("err.txt")).find("code page 720 is not supported"), std::string::npos);
    EXPECT_EQ(RunTool("--recorder-codepage 850 " + Quoted(input) + " 2>" + Quoted(dir.File("err.txt"))), "");
    EXPECT_NE(ReadFileBytes(dir.File("err.txt")).find("not a Windows code page"), std::string::npos);
}

// Its output may be passed on like the overlay's, so card numbers are masked as capture masks
// them; --no-mask shows the dump's own digits.
TEST(ReplayTool, MasksCardNumbersUnlessAskedNotTo) {
    testing_support::TempDir dir;
    std::string input = dir.File("card.bin");
    ASSERT_TRUE(testing_support::WriteFileBytes(input, "VISA 4111 1111 1111 1111\n"));
    EXPECT_EQ(RunTool(Quoted(input)), ExpectedRecords({{"VISA **** **** **** 1111", 1}}));
    EXPECT_EQ(RunTool("--no-mask " + Quoted(input)), ExpectedRecords({{"VISA 4111 1111 1111 1111", 1}}));
}

// --journal: what the journal would write, with the channel's template, rules, masks and
// filter from the settings file, every record at the time of --start; a rule that does not
// compile is a warning and the rest is used.
TEST(ReplayTool, PrintsTheJournalRecordsOfAGoldenDumpWithItsSettings) {
    testing_support::TempDir dir;
    int replayed = 0;
    for (const GoldenReceipt& receipt : LoadAll()) {
        fs::path settings = fs::path(ZAMRI_GOLDEN_DIR) / (receipt.name + ".settings");
        if (!fs::exists(settings))
            continue;
        ++replayed;
        std::string input = dir.File(receipt.name + ".bin");
        ASSERT_TRUE(testing_support::WriteFileBytes(input, receipt.bytes));
        std::string errors = dir.File(receipt.name + ".err");
        std::string output =
            RunTool("--journal --settings " + Quoted(settings.string()) + " --channel " +
                    std::to_string(receipt.channel) + " --start \"2026-12-08 09:10:00+01:00\" " +
                    Quoted(input) + " 2>" + Quoted(errors));
        fs::path expected = fs::path(ZAMRI_GOLDEN_DIR) / (receipt.name + ".jsonl");
        if (std::getenv("ZAMRI_UPDATE_GOLDEN") != nullptr)
            testing_support::WriteFileBytes(expected.string(), output);
        EXPECT_EQ(output, ReadFileBytes(expected.string())) << receipt.name;
        EXPECT_NE(ReadFileBytes(errors).find("[Rule 2] Match"), std::string::npos) << ReadFileBytes(errors);
    }
    EXPECT_EQ(replayed, 1);
}

TEST(ReplayTool, JournalReplayNeedsItsSettingsAndAChannel) {
    testing_support::TempDir dir;
    std::string input = dir.File("in.bin");
    ASSERT_TRUE(testing_support::WriteFileBytes(input, "TOTAL 1.00\f"));
    std::string errors = Quoted(dir.File("err.txt"));
    struct Case {
        std::string arguments;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"--journal", "--journal needs --settings FILE"},
        {"--journal --settings " + Quoted(dir.File("none.ini")) + " --channel 1",
         "cannot open the settings file"},
        {"--journal --settings x.ini --channel 33", "from 1 to 32"},
        {"--journal --settings x.ini --channel 1 --start \"2026-02-30 10:00:00\"", "--start takes"},
        {"--channel 1", "go with --journal"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RunTool(c.arguments + " " + Quoted(input) + " 2>" + errors), "") << c.arguments;
        EXPECT_NE(ReadFileBytes(dir.File("err.txt")).find(c.message), std::string::npos) << c.arguments;
    }
}

}  // namespace
