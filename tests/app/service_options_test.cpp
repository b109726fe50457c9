#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/dump_ports.h"
#include "app/service_options.h"

namespace {

zamri::ServiceOptions Parse(std::vector<const char*> args, int* ok) {
    args.insert(args.begin(), "zamri");
    zamri::ServiceOptions options;
    *ok = zamri::ParseServiceOptions(static_cast<int>(args.size()), args.data(), options);
    return options;
}

TEST(ServiceOptions, ModeSettingsHelpAndVersion) {
    const struct {
        std::vector<const char*> args;
        int ok;
        int mode;
        const char* settings;
        int help;
        int version;
    } cases[] = {
        {{}, 1, 0, "", 0, 0},
        {{"/tcp"}, 1, 1, "", 0, 0},
        {{"/TCP"}, 1, 1, "", 0, 0},
        {{"--tcp"}, 1, 1, "", 0, 0},
        {{"--settings", "/tmp/a.ini", "/tcp"}, 1, 1, "/tmp/a.ini", 0, 0},
        {{"--settings=/tmp/b.ini"}, 1, 0, "/tmp/b.ini", 0, 0},
        {{"--help"}, 1, 0, "", 1, 0},
        {{"-h", "--tcp"}, 1, 1, "", 1, 0},
        {{"--version"}, 1, 0, "", 0, 1},
        {{"--settings"}, 0, 0, "", 0, 0},
        {{"--settings="}, 0, 0, "", 0, 0},
        {{"--TCP"}, 0, 0, "", 0, 0},
        {{"/property"}, 0, 0, "", 0, 0},
        {{"serial"}, 0, 0, "", 0, 0},
    };
    for (const auto& c : cases) {
        int ok = -1;
        zamri::ServiceOptions options = Parse(c.args, &ok);
        std::string shown;
        for (const char* a : c.args)
            shown += std::string(a) + " ";
        EXPECT_EQ(c.ok, ok) << shown;
        if (ok != 1) {
            EXPECT_STRNE("", options.error) << shown;
            continue;
        }
        EXPECT_EQ(c.mode, options.mode) << shown;
        EXPECT_STREQ(c.settings, options.settings) << shown;
        EXPECT_EQ(c.help, options.showHelp) << shown;
        EXPECT_EQ(c.version, options.showVersion) << shown;
    }
}

TEST(ServiceOptions, OverlongSettingsPathIsRefused) {
    std::string path(400, 'p');
    int ok = -1;
    zamri::ServiceOptions options = Parse({"--settings", path.c_str()}, &ok);
    EXPECT_EQ(0, ok);
    EXPECT_STREQ("", options.settings);
}

TEST(DumpPorts, OnlyEnabledRecordsAmongTheFirstSixteenInRecordOrder) {
    ChannelConfig records[kChannelCount];
    for (int i = 0; i < kChannelCount; ++i)
        snprintf(records[i].portName, kChannelTextSize, "COM%d", i + 1);
    zamri::DumpPortList list;
    EXPECT_EQ(0, zamri::ListDumpPorts(records, list));

    records[2].enabled = 1;
    records[0].enabled = 2;  // any non-zero value counts
    records[15].enabled = 1;
    records[16].enabled = 1;  // beyond the connection page
    records[31].enabled = 1;
    ASSERT_EQ(3, zamri::ListDumpPorts(records, list));
    EXPECT_STREQ("COM1", list.names[0]);
    EXPECT_STREQ("COM3", list.names[1]);
    EXPECT_STREQ("COM16", list.names[2]);

    for (int i = 0; i < kChannelCount; ++i)
        records[i].enabled = 1;
    std::memset(records[4].portName, 'x', kChannelTextSize);  // an unterminated name stays in bounds
    ASSERT_EQ(16, zamri::ListDumpPorts(records, list));
    EXPECT_EQ(std::string(kChannelTextSize - 1, 'x'), list.names[4]);
}

}  // namespace
