// The findings as JSON and as a settings block, and the block read back by the program's own
// settings readers.
#include <gtest/gtest.h>

#include "config/channel_config.h"
#include "config/channel_settings.h"
#include "config/settings.h"
#include "detect/findings_writer.h"
#include "platform/profile.h"
#include "serial/decoding_options.h"
#include "support/temp_dir.h"

namespace {

DetectFindings TapFindings() {
    DetectFindings f;
    f.hasLine = true;
    f.line.verdict = kLineFound;
    f.line.settings = LineSettings{9600, 8, kParityNone, kStopOne};
    f.line.confidence = 0.99;
    f.stream.emulation = 2;
    f.stream.emulationConfidence = 0.98;
    f.stream.codePage = 858;
    f.stream.codePageConfidence = 0.97;
    f.stream.codePageWeighed = 12;
    f.stream.receiptEnd = kReceiptEndCut;
    f.stream.receiptEndConfidence = 0.97;
    f.stream.confidence = 0.97;
    return f;
}

TEST(FindingsJson, OneObjectWithTheSettingsFilesCodes) {
    EXPECT_EQ(
        FindingsJson(TapFindings()),
        "{\"emulation\":2,\"codePage\":858,\"receiptEnd\":\"cut\",\"line\":{\"baud\":9600,\"dataBits\":8,"
        "\"parity\":0,\"stopBits\":0},\"confidence\":0.97}");

    // A file: no line. What was not found is null; a footer is JSON-escaped UTF-8.
    DetectFindings file;
    file.stream.emulation = 3;
    file.stream.codePage = -1;
    file.stream.receiptEnd = kReceiptEndFooter;
    file.stream.footer = "Merci \"\xE0\" \\ bient\xF4t";
    file.stream.confidence = 0.8;
    EXPECT_EQ(FindingsJson(file, 1252),
              "{\"emulation\":3,\"codePage\":null,\"receiptEnd\":\"footer\",\"footer\":\"Merci "
              "\\\"\xC3\xA0\\\" \\\\ "
              "bient\xC3\xB4t\",\"line\":null,\"confidence\":0.80}");

    // A tap whose line was not found: line null and the whole not trusted.
    DetectFindings lost = TapFindings();
    lost.line.verdict = kLineNoFit;
    lost.stream = StreamFinding{};
    EXPECT_EQ(FindingsJson(lost),
              "{\"emulation\":null,\"codePage\":null,\"receiptEnd\":null,\"line\":null,\"confidence\":0.00}");
}

TEST(ChannelBlock, ReadsBackAsTheChannelWasFound) {
    testing_support::TempDir dir;
    std::string ini = dir.File("zamri.ini");

    DetectFindings found = TapFindings();
    found.line.settings = LineSettings{19200, 7, kParityEven, kStopOne};
    found.stream.emulation = 3;
    found.stream.footer = "Vielen Dank";
    std::string block = ChannelBlock(found, 3, "COM3");
    ASSERT_TRUE(testing_support::WriteFileBytes(ini, block));
    char value[kSettingsValueSize];
    zamri::ProfileReadText(ini.c_str(), "Channel", "3", "", value, sizeof value);
    ChannelConfig record;
    EXPECT_EQ(ParseChannelValue(value, record), 10);
    EXPECT_EQ(record.enabled, 1);
    EXPECT_STREQ(record.portName, "COM3");
    EXPECT_EQ(record.baudRate, 19200);
    EXPECT_EQ(record.dataBits, 7);
    EXPECT_EQ(record.parity, kParityEven);
    EXPECT_EQ(record.stopBits, kStopOne);
    EXPECT_EQ(record.emulation, 3);
    // A cut ends nothing in the decoder: the footer before it does.
    EXPECT_EQ(record.patternFlags, 1);
    EXPECT_STREQ(record.patternText, "Vielen Dank");
    DecodingOptions options = zamri::ReadSettings(ini.c_str())->channels[2].decoding;
    EXPECT_EQ(options.codePage, 858);
    EXPECT_EQ(options.idleSeconds, 0);

    // A cut and no repeated footer: the idle end closes receipts.
    DetectFindings cutOnly = TapFindings();
    std::string cutBlock = ChannelBlock(cutOnly, 1, "COM1");
    EXPECT_NE(cutBlock.find("1=1,COM1,9600,0,8,0,0,2,0,\n"), std::string::npos) << cutBlock;
    EXPECT_NE(cutBlock.find("[Channel 1]\nCodePage=858\nIdleSeconds=5\n"), std::string::npos) << cutBlock;

    // A file, nothing about its port or line: defaults and comments saying so; a form feed needs
    // no [Channel N] section when the page is the printer's own.
    DetectFindings file;
    file.stream.emulation = 1;
    file.stream.codePage = 0;
    file.stream.receiptEnd = kReceiptEndFormFeed;
    EXPECT_EQ(ChannelBlock(file, 2, ""),
              "[Channel]\n; the port is not known: set it\n2=1,COM1,9600,0,8,0,0,1,0,\n");
}

TEST(FindingsText, SaysWhatWasFoundAndWhatNot) {
    std::string text = FindingsText(TapFindings());
    EXPECT_NE(text.find("line settings: 9600 8N1 (99% sure)"), std::string::npos) << text;
    EXPECT_NE(text.find("printer language: ESC/POS (98% sure)"), std::string::npos) << text;
    EXPECT_NE(text.find("code page: PC858"), std::string::npos) << text;
    EXPECT_NE(text.find("receipts end with: cut"), std::string::npos) << text;
    DetectFindings nothing;
    nothing.hasLine = true;
    nothing.line.verdict = kLineSilent;
    nothing.line.summary = "nothing came";
    text = FindingsText(nothing);
    EXPECT_NE(text.find("line settings: not found\n  nothing came"), std::string::npos) << text;
    EXPECT_NE(text.find("printer language: not sure"), std::string::npos) << text;
}

}  // namespace
