#include "platform/paths.h"

#include <gtest/gtest.h>

#include <string>

TEST(Paths, SettingsFileSitsBesideTheExecutable) {
    char out[zamri::kMaxPath];
    ASSERT_EQ(zamri::BuildSettingsPath("C:\\Program Files\\zamri\\zamri.exe", '\\', out, sizeof out), 1);
    EXPECT_STREQ(out, "C:\\Program Files\\zamri\\zamri.ini");
    ASSERT_EQ(zamri::BuildSettingsPath("zamri.exe", '\\', out, sizeof out), 1);
    EXPECT_STREQ(out, "zamri.exe\\zamri.ini");
    ASSERT_EQ(zamri::BuildSettingsPath("/opt/zamri/bin/zamri", '/', out, sizeof out), 1);
    EXPECT_STREQ(out, "/opt/zamri/bin/zamri.ini");
}

TEST(Paths, RecorderFileGetsExactlyOneSeparator) {
    char out[zamri::kMaxPath];
    ASSERT_EQ(zamri::BuildRecorderSettingsPath("C:\\Windows", '\\', out, sizeof out), 1);
    EXPECT_STREQ(out, "C:\\Windows\\ruvo.ini");
    ASSERT_EQ(zamri::BuildRecorderSettingsPath("C:\\", '\\', out, sizeof out), 1);
    EXPECT_STREQ(out, "C:\\ruvo.ini");
}

TEST(Paths, TooLongPathsAreRefusedNotCut) {
    char out[zamri::kMaxPath];
    std::string longPath = "C:\\" + std::string(300, 'd') + "\\zamri.exe";
    EXPECT_EQ(zamri::BuildSettingsPath(longPath.c_str(), '\\', out, sizeof out), 0);
    EXPECT_STREQ(out, "");
}

TEST(Paths, TheRunningProgramHasASettingsPath) {
    char out[zamri::kMaxPath];
    ASSERT_EQ(zamri::DefaultSettingsPath(out, sizeof out), 1);
    std::string path = out;
    EXPECT_EQ(path.substr(path.size() - 10), std::string(1, zamri::kPathSeparator) + "zamri.ini");
}
