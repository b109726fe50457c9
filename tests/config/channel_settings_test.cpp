#include "config/channel_settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

ChannelConfig Defaults() {
    ChannelConfig record;
    std::strcpy(record.portName, "COM1");
    std::strcpy(record.patternText, "KEEP");
    return record;
}

}  // namespace

TEST(ChannelSettings, NumbersReadLikeTheCLibrary) {
    EXPECT_EQ(ParseDecimalLikeAtoi("  42abc"), 42);
    EXPECT_EQ(ParseDecimalLikeAtoi("-17"), -17);
    EXPECT_EQ(ParseDecimalLikeAtoi("+5"), 5);
    EXPECT_EQ(ParseDecimalLikeAtoi("abc"), 0);
    EXPECT_EQ(ParseDecimalLikeAtoi(""), 0);
    EXPECT_EQ(ParseDecimalLikeAtoi("99999999999999999999"), 2147483647);
    EXPECT_EQ(ParseDecimalLikeAtoi("-99999999999999999999"), -2147483647 - 1);
    EXPECT_EQ(ParseHexLikeScanf("7"), 7u);
    EXPECT_EQ(ParseHexLikeScanf("1ff"), 0x1FFu);
    EXPECT_EQ(ParseHexLikeScanf("0x1F"), 0x1Fu);
    EXPECT_EQ(ParseHexLikeScanf(" Ab"), 0xABu);
    EXPECT_EQ(ParseHexLikeScanf("zz"), 0u);
}

struct ParseCase {
    const char* value;
    int fields;
    int enabled;
    const char* portName;
    int baudRate, parity, dataBits, stopBits, flowControl, emulation, patternFlags;
    const char* patternText;
};

class ChannelValueParsing : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ChannelValueParsing, StoresTokensInFieldOrderAndStopsAtTheFirstMissing) {
    const ParseCase& c = GetParam();
    ChannelConfig record = Defaults();
    EXPECT_EQ(ParseChannelValue(c.value, record), c.fields);
    EXPECT_EQ(record.enabled, c.enabled);
    EXPECT_STREQ(record.portName, c.portName);
    EXPECT_EQ(record.baudRate, c.baudRate);
    EXPECT_EQ(record.parity, c.parity);
    EXPECT_EQ(record.dataBits, c.dataBits);
    EXPECT_EQ(record.stopBits, c.stopBits);
    EXPECT_EQ(record.flowControl, c.flowControl);
    EXPECT_EQ(record.emulation, c.emulation);
    EXPECT_EQ(record.patternFlags, c.patternFlags);
    EXPECT_STREQ(record.patternText, c.patternText);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChannelValueParsing,
    ::testing::Values(ParseCase{"", 0, 0, "COM1", 9600, 0, 8, 0, 0, 0, 0, "KEEP"},
                      ParseCase{"1,COM3", 2, 1, "COM3", 9600, 0, 8, 0, 0, 0, 0, "KEEP"},
                      ParseCase{"1,COM7,19200,2,7,2,7,1,1,THANK YOU", 10, 1, "COM7", 19200, 2, 7, 2, 7, 1, 1,
                                "THANK YOU"},
                      // An empty field yields no token, so everything after it moves one field forward.
                      ParseCase{"1,,9600,0,8,0,0,1,0,abc", 9, 1, "9600", 0, 8, 0, 0, 1, 0, 0, "KEEP"},
                      ParseCase{",,,1,,,COM2", 2, 1, "COM2", 9600, 0, 8, 0, 0, 0, 0, "KEEP"},
                      // A footer with a comma is cut at the comma; an empty footer keeps the old text.
                      ParseCase{"0,COM1,9600,0,8,0,0,0,1,A,B", 10, 0, "COM1", 9600, 0, 8, 0, 0, 0, 1, "A"},
                      ParseCase{"0,COM1,9600,0,8,0,0,0,1,", 9, 0, "COM1", 9600, 0, 8, 0, 0, 0, 1, "KEEP"},
                      ParseCase{"1,COM1,9600,0,8,0,1ff", 7, 1, "COM1", 9600, 0, 8, 0, 0xFF, 0, 0, "KEEP"},
                      ParseCase{"x,COM1,fast,odd", 4, 0, "COM1", 0, 0, 8, 0, 0, 0, 0, "KEEP"}));

TEST(ChannelSettings, LongTextFieldsAreCutTo63) {
    ChannelConfig record = Defaults();
    std::string value = "1," + std::string(100, 'P') + ",9600,0,8,0,0,0,1," + std::string(100, 'F');
    EXPECT_EQ(ParseChannelValue(value.c_str(), record), 10);
    EXPECT_EQ(std::string(record.portName), std::string(63, 'P'));
    EXPECT_EQ(std::string(record.patternText), std::string(63, 'F'));
}

TEST(ChannelSettings, FormatsTheTenFields) {
    ChannelConfig record = Defaults();
    record.enabled = 1;
    record.parity = 2;
    record.dataBits = 7;
    record.flowControl = 0xAB;
    record.emulation = 1;
    record.patternFlags = 1;
    std::strcpy(record.patternText, "A,B");
    char out[256];
    ASSERT_GT(FormatChannelValue(record, out, sizeof out), 0);
    EXPECT_STREQ(out, "1,COM1,9600,2,7,0,ab,1,1,A,B");
    record.patternText[0] = 0;
    FormatChannelValue(record, out, sizeof out);
    EXPECT_STREQ(out, "1,COM1,9600,2,7,0,ab,1,1,");
    EXPECT_EQ(FormatChannelValue(record, out, 5), -1);
}
