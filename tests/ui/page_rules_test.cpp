#include "ui/page_rules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ui/port_settings_model.h"

namespace {

ChannelConfig Record(const char* port, int baud, int dataBits, int parity, int stopBits, int flow,
                     int emulation) {
    ChannelConfig record;
    std::snprintf(record.portName, sizeof record.portName, "%s", port);
    record.baudRate = baud;
    record.dataBits = dataBits;
    record.parity = parity;
    record.stopBits = stopBits;
    record.flowControl = static_cast<uint8_t>(flow);
    record.emulation = emulation;
    return record;
}

}  // namespace

TEST(PortSettings, ListsHoldWhatTheDialogOffers) {
    auto ports = PortNameItems();
    ASSERT_EQ(ports.size(), 24u);
    EXPECT_EQ(ports.front().text, "COM1");
    EXPECT_EQ(ports.back().text, "COM24");
    auto bauds = BaudRateItems();
    ASSERT_EQ(bauds.size(), 9u);
    EXPECT_EQ(bauds[3].text, "9600 bps");
    EXPECT_EQ(bauds[8].value, 115200);
    EXPECT_EQ(DataBitsItems().size(), 4u);
    EXPECT_EQ(StopBitsItems()[1].text, "1.5");
    // Sorted by text, so positions are not codes: selection and storage go by value.
    auto emulations = EmulationItems();
    ASSERT_EQ(emulations.size(), 4u);
    EXPECT_EQ(emulations[1].text, "ESC/POS");
    EXPECT_EQ(emulations[1].value, 2);
    EXPECT_EQ(emulations[2].text, "Star");
    EXPECT_EQ(emulations[2].value, 3);
    EXPECT_EQ(SelectionsForRecord(Record("COM1", 9600, 8, 0, 0, 0, 2), 5).emulation, 1);
    EXPECT_EQ(SelectionsForRecord(Record("COM1", 9600, 8, 0, 0, 0, 1), 5).emulation, 3);
}

TEST(PortSettings, RecordsSelectTheirItems) {
    PortSelections s = SelectionsForRecord(Record("com12", 19200, 7, 2, 1, 5, 1), 5);
    EXPECT_EQ(s.port, 11);  // case is ignored
    EXPECT_EQ(s.baudRate, 5);
    EXPECT_EQ(s.dataBits, 2);
    EXPECT_EQ(s.parity, 2);
    EXPECT_EQ(s.stopBits, 1);   // "1.5"
    EXPECT_EQ(s.emulation, 3);  // "Text Only"
    EXPECT_TRUE(s.dtrDsr);
    EXPECT_FALSE(s.rtsCts);
    EXPECT_TRUE(s.xonXoff);

    s = SelectionsForRecord(Record("COM1", 9600, 8, 0, 0, 0, 0), 5);
    EXPECT_EQ(s.port, 0);
    EXPECT_EQ(s.stopBits, 0);  // "1", not "1.5"

    s = SelectionsForRecord(Record("/dev/ttyUSB0", 300, 9, 7, 3, 0, 9), 5);
    EXPECT_EQ(s.port, -1);
    EXPECT_EQ(s.baudRate, -1);
    EXPECT_EQ(s.dataBits, -1);
    EXPECT_EQ(s.parity, -1);
    EXPECT_EQ(s.stopBits, -1);
    EXPECT_EQ(s.emulation, -1);
}

TEST(PortSettings, OkStoresSelectionsAndKeepsWhatNoListShows) {
    ChannelConfig record = Record("/dev/ttyUSB0", 300, 8, 0, 0, 0xF8, 0);
    PortSelections s = SelectionsForRecord(record, 5);
    s.dataBits = 2;  // "7"
    s.parity = 4;
    s.rtsCts = true;
    StoreSelections(s, 5, record);
    EXPECT_STREQ(record.portName, "/dev/ttyUSB0");
    EXPECT_EQ(record.baudRate, 300);
    EXPECT_EQ(record.dataBits, 7);
    EXPECT_EQ(record.parity, 4);
    EXPECT_EQ(record.flowControl, 0xFA);  // bits 3-7 kept, RTS/CTS set

    s.port = 2;
    s.baudRate = 8;
    s.stopBits = 2;
    s.emulation = 1;  // "ESC/POS"
    s.dtrDsr = s.rtsCts = s.xonXoff = false;
    StoreSelections(s, 5, record);
    EXPECT_STREQ(record.portName, "COM3");
    EXPECT_EQ(record.baudRate, 115200);
    EXPECT_EQ(record.stopBits, 2);
    EXPECT_EQ(record.emulation, 2);
    EXPECT_EQ(record.flowControl, 0xF8);
}

