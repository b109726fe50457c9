#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/langpack.h"
#include "platform/langpack_english.h"
#include "platform/langpack_english_file.h"
#include "platform/os.h"
#include "platform/paths.h"
#include "support/temp_dir.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFileBytes;

class LangPackTest : public ::testing::Test {
  protected:
    void SetUp() override { pack.UseBuiltInTexts(); }
    std::string Text(const char* key, const char* section) { return pack.LoadText(key, section); }
    bool Has(const char* key, const char* section) {
        char buffer[260];
        return pack.LoadText(buffer, sizeof buffer, key, section) != nullptr;
    }
    int LoadFile(const std::string& content) {
        std::string path = dir.File("zamri.lng");
        EXPECT_TRUE(WriteFileBytes(path, content));
        return pack.LoadLanguageFile(path.c_str());
    }

    TempDir dir;
    LangPack pack{"zamri"};
};

// Every key and section that a window of the program asks for.
const struct {
    const char* section;
    const char* keys;
} kWindowTexts[] = {
    {nullptr, "title version properties"},
    {"Menu", "properties binarydump binarydumpstop exit"},
    {"file open", "title"},
    {"connection page",
     "title comment ch1 ch2 ch3 ch4 ch5 ch6 ch7 ch8 ch9 ch10 ch11 ch12 ch13 ch14 ch15 ch16"},
    {"portconfig page",
     "title portname baudrate databits parity stopbits flowcontrol dtrdsr rtscts xonxoff printer emulation "
     "ok "
     "pattern setting none odd even mark space"},
    {"pattern dlg", "pattern_title formfeed footer ok cancel emptyfooter warn"},
    {"filter page", "title important_text ignore_text add delete goods sentence new_item"},
    {"TCP_CONFIG_PAGE",
     "TITLE PORT_SATIC PORT_BTN CAMERA_GRB PATTERN_GRB FF_RD FOOT_RD CAMERA_NAME FILL_FOOTER"},
    {"about page", "title"},
};

template <typename Check>
void ForEachWindowText(Check check) {
    for (const auto& window : kWindowTexts) {
        std::string keys = window.keys;
        size_t start = 0;
        while (start < keys.size()) {
            size_t end = keys.find(' ', start);
            if (end == std::string::npos)
                end = keys.size();
            check(window.section, keys.substr(start, end - start));
            start = end + 1;
        }
    }
}

// Built in, so the program works without a language file.
TEST_F(LangPackTest, BuiltInEnglishCoversEveryWindow) {
    ForEachWindowText([this](const char* section, const std::string& key) {
        EXPECT_TRUE(Has(key.c_str(), section)) << (section ? section : "(general)") << " / " << key;
        EXPECT_FALSE(Text(key.c_str(), section).empty()) << key;
    });
    EXPECT_EQ("E&xit", Text("exit", "Menu"));
    EXPECT_EQ("Version", Text("version", nullptr));
}

TEST_F(LangPackTest, BufferFormTerminatesTruncatesAndReportsMissingKeys) {
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(buffer, pack.LoadText(buffer, sizeof buffer, "binarydumpstop", "Menu"));
    EXPECT_STREQ("Stop &B", buffer);  // size - 1 characters

    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(nullptr, pack.LoadText(buffer, sizeof buffer, "nosuchkey", "Menu"));
    EXPECT_STREQ("", buffer);  // callers that use the buffer anyway see an empty text
    EXPECT_EQ(nullptr, pack.LoadText(buffer, sizeof buffer, "exit", "no such section"));
    EXPECT_EQ(nullptr, pack.LoadText(buffer, sizeof buffer, nullptr, nullptr));
    EXPECT_EQ(nullptr, pack.LoadText(buffer, 0, "title", nullptr));

    char one[1] = {'x'};
    EXPECT_EQ(one, pack.LoadText(one, 1, "title", nullptr));
    EXPECT_EQ(0, one[0]);

    // The text form is never null.
    EXPECT_STREQ("", pack.LoadText("nosuchkey", nullptr));
    EXPECT_STREQ("", pack.LoadText(nullptr, nullptr));
}

TEST_F(LangPackTest, NamesAreComparedWithoutRegardToCase) {
    EXPECT_EQ("E&xit", Text("EXIT", "menu"));
    EXPECT_EQ(Text("TITLE", "TCP_CONFIG_PAGE"), Text("title", "tcp_config_page"));
    // The general section is not a section named "".
    EXPECT_EQ(Text("title", nullptr), Text("title", ""));
    EXPECT_FALSE(Has("title", "Menu"));
}

