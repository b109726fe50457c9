#include "config/settings.h"
#include "program/program.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "channel_table_fixture.h"
#include "platform/profile.h"
#include "serial/serial_capture.h"
#include "support/messages.h"
#include "support/overlay_log.h"
#include "support/temp_dir.h"

using testing_support::OverlayLogFile;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

std::string ReadKey(const std::string& path, const char* section, const char* key) {
    char value[512];
    zamri::ProfileReadText(path.c_str(), section, key, "<missing>", value, sizeof value);
    return value;
}

}  // namespace

TEST_F(ChannelTableTest, DefaultsWithoutASettingsFile) {
    table.LoadSettings();
    for (unsigned i = 0; i < 32; ++i) {
        const ChannelConfig* record = table.GetChannel(i);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->enabled, 0);
        EXPECT_EQ(std::string(record->portName), "COM" + std::to_string(i + 1));
        EXPECT_EQ(record->baudRate, 9600);
        EXPECT_EQ(record->dataBits, 8);
        EXPECT_EQ(record->parity, 0);
        EXPECT_EQ(record->stopBits, 0);
        EXPECT_EQ(record->flowControl, 0);
        EXPECT_EQ(record->readTimeout, 0);
        EXPECT_EQ(record->emulation, 0);
        EXPECT_EQ(record->patternFlags, 0);
        EXPECT_STREQ(record->patternText, "");
    }
    EXPECT_EQ(table.GetTcpPort(), 10000);
    EXPECT_EQ(table.GetChannel(32), nullptr);
    EXPECT_EQ(table.UpdateChannel(32, *table.GetChannel(0)), 0);
}

TEST_F(ChannelTableTest, ShortValuesKeepDefaultsAndEmulationFallsBackToZero) {
    Load("[Channel]\r\n1=1,COM3\r\n2=1,COM9,4800,1,7,2,3,1,1,BYE\r\nPORT=10123\r\n");
    EXPECT_EQ(table.GetChannel(0)->enabled, 1);
    EXPECT_STREQ(table.GetChannel(0)->portName, "COM3");
    EXPECT_EQ(table.GetChannel(0)->baudRate, 9600);
    EXPECT_EQ(table.GetChannel(1)->emulation, 1);
    EXPECT_EQ(table.GetTcpPort(), 10123);

    // A second load of a file without the emulation field gives emulation 0 again.
    Load("[Channel]\r\n2=1,COM9,4800\r\n");
    EXPECT_EQ(table.GetChannel(1)->emulation, 0);
    EXPECT_EQ(table.GetChannel(1)->patternFlags, 1);
    EXPECT_EQ(table.GetTcpPort(), 10000);
}

TEST_F(ChannelTableTest, EveryFieldSurvivesASaveAndALoad) {
    for (int i = 0; i < 32; ++i) {
        ChannelConfig record;
        record.enabled = i % 2;
        std::snprintf(record.portName, sizeof record.portName, "/dev/ttyUSB%d", i);
        record.baudRate = 1200 * (i + 1);
        record.dataBits = 5 + i % 4;
        record.parity = i % 5;
        record.stopBits = i % 3;
        record.flowControl = static_cast<uint8_t>(i % 8);
        record.emulation = i % 2;
        record.patternFlags = (i + 1) % 2;
        std::snprintf(record.patternText, sizeof record.patternText, "THANK YOU %d", i);
        ASSERT_EQ(table.UpdateChannel(static_cast<unsigned>(i), record), 1);
    }
    table.SetTcpPort(12345);
    for (int i = 0; i < 32; ++i)
        table.SaveChannel(i);
    EXPECT_EQ(ReadKey(settings, "Channel", "3"), "0,/dev/ttyUSB2,3600,2,7,2,2,0,1,THANK YOU 2");

    zamri::Program reloadedProgram;

    ChannelTable& reloaded = reloadedProgram.Table();
    reloaded.SetSettingsPath(settings.c_str());
    reloaded.LoadSettings();
    EXPECT_EQ(reloaded.GetTcpPort(), 12345);
    for (unsigned i = 0; i < 32; ++i) {
        const ChannelConfig& a = *table.GetChannel(i);
        const ChannelConfig& b = *reloaded.GetChannel(i);
        EXPECT_EQ(a.enabled, b.enabled);
        EXPECT_STREQ(a.portName, b.portName);
        EXPECT_EQ(a.baudRate, b.baudRate);
        EXPECT_EQ(a.dataBits, b.dataBits);
        EXPECT_EQ(a.parity, b.parity);
        EXPECT_EQ(a.stopBits, b.stopBits);
        EXPECT_EQ(a.flowControl, b.flowControl);
        EXPECT_EQ(a.emulation, b.emulation);
        EXPECT_EQ(a.patternFlags, b.patternFlags);
        EXPECT_STREQ(a.patternText, b.patternText);
    }
}

