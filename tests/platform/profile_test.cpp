// The same cases run against the Windows profile functions (under wine) and our own Linux
// reader and writer: this is how we know that both behave alike.
#include "platform/profile.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/messages.h"
#include "support/temp_dir.h"

using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

std::string Read(const std::string& path, const char* section, const char* key, const char* def = "<default>",
                 int size = 256) {
    char buffer[512];
    int length = zamri::ProfileReadText(path.c_str(), section, key, def, buffer, size);
    EXPECT_EQ(length, static_cast<int>(std::string(buffer).size()));
    return buffer;
}

}  // namespace

TEST(Profile, MissingFileSectionOrKeyGivesTheDefault) {
    TempDir dir;
    std::string path = dir.File("none.ini");
    EXPECT_EQ(Read(path, "Channel", "1"), "<default>");
    EXPECT_EQ(zamri::ProfileReadInt(path.c_str(), "Channel", "PORT", 10000), 10000);
    WriteFileBytes(path, "[Channel]\r\n1=x\r\n");
    EXPECT_EQ(Read(path, "Other", "1"), "<default>");
    EXPECT_EQ(Read(path, "Channel", "2", ""), "");
}

TEST(Profile, NamesIgnoreCaseAndValuesAreTrimmed) {
    TempDir dir;
    std::string path = dir.File("z.ini");
    WriteFileBytes(path, "[channel]\r\nPort = 10001 \r\nText= a b \r\nQ=\"quoted\"\r\n");
    EXPECT_EQ(Read(path, "CHANNEL", "port"), "10001");
    EXPECT_EQ(Read(path, "Channel", "TEXT"), "a b");
    EXPECT_EQ(Read(path, "Channel", "q"), "quoted");
    EXPECT_EQ(zamri::ProfileReadInt(path.c_str(), "Channel", "PORT", 5), 10001);
}

// A value is read whole up to the limit, and a longer one is refused with a warning that names
// it, never cut: the lines after it load as usual.
TEST(Profile, ValuesAreReadWholeOrRefused) {
    TempDir dir;
    std::string path = dir.File("z.ini");
    const int limit = zamri::kMaxSettingsValueLength;
    std::string senders = std::string(242, '1') + "10.20.30.40/32";  // 256 characters
    WriteFileBytes(path, "[S]\r\nsenders=" + senders + "\r\nfits=" + std::string(limit, 'F') + "\r\nover=" +
                             std::string(limit + 1, 'O') + "\r\nshort=12345678\r\nafter=ok\r\n");
    testing_support::MessageRecorder messages;
    std::string value;
    EXPECT_EQ(zamri::ProfileReadValue(path.c_str(), "S", "senders", &value), 1);
    EXPECT_EQ(value, senders);  // the 256th character too: no "/3"
    EXPECT_EQ(zamri::ProfileReadValue(path.c_str(), "S", "fits", &value), 1);
    EXPECT_EQ(value, std::string(limit, 'F'));
    EXPECT_EQ(zamri::ProfileReadValue(path.c_str(), "S", "over", &value), -1);
    EXPECT_EQ(value, "");
    EXPECT_EQ(zamri::ProfileReadValue(path.c_str(), "S", "none", &value), 0);
    EXPECT_TRUE(messages.Messages().empty());

    EXPECT_EQ(zamri::ReadSettingsValue(path.c_str(), "S", "over", &value, limit, "nobody may send"), -1);
    EXPECT_EQ(zamri::ReadSettingsValue(path.c_str(), "S", "fits", &value, 100), -1);
    EXPECT_EQ(Read(path, "S", "short", "<default>", 8), "<defaul");
    EXPECT_EQ(Read(path, "S", "short", "<default>", 9), "12345678");
    EXPECT_EQ(Read(path, "S", "after"), "ok");
    EXPECT_EQ(messages.Messages(),
              (std::vector<std::string>{
                  "Warning|The value of over in [S] is longer than 4095 characters and is not used; nobody "
                  "may send.",
                  "Warning|The value of fits in [S] is longer than 100 characters and is not used.",
                  "Warning|The value of short in [S] is longer than 7 characters and is not used."}));
}

TEST(Profile, SectionsAreReadWholeAndOverlongEntriesLeftOut) {
    TempDir dir;
    std::string path = dir.File("z.ini");
    std::string entry(300, 'e');
    WriteFileBytes(path, "[L]\r\ncount=3\r\n0=" + entry + "\r\n1=" +
                             std::string(zamri::kMaxSettingsValueLength + 1, 'x') + "\r\n2=last\r\n");
    testing_support::MessageRecorder messages;
    auto entries = zamri::ProfileReadSection(path.c_str(), "L");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1], std::make_pair(std::string("0"), entry));
    EXPECT_EQ(entries[2], std::make_pair(std::string("2"), std::string("last")));
    EXPECT_EQ(messages.Messages(),
              (std::vector<std::string>{
                  "Warning|The value of 1 in [L] is longer than 4095 characters and is not used."}));
}

