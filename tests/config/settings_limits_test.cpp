// Every key that holds a list is read whole up to the settings limit and refused, never cut,
// beyond it; natively and under wine, where the Windows profile functions do the reading.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channel_table_fixture.h"
#include "config/channel_settings.h"
#include "config/settings.h"
#include "mask/mask_set.h"
#include "net/allowed_senders.h"
#include "net/socket_address.h"
#include "platform/profile.h"
#include "program/program.h"
#include "support/messages.h"
#include "support/temp_dir.h"
#include "web/web_options.h"

using testing_support::MessageRecorder;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

const int kLimit = zamri::kMaxSettingsValueLength;

// Allowed senders, exactly length characters, the last one 10.20.30.40/32: one character less
// and it would end in "/3", which admits 0.0.0.0/3.
std::string SenderList(size_t length) {
    const std::string last = "10.20.30.40/32";
    std::string list;
    for (int n = 1; list.size() + 20 + last.size() <= length; ++n)
        list += "192.168.7." + std::to_string(n % 250) + "/32 ";
    list.append(length - list.size() - last.size(), ' ');
    return list + last;
}

AllowedSenders Parsed(const char* text) {
    AllowedSenders senders;
    senders.Parse(text);
    return senders;
}

// The web page's part of the settings, with the warnings that reading them shows.
zamri::WebOptions WebOptionsOf(const std::string& path) {
    std::shared_ptr<const zamri::Settings> settings = zamri::ReadSettings(path.c_str());
    zamri::ReportSettingsProblems(*settings);
    return zamri::WebOptionsFrom(*settings);
}

// The table's settings tests, each with the warnings it shows.
class SettingsLimitsTest : public ChannelTableTest {
  protected:
    MessageRecorder messages;
};

}  // namespace

TEST_F(SettingsLimitsTest, SenderListsAreReadWholeAndAnOverlongOneAdmitsNobody) {
    const std::string list = SenderList(256);
    const std::string overlong = SenderList(kLimit + 1);
    ASSERT_EQ(list.size(), 256u);
    ASSERT_EQ(overlong.size(), static_cast<size_t>(kLimit) + 1);
    Load("[Options]\r\nAllowedSenders=" + list + "\r\n[Channel 5]\r\nAllowedSenders=" + list +
         "\r\n[Channel 6]\r\nAllowedSenders=" + overlong +
         "\r\n[Channel 7]\r\nAllowedSenders=" + SenderList(kLimit) + "\r\n");
    EXPECT_EQ(table.tcpAllowedSenders, list);
    EXPECT_EQ(table.GetChannel(4)->allowedSenders, list);
    EXPECT_EQ(table.GetChannel(6)->allowedSenders, SenderList(kLimit));
    for (const char* text : {table.tcpAllowedSenders, table.GetChannel(4)->allowedSenders}) {
        AllowedSenders senders = Parsed(text);
        EXPECT_TRUE(senders.Allows("10.20.30.40"));
        EXPECT_FALSE(senders.Allows("10.1.2.3"));  // inside 0.0.0.0/3
    }
    AllowedSenders refused = Parsed(table.GetChannel(5)->allowedSenders);
    EXPECT_TRUE(refused.Restricts());
    EXPECT_FALSE(refused.Allows("10.20.30.40"));
    EXPECT_FALSE(refused.Allows("192.168.7.1"));
    EXPECT_EQ(
        messages.Messages(),
        (std::vector<std::string>{"Warning|The value of AllowedSenders in [Channel 6] is longer than 4095 "
                                  "characters and is not used; no sender may connect to channel 6 until it "
                                  "is shortened."}));

    // Saving writes the whole lists back and leaves the refused one in the file to be shortened.
    for (int i = 0; i < kChannelCount; ++i)
        table.SaveChannel(i);
    table.SaveTcpSenderRules();
    std::string file = ReadFileBytes(settings);
    EXPECT_NE(file.find("AllowedSenders=" + overlong + "\r\n"), std::string::npos);
    EXPECT_EQ(file.find(kRefusedSettingText), std::string::npos);
    std::string value;
    EXPECT_EQ(zamri::ProfileReadValue(settings.c_str(), "Channel 5", "AllowedSenders", &value), 1);
    EXPECT_EQ(value, list);
}