TEST_F(ChannelTableTest, EverySaveRewritesThePortAndKeepsOtherSections) {
    WriteFileBytes(settings, "[Important]\r\ncount=1\r\n0=TOTAL\r\n");
    table.SaveChannel(4);
    EXPECT_EQ(ReadKey(settings, "Channel", "5"), "0,COM5,9600,0,8,0,0,0,0,");
    EXPECT_EQ(ReadKey(settings, "Channel", "PORT"), "10000");
    table.SetTcpPort(10001);
    table.SaveChannel(0);
    EXPECT_EQ(ReadKey(settings, "Channel", "PORT"), "10001");
    EXPECT_EQ(ReadKey(settings, "Important", "0"), "TOTAL");
    table.SaveChannel(32);  // out of range: nothing written
    EXPECT_EQ(ReadKey(settings, "Channel", "33"), "<missing>");
}

TEST_F(ChannelTableTest, GarbageSettingsFilesLoadWithoutHarm) {
    std::string garbage;
    for (int i = 0; i < 20000; ++i)
        garbage += static_cast<char>((i * 131 + 7) & 0xFF);
    testing_support::MessageRecorder messages;
    Load(garbage);
    // Values and fields too long to hold are refused whole, never cut into another port or
    // footer: those channels stay off, and the rest of the file loads.
    Load("[Channel]\r\n1=" + std::string(5000, ',') + "\r\n2=1," + std::string(64, 'X') + "\r\n" + garbage +
         "\r\n3=" + std::string(4000, '9') + "\r\n4=1,COM9,9600,0,8,0,0,0,1," + std::string(64, 'F') +
         "\r\n5=1,COM5\r\n");
    EXPECT_STREQ(table.GetChannel(0)->portName, "COM1");
    EXPECT_STREQ(table.GetChannel(1)->portName, "COM2");
    EXPECT_EQ(table.GetChannel(1)->enabled, 0);
    EXPECT_EQ(table.GetChannel(2)->enabled, 2147483647);  // 4000 nines, clamped
    EXPECT_STREQ(table.GetChannel(3)->portName, "COM4");
    EXPECT_EQ(table.GetChannel(3)->enabled, 0);
    EXPECT_EQ(table.GetChannel(4)->enabled, 1);
    EXPECT_EQ(messages.Messages(),
              (std::vector<std::string>{
                  "Warning|The value of 1 in [Channel] is longer than 4095 characters and is not used; "
                  "channel 1 stays off.",
                  "Warning|The port name in the value of 2 in [Channel] is longer than 63 characters; "
                  "channel 2 stays off.",
                  "Warning|The footer text in the value of 4 in [Channel] is longer than 63 characters; "
                  "channel 4 stays off."}));
    // The table is still usable and saves cleanly.
    table.SaveChannel(0);
    EXPECT_EQ(ReadKey(settings, "Channel", "1").substr(0, 7), "0,COM1,");
}

TEST_F(ChannelTableTest, MissingOrUnwritableFileIsNotAnError) {
    std::string nowhere = dir.File("no-such-dir") + "/zamri.ini";
    table.SetSettingsPath(nowhere.c_str());
    table.LoadSettings();
    EXPECT_EQ(table.GetTcpPort(), 10000);
    table.SaveChannel(0);  // fails silently
    EXPECT_EQ(ReadKey(nowhere, "Channel", "1"), "<missing>");
}

TEST_F(ChannelTableTest, CodePageAndIdleEndLiveInTheChannelsOwnSection) {
    Load(
        "[Channel]\r\n3=1,COM3,9600,0,8,0,0,3,0,\r\n[Channel 3]\r\nCodePage=858\r\nIdleSeconds=9999\r\n"
        "[Channel 4]\r\nCodePage=720\r\nIdleSeconds=-5\r\n");
    EXPECT_EQ(table.GetChannel(2)->decoding.codePage, 858);
    EXPECT_EQ(table.GetChannel(2)->decoding.idleSeconds, kMaxIdleSeconds);
    EXPECT_EQ(table.GetChannel(3)->decoding.codePage, 720);  // kept as written, reported at capture start
    EXPECT_EQ(table.GetChannel(3)->decoding.idleSeconds, 0);
    EXPECT_EQ(table.GetChannel(0)->decoding.codePage, 0);

    ChannelConfig record = *table.GetChannel(2);
    record.decoding.idleSeconds = 30;
    table.UpdateChannel(2, record);
    for (int i = 0; i < 32; ++i)
        table.SaveChannel(i);
    EXPECT_EQ(ReadKey(settings, "Channel 3", "IdleSeconds"), "30");
    EXPECT_EQ(ReadKey(settings, "Channel 3", "CodePage"), "858");
    // Channels left at the defaults gain no section; a value set back to 0 is written as 0.
    EXPECT_EQ(ReadKey(settings, "Channel 1", "CodePage"), "<missing>");
    record.decoding = DecodingOptions{};
    table.UpdateChannel(2, record);
    table.SaveChannel(2);
    EXPECT_EQ(ReadKey(settings, "Channel 3", "CodePage"), "0");
    EXPECT_EQ(ReadKey(settings, "Channel 3", "IdleSeconds"), "0");
}