TEST_F(LangPackTest, LanguageFileReplacesOnlyTheSectionsItContains) {
    ASSERT_EQ(1, LoadFile("\xEF\xBB\xBF; Nederlands\r\n"
                          "title = zamri - bonregels\r\n"
                          "version=Versie\r\n"
                          "\r\n"
                          "[Menu]\r\n"
                          "properties=&Eigenschappen...\r\n"
                          "# no exit text: the menu keeps its resource text\r\n"
                          "binarydump =  \"  Binaire dump  \"\r\n"
                          "[ about page ]\n"
                          "title=Over\n"
                          "broken line without equals sign\n"
                          "=no key\n"
                          "[unterminated\n"
                          "title=Over!\n"));
    EXPECT_EQ("zamri - bonregels", Text("title", nullptr));
    EXPECT_EQ("Versie", Text("version", nullptr));
    EXPECT_FALSE(Has("properties", nullptr));  // the general section was replaced whole
    EXPECT_EQ("&Eigenschappen...", Text("properties", "Menu"));
    EXPECT_EQ("  Binaire dump  ", Text("binarydump", "Menu"));
    EXPECT_FALSE(Has("exit", "Menu"));
    EXPECT_FALSE(Has("binarydumpstop", "Menu"));
    // A broken header is skipped, so its line counts for the section before it; the last wins.
    EXPECT_EQ("Over!", Text("title", "about page"));
    // Sections the file does not mention keep the English texts.
    EXPECT_EQ("Port:", Text("portname", "portconfig page"));
    EXPECT_EQ("Camera ", Text("CAMERA_NAME", "TCP_CONFIG_PAGE"));

    pack.UseBuiltInTexts();
    EXPECT_EQ("E&xit", Text("exit", "Menu"));
}

TEST_F(LangPackTest, FileWithAGeneralSectionWithoutTitleLeavesNoTitle) {
    ASSERT_EQ(1, LoadFile("version=Version\n[Menu]\nexit=Quit\n"));
    EXPECT_FALSE(Has("title", nullptr));
    EXPECT_EQ("Quit", Text("exit", "Menu"));
}

TEST_F(LangPackTest, FileStartingWithAHeaderKeepsTheBuiltInGeneralSection) {
    ASSERT_EQ(1, LoadFile("[Menu]\nexit=Quit\n"));
    EXPECT_TRUE(Has("title", nullptr));
    // An empty section in the file still replaces the built-in one.
    ASSERT_EQ(1, LoadFile("[filter page]\n"));
    EXPECT_FALSE(Has("add", "filter page"));
}

TEST_F(LangPackTest, MissingFileChangesNothing) {
    EXPECT_EQ(0, pack.LoadLanguageFile(dir.File("absent.lng").c_str()));
    EXPECT_EQ(0, pack.LoadLanguageFile(nullptr));
    EXPECT_TRUE(Has("title", nullptr));
}

// The build puts the language files beside the programs under the names they ship with.
std::string FileBesideTheProgram(const char* name) {
    char executable[zamri::kMaxPath];
    EXPECT_GT(zamri::GetExecutablePath(executable, sizeof executable), 0);
    std::string path = executable;
    return path.substr(0, path.find_last_of(zamri::kPathSeparator) + 1) + name;
}

// A section that the file holds replaces the English one whole, so a key it leaves out would
// show no text at all: every built-in key must be there, read from the file alone.
TEST_F(LangPackTest, ExampleTranslationCoversEveryBuiltInKey) {
    LangPack german{"zamri"};
    ASSERT_EQ(1, german.LoadLanguageFile(FileBesideTheProgram("zamri-de.lng").c_str()));
    int count = 0;
    const langpack::BuiltInText* english = langpack::EnglishTexts(&count);
    for (int i = 0; i < count; ++i) {
        const char* section = english[i].section[0] != 0 ? english[i].section : nullptr;
        EXPECT_NE("", std::string(german.LoadText(english[i].key, section)))
            << "zamri-de.lng has no text for [" << english[i].section << "] " << english[i].key;
    }
    EXPECT_EQ("&Beenden", std::string(german.LoadText("exit", "Menu")));
    EXPECT_EQ("Kamera ", std::string(german.LoadText("CAMERA_NAME", "TCP_CONFIG_PAGE")));
}

TEST_F(LangPackTest, EnglishFileIsTheBuiltInTableAndReadsBackAsIt) {
    std::string file = testing_support::ReadFileBytes(FileBesideTheProgram("zamri-en.lng"));
    EXPECT_EQ(langpack::EnglishLanguageFile(), file)
        << "src/platform/langpack_en.lng is not what the built-in table makes; refresh it with\n"
           "  build/native/bin/zamri-language-file > src/platform/langpack_en.lng";
    LangPack read{"zamri"};
    ASSERT_EQ(1, read.LoadLanguageFile(FileBesideTheProgram("zamri-en.lng").c_str()));
    int count = 0;
    const langpack::BuiltInText* english = langpack::EnglishTexts(&count);
    for (int i = 0; i < count; ++i) {
        const char* section = english[i].section[0] != 0 ? english[i].section : nullptr;
        EXPECT_EQ(english[i].text, std::string(read.LoadText(english[i].key, section))) << english[i].key;
    }
}

TEST_F(LangPackTest, ResourceIdsAreTheProgramsOwn) {
    for (int id : {100, 101, 106, 107, 108, 113, 118})
        EXPECT_EQ(id, pack.ResourceId(id));
}

}  // namespace