TEST_F(SettingsLimitsTest, RefusedTcpRulesNeitherAdmitEveryoneNorListenEverywhere) {
    Load("[Channel]\r\n1=1,COM3\r\n[Options]\r\nListenAddress=192.168.100.1001\r\nAllowedSenders=" +
         SenderList(kLimit + 1) + "\r\n[Important]\r\ncount=1\r\n0=TOTAL\r\n");
    EXPECT_STREQ(table.tcpListenAddress, kRefusedSettingText);
    sockaddr_in address;
    EXPECT_FALSE(
        zamri::SocketFillAddress(table.tcpListenAddress, 10000, &address));  // the server cannot bind it
    AllowedSenders senders = Parsed(table.tcpAllowedSenders);
    EXPECT_TRUE(senders.Restricts());
    EXPECT_FALSE(senders.Allows("10.20.30.40"));
    EXPECT_EQ(messages.Messages().size(), 2u);
    EXPECT_EQ(messages.Messages().at(0),
              "Warning|The value of ListenAddress in [Options] is longer than 15 characters and is not used; "
              "the TCP server does not start until it is corrected.");
    // The rest of the file loads.
    EXPECT_STREQ(table.GetChannel(0)->portName, "COM3");
    int count = 0;
    char** list = nullptr;
    table.GetFilterList(kFilterImportant, &count, &list);
    EXPECT_EQ(count, 1);
}

TEST_F(SettingsLimitsTest, ListEntriesAreReadWholeAndAnOverlongOneIsLeftOut) {
    const std::string entry = std::string(290, '=') + " SUBTOTAL";
    const std::string overlong(kLimit + 1, 'x');
    Load("[Important]\r\ncount=2\r\n0=" + entry + "\r\n1=" + overlong +
         "\r\n[Ignore]\r\ncount=2\r\n0=" + overlong + "\r\n1=VOID\r\n[Mask]\r\ncount=3\r\n0=" + overlong +
         "\r\n1=TEL *\r\n2=re:" + std::string(300, 'a') + "\r\n");
    int count = 0;
    char** list = nullptr;
    table.GetFilterList(kFilterImportant, &count, &list);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(list[0], entry);
    table.GetFilterList(kFilterIgnore, &count, &list);
    ASSERT_EQ(count, 1);
    EXPECT_STREQ(list[0], "VOID");
    MaskSettings masks = program.Delivery().GetMaskSettings();
    EXPECT_EQ(masks.patterns, (std::vector<std::string>{"TEL *", "re:" + std::string(300, 'a')}));
    std::vector<std::string> shown = messages.Messages();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0],
              "Warning|The value of 1 in [Important] is longer than 4095 characters and is not used.");
    EXPECT_EQ(shown[1], "Warning|The value of 0 in [Ignore] is longer than 4095 characters and is not used.");
    EXPECT_EQ(shown[2], "Warning|The value of 0 in [Mask] is longer than 4095 characters and is not used.");
    // A mask has its own, shorter limit: read whole, it is refused by name, not cut into another.
    EXPECT_NE(shown[3].find("is longer than 255 characters"), std::string::npos);
}

TEST_F(SettingsLimitsTest, AnOverlongPasswordKeepsThePageOffRatherThanOpen) {
    const std::string fits(sizeof(zamri::WebOptions{}.password) - 1, 'p');
    WriteFileBytes(settings,
                   "[Options]\r\nHttpPort=8080\r\nHttpAddress=0.0.0.0\r\nHttpPassword=" + fits + "\r\n");
    zamri::WebOptions options = WebOptionsOf(settings);
    EXPECT_EQ(options.port, 8080);
    EXPECT_EQ(options.password, fits);
    WriteFileBytes(settings,
                   "[Options]\r\nHttpPort=8080\r\nHttpAddress=0.0.0.0\r\nHttpPassword=" + fits + "p\r\n");
    options = WebOptionsOf(settings);
    EXPECT_EQ(options.port, 0);
    EXPECT_EQ(messages.Messages(),
              (std::vector<std::string>{
                  "Warning|The value of HttpPassword in [Options] is longer than 127 characters "
                  "and is not used; the web page is off."}));
}