TEST_F(ChannelTableTest, CutEndsReceiptIsOnUnlessAPlainZeroTurnsItOff) {
    Load("[Channel 2]\r\nCutEndsReceipt=0\r\n[Channel 3]\r\nCutEndsReceipt=no\r\n");
    EXPECT_EQ(table.GetChannel(0)->decoding.cutEndsReceipt, 1);
    EXPECT_EQ(table.GetChannel(1)->decoding.cutEndsReceipt, 0);
    EXPECT_EQ(table.GetChannel(2)->decoding.cutEndsReceipt, 1);  // a mistyped value keeps it on
    for (int i = 0; i < 32; ++i)
        table.SaveChannel(i);
    EXPECT_EQ(ReadKey(settings, "Channel 1", "CutEndsReceipt"), "<missing>");
    EXPECT_EQ(ReadKey(settings, "Channel 2", "CutEndsReceipt"), "0");
    EXPECT_EQ(ReadKey(settings, "Channel 3", "CutEndsReceipt"), "1");
    ChannelConfig record = *table.GetChannel(1);
    record.decoding.cutEndsReceipt = 1;
    table.UpdateChannel(1, record);
    table.SaveChannel(1);
    EXPECT_EQ(ReadKey(settings, "Channel 2", "CutEndsReceipt"), "1");
    table.LoadSettings();
    EXPECT_EQ(table.GetChannel(1)->decoding.cutEndsReceipt, 1);
    EXPECT_EQ(table.GetChannel(2)->decoding.cutEndsReceipt, 1);
}

TEST_F(ChannelTableTest, SlotIdleSecondsDefaultsToAMinuteAndKeepsWithinItsRange) {
    table.LoadSettings();
    EXPECT_EQ(table.slotIdleSeconds, 60);
    for (const auto& entry : {std::make_pair("5", 5), std::make_pair("0", 0), std::make_pair("-3", 0),
                              std::make_pair("999999", zamri::kMaxSlotIdleSeconds)}) {
        Load(std::string("[Options]\r\nSlotIdleSeconds=") + entry.first + "\r\n");
        EXPECT_EQ(table.slotIdleSeconds, entry.second) << entry.first;
    }
}

TEST(DecodingSettings, RecorderPageAndUnusablePagesAreReportedAndReplaced) {
    TempDir dir;
    std::string settings = dir.File("zamri.ini");
    EXPECT_EQ(zamri::ReadSettings(settings.c_str())->recorderCodePage, 1252);
    WriteFileBytes(settings, "[Options]\r\nRecorderCodePage=1251\r\n");
    EXPECT_EQ(zamri::ReadSettings(settings.c_str())->recorderCodePage, 1251);

    SerialCapture capture;
    capture.Configure("COM7", 9600, 0, 8, 0, 0, 0);
    char problem[256];
    DecodingOptions options;
    options.codePage = 850;
    EXPECT_EQ(capture.SetDecoding(options, 1251, problem, sizeof problem), 1);
    EXPECT_STREQ(problem, "");
    options.codePage = 720;
    EXPECT_EQ(capture.SetDecoding(options, 437, problem, sizeof problem), 0);
    EXPECT_STREQ(problem,
                 "RecorderCodePage=437 is not a Windows code page (874, 1250 to 1258); 1252 is used. "
                 "Code page 720 of COM7 is not supported; the printer's own page is used.");
    EXPECT_EQ(SerialCapture::ReadTimeoutFor(options, 0), 0);
    options.idleSeconds = 5;
    EXPECT_EQ(SerialCapture::ReadTimeoutFor(options, 0), kQuietReportMilliseconds);
    EXPECT_EQ(SerialCapture::ReadTimeoutFor(options, 40), 40);
}
