#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/profile.h"
#include "program/program.h"
#include "support/overlay_log.h"
#include "support/temp_dir.h"

using testing_support::OverlayLogFile;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

char** MakeList(const std::vector<std::string>& entries) {
    char** list = new char*[entries.size() + 1]();
    for (size_t i = 0; i < entries.size(); ++i) {
        list[i] = new char[entries[i].size() + 1];
        std::memcpy(list[i], entries[i].c_str(), entries[i].size() + 1);
    }
    return list;
}

std::string ReadKey(const std::string& path, const char* section, const char* key) {
    char value[512];
    zamri::ProfileReadText(path.c_str(), section, key, "<missing>", value, sizeof value);
    return value;
}

class LineFilterTest : public ::testing::Test {
  protected:
    void SetUp() override { table.SetSettingsPath(settings.c_str()); }

    // Through the table, as the filter page sets them: written to the file, and filtered by.
    void SetLists(const std::vector<std::string>& important, const std::vector<std::string>& ignore) {
        table.ReplaceFilterList(kFilterImportant, static_cast<int>(important.size()), MakeList(important));
        table.ReplaceFilterList(kFilterIgnore, static_cast<int>(ignore.size()), MakeList(ignore));
    }
    void SetFilter(const std::vector<std::string>& important, const std::vector<std::string>& ignore) {
        program.Delivery().SetFilter(LineFilter(important, ignore));
    }

    // "keep/flags" or "drop".
    std::string Filter(const char* text, int flags = 0) {
        int result = program.Delivery().CurrentFilter()->Apply(text, flags);
        return result ? "keep/" + std::to_string(flags) : "drop";
    }

    OverlayLogFile overlay;
    TempDir dir;
    std::string settings = dir.File("zamri.ini");
    zamri::Program program;
    ChannelTable& table = program.Table();
};

}  // namespace

TEST_F(LineFilterTest, ImportantWinsIgnoreDropsEmptyListsKeepAll) {
    EXPECT_EQ(Filter("ANY LINE", 2), "keep/2");
    SetFilter({"total"}, {"total", "void"});
    EXPECT_EQ(Filter("SUBTOTAL 12.00", 1), "keep/5");
    EXPECT_EQ(Filter("Total"), "keep/4");
    EXPECT_EQ(Filter("item VOIDED"), "drop");
    EXPECT_EQ(Filter("COFFEE 2.50"), "keep/0");
    EXPECT_EQ(Filter("", 2), "keep/2");
    EXPECT_EQ(Filter(nullptr, 3), "keep/3");
    SetLists({}, {"total"});
    EXPECT_EQ(Filter("SUBTOTAL 12.00"), "drop");
}

TEST_F(LineFilterTest, OnlyAsciiLettersAreFolded) {
    SetFilter({"caf\xE9"}, {});
    EXPECT_EQ(Filter("CAF\xE9 2.00"), "keep/4");
    EXPECT_EQ(Filter("CAF\xC9 2.00"), "keep/0");  // 0xC9 is not the upper case of 0xE9 here
    SetFilter({"[x]"}, {});
    EXPECT_EQ(Filter("a [X] b"), "keep/4");
    EXPECT_EQ(Filter("a {x} b"), "keep/0");
}

TEST_F(LineFilterTest, EntriesLongerThanTheLineAndLongLines) {
    SetFilter({"ABCDEFGH"}, {});
    EXPECT_EQ(Filter("ABCDEFG"), "keep/0");
    std::string longLine(5000, 'x');
    longLine += "abcdefgh";
    EXPECT_EQ(Filter(longLine.c_str()), "keep/4");
}

TEST_F(LineFilterTest, ListsLoadFromTheSettingsFile) {
    WriteFileBytes(settings,
                   "[Important]\r\ncount=1\r\n0=TOTAL\r\n5=never read\r\n"
                   "[Ignore]\r\ncount=4\r\n2=VOID\r\n0=CASH\r\n0=not the first\r\n00=not a list key\r\n");
    table.LoadSettings();
    int count = 0;
    char** list = nullptr;
    ASSERT_EQ(table.GetFilterList(kFilterIgnore, &count, &list), 1);
    // In index order; the missing keys 1 and 3 are left out rather than read as empty
    // entries, which would match (and so drop) every line.
    ASSERT_EQ(count, 2);
    EXPECT_STREQ(list[0], "CASH");
    EXPECT_STREQ(list[1], "VOID");
    EXPECT_EQ(list[2], nullptr);
    EXPECT_EQ(Filter("TOTAL 5.00"), "keep/4");
    EXPECT_EQ(Filter("COFFEE"), "keep/0");
    EXPECT_EQ(Filter("CASH 5.00"), "drop");
    EXPECT_EQ(table.GetFilterList(2, &count, &list), 0);
}

TEST_F(LineFilterTest, ReplacingWritesCountAndEntriesAndLeavesOldKeys) {
    SetLists({"A", "B", "C"}, {});
    EXPECT_EQ(ReadKey(settings, "Important", "count"), "3");
    SetLists({"Z"}, {});
    EXPECT_EQ(ReadKey(settings, "Important", "count"), "1");
    EXPECT_EQ(ReadKey(settings, "Important", "0"), "Z");
    EXPECT_EQ(ReadKey(settings, "Important", "2"), "C");  // stays, never read again
    EXPECT_EQ(ReadKey(settings, "Ignore", "count"), "0");
    table.LoadSettings();
    int count = 0;
    char** list = nullptr;
    table.GetFilterList(kFilterImportant, &count, &list);
    EXPECT_EQ(count, 1);
}

// A mistyped count costs nothing: the list holds what the file holds, read at once.
TEST_F(LineFilterTest, AHugeCountInTheFileIsBounded) {
    WriteFileBytes(settings, "[Ignore]\r\ncount=-5\r\n0=x\r\n[Important]\r\ncount=2000000000\r\n0=" +
                                 std::string(400, 'i') + "\r\n1999999999=LAST\r\n");
    table.LoadSettings();
    int count = 0;
    char** list = nullptr;
    table.GetFilterList(kFilterImportant, &count, &list);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(std::strlen(list[0]), 400u);
    EXPECT_STREQ(list[1], "LAST");
    table.GetFilterList(kFilterIgnore, &count, &list);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(list, nullptr);
}

// Capture threads filter while the property sheet replaces the lists; under ThreadSanitizer
// and AddressSanitizer this shows that no reader ever touches a freed list.
TEST_F(LineFilterTest, ReplacingWhileOtherThreadsFilter) {
    std::string nowhere = dir.File("no-such-dir") + "/zamri.ini";
    table.SetSettingsPath(nowhere.c_str());  // the saves fail at once; only the lists matter here
    std::atomic<bool> stop{false};
    std::atomic<long> marked{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&] {
            while (!stop.load()) {
                int flags = 0;
                if (program.Delivery().CurrentFilter()->Apply("TOTAL 12.00", flags) && (flags & 4))
                    ++marked;
                flags = 0;
                program.Delivery().CurrentFilter()->Apply("VOID 1", flags);
            }
        });
    }
    // At least 200 rounds, and on until a reader has run alongside (a loaded machine may start
    // the readers late).
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    for (int round = 0; round < 200 || (marked.load() == 0 && std::chrono::steady_clock::now() < end);
         ++round) {
        table.ReplaceFilterList(kFilterImportant, 2, MakeList({"total", "sub" + std::to_string(round)}));
        table.ReplaceFilterList(kFilterIgnore, 1, MakeList({"void"}));
    }
    stop = true;
    for (auto& reader : readers)
        reader.join();
    EXPECT_GT(marked.load(), 0);
}