TEST(FilterPage, CaseOnlyChangesCountAsUnchanged) {
    char a[] = "Total";
    char b[] = "void";
    char* stored[] = {a, b, nullptr};
    EXPECT_TRUE(FilterListUnchanged(stored, 2, {"TOTAL", "Void"}));
    EXPECT_FALSE(FilterListUnchanged(stored, 2, {"TOTAL"}));
    EXPECT_FALSE(FilterListUnchanged(stored, 2, {"void", "Total"}));
    EXPECT_FALSE(FilterListUnchanged(stored, 2, {"TOTAL", ""}));
    EXPECT_TRUE(FilterListUnchanged(nullptr, 0, {}));
    EXPECT_FALSE(FilterListUnchanged(nullptr, 0, {""}));
}

TEST(FilterPage, BuiltArraysAreCutAndTerminated) {
    char** array = BuildFilterArray({"a", "", std::string(kFilterEntryMaxLength + 40, 'x')});
    ASSERT_NE(array, nullptr);
    EXPECT_STREQ(array[0], "a");
    EXPECT_STREQ(array[1], "");
    EXPECT_EQ(std::strlen(array[2]), static_cast<size_t>(kFilterEntryMaxLength));
    EXPECT_EQ(array[3], nullptr);
    for (int i = 0; i < 3; ++i)
        delete[] array[i];
    delete[] array;
}

TEST(FilterPage, TheFirstMaskThatDoesNotCompileIsNamed) {
    std::string message;
    EXPECT_EQ(FirstBadMask({"MEMBER *", "re:TEL (\\d+)"}, &message), -1);
    EXPECT_EQ(FirstBadMask({"MEMBER *", "re:(TEL", ""}, &message), 1);
    EXPECT_EQ(message.rfind("The mask \"re:(TEL\" is not a valid regular expression", 0), 0u) << message;
}

TEST(PatternDialog, FooterNeedsATextFormFeedKeepsIt) {
    ChannelConfig record;
    std::strcpy(record.patternText, "OLD");
    record.patternFlags = 0;
    EXPECT_EQ(ApplyPatternChoice(false, "", record), 0);
    EXPECT_EQ(record.patternFlags, 0);
    EXPECT_STREQ(record.patternText, "OLD");

    EXPECT_EQ(ApplyPatternChoice(true, "THANK YOU", record), 1);
    EXPECT_EQ(record.patternFlags, 0);
    EXPECT_STREQ(record.patternText, "THANK YOU");

    EXPECT_EQ(ApplyPatternChoice(false, std::string(80, 'F').c_str(), record), 1);
    EXPECT_EQ(record.patternFlags, 1);
    EXPECT_EQ(std::string(record.patternText), std::string(62, 'F'));
}

TEST(TcpPage, OnlyPortsFrom1To65535AreAccepted) {
    int port = -1;
    EXPECT_EQ(ParseTcpPortText("10000", &port), 1);
    EXPECT_EQ(port, 10000);
    EXPECT_EQ(ParseTcpPortText(" 65535 ", &port), 1);
    EXPECT_EQ(port, 65535);
    EXPECT_EQ(ParseTcpPortText("1", &port), 1);
    for (const char* bad : {"0", "65536", "", "abc", "12a", "-5", "99999999999999999999", "1 2"}) {
        EXPECT_EQ(ParseTcpPortText(bad, &port), 0) << bad;
    }
}

TEST(AboutPage, VersionTextIsNeverUsedAsAFormat) {
    EXPECT_EQ(VersionLine("Version"), "Version 1.3.0.0 ");
    EXPECT_EQ(VersionLine("100% %s %n"), "100% %s %n 1.3.0.0 ");
}

TEST(PortSettings, CodePageAndIdleEndRoundTripAndKeepWhatTheDialogCannotShow) {
    auto pages = CodePageItems("As the printer ships", "None");
    EXPECT_EQ(pages[0].text, "As the printer ships");
    EXPECT_EQ(pages[0].value, 0);
    EXPECT_EQ(pages[1].value, -1);
    ChannelConfig record = Record("COM1", 9600, 8, 0, 0, 0, 3);
    record.decoding.codePage = 850;
    record.decoding.idleSeconds = 20;
    PortSelections s = SelectionsForRecord(record, 5);
    ASSERT_GT(s.codePage, 0);
    EXPECT_EQ(pages[static_cast<size_t>(s.codePage)].text, "PC850 Multilingual");
    EXPECT_EQ(s.idleSeconds, 20);
    s.codePage = 0;
    s.idleSeconds = ParseIdleSeconds(" 45 ", 20);
    StoreSelections(s, 5, record);
    EXPECT_EQ(record.decoding.codePage, 0);
    EXPECT_EQ(record.decoding.idleSeconds, 45);
    // A page written into the settings file by hand that the list lacks survives an OK.
    record.decoding.codePage = 720;
    s = SelectionsForRecord(record, 5);
    EXPECT_EQ(s.codePage, -1);
    StoreSelections(s, 5, record);
    EXPECT_EQ(record.decoding.codePage, 720);
    EXPECT_EQ(ParseIdleSeconds("abc", 7), 7);
    EXPECT_EQ(ParseIdleSeconds("", 7), 7);
    EXPECT_EQ(ParseIdleSeconds("99999", 7), kMaxIdleSeconds);
}
