#include <gtest/gtest.h>

#include <string>

#include "app/app_startup.h"
#include "app/command_line.h"
#include "platform/paths.h"

namespace {

struct ModeCase {
    const char* arguments;
    int mode;
    int property;
};

TEST(CommandLine, WholeTextDecidesModeAndPropertyRequest) {
    const ModeCase cases[] = {
        {"", 0, 0},
        {"/tcp", 1, 0},
        {"/TCP", 1, 0},
        {"/Tcp", 1, 0},
        {"/tcp ", 0, 0},  // trailing blanks stay part of the line
        {" /tcp", 0, 0},  // (the entry has already skipped the blanks after the name)
        {"/tcp /property", 0, 0},
        {"/property /tcp", 0, 0},
        {"x/tcp", 0, 0},
        {"/tc", 0, 0},
        {"/tcpx", 0, 0},
        {"tcp", 0, 0},
        {"/property", 0, 1},
        {"/PROPERTY", 0, 1},
        {"/property ", 0, 0},
        {"/prop", 0, 0},
    };
    for (const ModeCase& c : cases) {
        EXPECT_EQ(c.mode, zamri::ModeFromCommandLine(c.arguments)) << '"' << c.arguments << '"';
        EXPECT_EQ(c.property, zamri::IsPropertyCommandLine(c.arguments)) << '"' << c.arguments << '"';
    }
    EXPECT_EQ(0, zamri::ModeFromCommandLine(nullptr));
}

TEST(CommandLine, ArgumentsFollowTheProgramNameAndItsBlanks) {
    const struct {
        const char* full;
        const char* arguments;
    } cases[] = {
        {"zamri.exe", ""},
        {"zamri.exe /tcp", "/tcp"},
        {"zamri.exe      /TCP", "/TCP"},
        {"zamri.exe \t /tcp", "/tcp"},
        {"zamri.exe /tcp  ", "/tcp  "},
        {"\"C:\\Program Files\\zamri\\zamri.exe\" /property", "/property"},
        {"\"C:\\Program Files\\zamri\\zamri.exe\"", ""},
        {"\"C:\\dir\\zamri.exe\"   /tcp /property", "/tcp /property"},
        {"\"unterminated /tcp", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(c.arguments, zamri::ArgumentsOfCommandLine(c.full)) << c.full;
    }
    // Blanks after the program name are not part of the arguments, so these select TCP mode.
    EXPECT_EQ(1, zamri::ModeFromCommandLine(zamri::ArgumentsOfCommandLine("zamri.exe       /tcp")));
    EXPECT_EQ(0, zamri::ModeFromCommandLine(zamri::ArgumentsOfCommandLine("zamri.exe /tcp /property")));
}

TEST(AppPaths, SettingsBesideTheExecutableAndRecorderFileInTheSystemDirectory) {
    char out[zamri::kMaxPath];
    const struct {
        const char* executable;
        const char* settings;
    } settingsCases[] = {
        {"C:\\Program Files\\zamri\\zamri.exe", "C:\\Program Files\\zamri\\zamri.ini"},
        {"C:\\zamri.exe", "C:\\zamri.ini"},
        {"zamri.exe", "zamri.exe\\zamri.ini"},  // no backslash: the whole path stays
        {"C:\\a.b\\c\\", "C:\\a.b\\c\\zamri.ini"},
    };
    for (const auto& c : settingsCases) {
        ASSERT_EQ(1, zamri::BuildSettingsPath(c.executable, '\\', out, sizeof out));
        EXPECT_STREQ(c.settings, out);
    }
    const struct {
        const char* directory;
        const char* recorder;
    } recorderCases[] = {
        {"C:\\Windows", "C:\\Windows\\ruvo.ini"},
        {"C:\\Windows\\", "C:\\Windows\\ruvo.ini"},  // never two backslashes
        {"C:\\", "C:\\ruvo.ini"},
    };
    for (const auto& c : recorderCases) {
        ASSERT_EQ(1, zamri::BuildRecorderSettingsPath(c.directory, '\\', out, sizeof out));
        EXPECT_STREQ(c.recorder, out);
    }
    // A result that does not fit is refused, not cut.
    std::string deep(300, 'd');
    EXPECT_EQ(0, zamri::BuildSettingsPath(("C:\\" + deep + "\\zamri.exe").c_str(), '\\', out, sizeof out));
    EXPECT_STREQ("", out);
}

TEST(AppPaths, ProcessPathsFollowTheRunningProgramOrTheGivenSettingsFile) {
    ASSERT_EQ(1, zamri::BuildAppPaths(nullptr));
    std::string settings = zamri::ProcessPaths().settings;
    std::string expected = std::string(1, zamri::kPathSeparator) + "zamri.ini";
    ASSERT_GE(settings.size(), expected.size());
    EXPECT_EQ(expected, settings.substr(settings.size() - expected.size()));
    std::string recorder = zamri::ProcessPaths().recorderSettings;
    EXPECT_NE(std::string::npos, recorder.find("ruvo.ini"));

    ASSERT_EQ(1, zamri::BuildAppPaths("other.ini"));
    EXPECT_STREQ("other.ini", zamri::ProcessPaths().settings);
}

}  // namespace
