// The port settings dialog's rules for network sources: a typed name wins over the list, a
// network source keeps its line settings as stored, and bad entries are named, not stored.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ui/page_rules.h"
#include "ui/port_settings_model.h"

namespace {

ChannelConfig SerialRecord() {
    ChannelConfig record;
    std::strcpy(record.portName, "COM8");
    record.baudRate = 19200;
    record.parity = 2;
    record.flowControl = 5;
    return record;
}

TEST(PortSourceRules, ATypedNetworkNameIsStoredAndTheLineSettingsStayAsTheyWere) {
    ChannelConfig record = SerialRecord();
    PortSelections s = SelectionsForRecord(record, 5);
    s.portText = "printer://9100>192.168.1.50:9100";
    s.baudRate = 0;  // 1200 bps: greyed out for a network source, so never stored
    s.dtrDsr = false;
    s.emulation = FindItemByValue(EmulationItems(), 2);
    StoreSelections(s, 5, record);
    EXPECT_STREQ("printer://9100>192.168.1.50:9100", record.portName);
    EXPECT_EQ(19200, record.baudRate);
    EXPECT_EQ(5, record.flowControl);
    EXPECT_EQ(2, record.emulation);

    // The network name opens with no list item chosen; choosing one again makes it serial.
    PortSelections back = SelectionsForRecord(record, 5);
    EXPECT_EQ(-1, back.port);
    back.port = 2;
    back.baudRate = 0;
    StoreSelections(back, 5, record);
    EXPECT_STREQ("COM3", record.portName);
    EXPECT_EQ(1200, record.baudRate);
}

TEST(PortSourceRules, MalformedNamesAndSendersAreNamedBeforeAnythingIsStored) {
    std::string bad;
    EXPECT_EQ(0, CheckPortEntries("COM3", "", &bad));
    EXPECT_EQ(0, CheckPortEntries("listen://9100", "10.1.0.5 10.1.0.0/24", &bad));
    EXPECT_EQ(1, CheckPortEntries("listen://91000", "", &bad));
    EXPECT_EQ("listen://91000", bad);
    EXPECT_EQ(2, CheckPortEntries("udp://5000", "10.1.0.5 10.1.0.x, 10.2.0.0/40", &bad));
    EXPECT_EQ("10.1.0.x 10.2.0.0/40", bad);
    EXPECT_TRUE(PortIsNetwork("TCP://host:1"));
    EXPECT_FALSE(PortIsNetwork("COM12"));

    // The TCP page: an empty address listens everywhere; a name is no address to listen on.
    EXPECT_EQ(0, CheckTcpSenderRules("", "", &bad));
    EXPECT_EQ(0, CheckTcpSenderRules("192.168.1.10", "192.168.1.0/24", &bad));
    EXPECT_EQ(1, CheckTcpSenderRules("zamri-pc", "", &bad));
    EXPECT_EQ("zamri-pc", bad);
    EXPECT_EQ(2, CheckTcpSenderRules("", "192.168.1.0/24 all", &bad));
    EXPECT_EQ("all", bad);
}

}  // namespace
