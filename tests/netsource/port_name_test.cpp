// Network port names: what parses, into what, and what is refused.
#include <gtest/gtest.h>

#include <string>

#include "net/port_name.h"

namespace {

struct NameCase {
    const char* text;
    NetworkKind kind;
    const char* listenAddress;
    int listenPort;
    const char* host;
    int hostPort;
};

TEST(PortName, WellFormedNamesParseIntoTheirParts) {
    const NameCase cases[] = {
        {"tcp://192.168.1.20:4001", NetworkKind::kConnect, "", 0, "192.168.1.20", 4001},
        {"TCP://printer-3.shop.lan:9100", NetworkKind::kConnect, "", 0, "printer-3.shop.lan", 9100},
        {"listen://9100", NetworkKind::kListen, "", 9100, "", 0},
        {"listen://10.0.0.5:65535", NetworkKind::kListen, "10.0.0.5", 65535, "", 0},
        {"printer://9100>192.168.1.50:9100", NetworkKind::kPrinter, "", 9100, "192.168.1.50", 9100},
        {"Printer://0.0.0.0:9101>epson:9100", NetworkKind::kPrinter, "0.0.0.0", 9101, "epson", 9100},
        {"udp://5000", NetworkKind::kDatagram, "", 5000, "", 0},
        {"udp://127.0.0.1:1", NetworkKind::kDatagram, "127.0.0.1", 1, "", 0},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_TRUE(IsNetworkPortName(c.text));
        NetworkPortName parsed;
        ASSERT_EQ(1, ParseNetworkPortName(c.text, &parsed));
        EXPECT_EQ(c.kind, parsed.kind);
        EXPECT_STREQ(c.listenAddress, parsed.listenAddress);
        EXPECT_EQ(c.listenPort, parsed.listenPort);
        EXPECT_STREQ(c.host, parsed.host);
        EXPECT_EQ(c.hostPort, parsed.hostPort);
    }
}

TEST(PortName, MalformedNetworkNamesAreRefusedAndNeverTakenForSerialPorts) {
    const char* cases[] = {"tcp://",
                           "tcp://host",
                           "tcp://host:",
                           "tcp://:9100",
                           "tcp://host:0",
                           "tcp://host:65536",
                           "tcp://host:91OO",
                           "tcp://ho st:9100",
                           "tcp://host:9100 ",
                           "tcp://-host:1",
                           "tcp://a..b:1",
                           "tcp://300.1.1.1:1",
                           "tcp://1.2.3:1",
                           "listen://",
                           "listen://host:9100",
                           "listen://1.2.3.4:",
                           "listen://1.2.3.4:5:6",
                           "listen://+9100",
                           "printer://9100",
                           "printer://9100>",
                           "printer://>h:1",
                           "printer://9100>h",
                           "udp://0",
                           "udp://1.2.3.4.5:1",
                           "listen://0000000000000000000000000000000000000000000000000000009100"};
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        EXPECT_TRUE(IsNetworkPortName(text));
        NetworkPortName parsed;
        EXPECT_EQ(0, ParseNetworkPortName(text, &parsed));
        EXPECT_EQ(NetworkKind::kNone, parsed.kind);
    }
    for (const char* serial : {"COM3", "/dev/ttyUSB0", "ttyS1", "tcp:/x:1", "udp:5000", ""}) {
        SCOPED_TRACE(serial);
        EXPECT_FALSE(IsNetworkPortName(serial));
    }
}

}  // namespace
