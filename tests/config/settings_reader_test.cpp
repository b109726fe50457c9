// The one settings reader: settings files in, the value read out as text, compared with the
// golden text beside each file (ZAMRI_UPDATE_GOLDEN=1 writes them afresh); and the settings
// reference in the docs, which the same table makes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <set>
#include <string>

#include "config/settings.h"
#include "config/settings_keys.h"
#include "mask/mask_set.h"
#include "program/program.h"
#include "support/messages.h"
#include "support/overlay_log.h"
#include "support/temp_dir.h"

using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

std::string Golden(const std::string& name) {
    return std::string(ZAMRI_SETTINGS_GOLDEN_DIR) + "/" + name;
}

// The text of the file in dir, with the run's own folder written as <folder>/, so that the
// goldens hold anywhere.
std::string TextOf(const TempDir& dir, const std::string& path) {
    std::string text = zamri::SettingsText(*zamri::ReadSettings(path.c_str()));
    for (size_t at; (at = text.find(dir.Path())) != std::string::npos;)
        text.replace(at, dir.Path().size(), "<folder>");
    for (size_t at; (at = text.find("<folder>\\")) != std::string::npos;)
        text[at + 8] = '/';  // the journal folder joined with the platform's separator
    return text;
}

std::string ReadAsText(const std::string& ini) {
    TempDir dir;
    std::string path = dir.File("zamri.ini");
    WriteFileBytes(path, ReadFileBytes(Golden(ini)));
    return TextOf(dir, path);
}

TEST(SettingsReader, EverySettingsFileReadsAsItsGoldenText) {
    const char* update = std::getenv("ZAMRI_UPDATE_GOLDEN");
    for (const char* name : {"empty", "store", "odd", "overlong", "web_address", "web_names", "webhooks"}) {
        std::string text = ReadAsText(std::string(name) + ".ini");
        std::string golden = Golden(std::string(name) + ".txt");
        if (update != nullptr && update[0] == '1')
            WriteFileBytes(golden, text);
        EXPECT_EQ(text, ReadFileBytes(golden)) << name << ".ini";
    }
}

// What the property sheet writes on OK (each channel with its decoding keys, the lists, the
// masks, the sender rules) leaves the rest as it was: the templates, rules, exception switches
// and webhooks read the same afterwards, the rule that does not compile still reported.
TEST(SettingsReader, SavingTheChannelTableKeepsEverySectionItDoesNotOwn) {
    TempDir dir;
    std::string path = dir.File("zamri.ini");
    WriteFileBytes(path, ReadFileBytes(Golden("store.ini")));
    const std::string before = TextOf(dir, path);
    {
        testing_support::MessageRecorder messages;
        testing_support::OverlayLogFile overlay;
        zamri::Program program;
        ChannelTable& table = program.Table();
        table.SetSettingsPath(path.c_str());
        table.LoadSettings();
        for (int i = 0; i < kChannelCount; ++i) {
            table.SaveChannel(i);
            ASSERT_EQ(SaveDecodingOptions(path.c_str(), i + 1,
                                          table.GetChannel(static_cast<unsigned>(i))->decoding),
                      1);
        }
        table.SaveFilterList(kFilterImportant);
        table.SaveFilterList(kFilterIgnore);
        table.SaveTcpSenderRules();
        zamri::MaskSettings masks = program.Delivery().GetMaskSettings();
        ASSERT_EQ(WriteMaskPatterns(path.c_str(), masks.patterns), 1);
        ASSERT_EQ(WriteMaskCardNumbers(path.c_str(), masks.cardNumbers), 1);
    }
    EXPECT_NE(before.find("problem: [Rule 4] Match"), std::string::npos);
    EXPECT_EQ(TextOf(dir, path), before);
}

TEST(SettingsReader, AMissingFileReadsAsAnEmptyOne) {
    TempDir dir;
    std::string path = dir.File("zamri.ini");
    std::shared_ptr<const zamri::Settings> missing = zamri::ReadSettings(path.c_str());
    EXPECT_TRUE(missing->problems.empty());
    WriteFileBytes(path, "");
    EXPECT_EQ(zamri::SettingsText(*missing), zamri::SettingsText(*zamri::ReadSettings(path.c_str())));
}

TEST(SettingsReference, EveryKeyIsListedOnceWithWhatItHolds) {
    std::set<std::string> seen;
    for (const zamri::SettingKey& key : zamri::SettingKeys()) {
        std::string name = std::string("[") + key.section + "] " + key.key;
        EXPECT_TRUE(seen.insert(name).second) << name << " is listed twice";
        EXPECT_STRNE(key.type, "") << name;
        EXPECT_STRNE(key.help, "") << name;
        EXPECT_NE(key.read, nullptr) << name;
    }
}

TEST(SettingsReference, TheDocsSayWhatTheTableSays) {
    std::string docs = ReadFileBytes(std::string(ZAMRI_SOURCE_DIR) + "/docs/settings.md");
    EXPECT_EQ(docs, zamri::SettingsReference())
        << "docs/settings.md is not what the table of keys makes; refresh it with\n"
           "  build/native/bin/zamri-settings-doc > docs/settings.md";
}

}  // namespace