TEST(Profile, IntegersReadLikeTheProfileFunctions) {
    TempDir dir;
    std::string path = dir.File("z.ini");
    WriteFileBytes(path, "[S]\r\na=42\r\nb=12abc\r\nc=abc\r\nd=\r\ne=-7\r\n");
    EXPECT_EQ(zamri::ProfileReadInt(path.c_str(), "S", "a", 1), 42);
    EXPECT_EQ(zamri::ProfileReadInt(path.c_str(), "S", "b", 1), 12);
    EXPECT_EQ(zamri::ProfileReadInt(path.c_str(), "S", "c", 1), 0);
    EXPECT_EQ(zamri::ProfileReadInt(path.c_str(), "S", "d", 1), 1);
    EXPECT_EQ(zamri::ProfileReadInt(path.c_str(), "S", "missing", 9), 9);
}

TEST(Profile, WritesCreateTheFileAndSectionAndReadBack) {
    TempDir dir;
    std::string path = dir.File("new.ini");
    ASSERT_EQ(zamri::ProfileWriteText(path.c_str(), "Channel", "1", "1,COM3,9600"), 1);
    ASSERT_EQ(zamri::ProfileWriteText(path.c_str(), "Channel", "PORT", "10000"), 1);
    ASSERT_EQ(zamri::ProfileWriteText(path.c_str(), "Important", "count", "0"), 1);
    ASSERT_EQ(zamri::ProfileWriteText(path.c_str(), "channel", "1", "0,COM4"), 1);
    EXPECT_EQ(Read(path, "Channel", "1"), "0,COM4");
    EXPECT_EQ(Read(path, "Channel", "PORT"), "10000");
    EXPECT_EQ(Read(path, "Important", "count"), "0");
}

TEST(Profile, WritesKeepTheOtherLines) {
    TempDir dir;
    std::string path = dir.File("z.ini");
    WriteFileBytes(path, "[Channel]\r\n1=a\r\n2=b\r\n[Ignore]\r\ncount=2\r\n0=x\r\n1=y\r\n");
    ASSERT_EQ(zamri::ProfileWriteText(path.c_str(), "Channel", "2", "B"), 1);
    EXPECT_EQ(Read(path, "Channel", "1"), "a");
    EXPECT_EQ(Read(path, "Channel", "2"), "B");
    EXPECT_EQ(Read(path, "Ignore", "1"), "y");
}

TEST(Profile, UnwritablePlaceFailsWithoutHarm) {
    TempDir dir;
    std::string path = dir.File("missing-dir") + "/z.ini";
    EXPECT_EQ(zamri::ProfileWriteText(path.c_str(), "Channel", "1", "x"), 0);
    EXPECT_EQ(Read(path, "Channel", "1"), "<default>");
}

TEST(Profile, RemovesAKeyOrASectionAndKeepsTheRest) {
    TempDir dir;
    std::string path = dir.File("z.ini");
    WriteFileBytes(path,
                   "[Options]\r\nA=1\r\nB=2\r\n[Rule 1]\r\nName=x\r\nLine=VOID\r\n[Rule 2]\r\nName=y\r\n");
    ASSERT_EQ(zamri::ProfileRemove(path.c_str(), "options", "a"), 1);
    ASSERT_EQ(zamri::ProfileRemove(path.c_str(), "Rule 1", nullptr), 1);
    ASSERT_EQ(zamri::ProfileRemove(path.c_str(), "Rule 9", nullptr), 1);
    ASSERT_EQ(zamri::ProfileRemove(path.c_str(), "Options", "Missing"), 1);
    EXPECT_EQ(Read(path, "Options", "A"), "<default>");
    EXPECT_EQ(Read(path, "Options", "B"), "2");
    EXPECT_EQ(Read(path, "Rule 1", "Name"), "<default>");
    EXPECT_EQ(Read(path, "Rule 1", "Line"), "<default>");
    EXPECT_EQ(Read(path, "Rule 2", "Name"), "y");
    EXPECT_TRUE(zamri::ProfileReadSection(path.c_str(), "Rule 1").empty());

    std::string absent = dir.File("absent.ini");
    EXPECT_EQ(zamri::ProfileRemove(absent.c_str(), "Rule 1", nullptr), 1);
    EXPECT_EQ(ReadFileBytes(absent), "");
}
