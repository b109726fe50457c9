// The journal's records and day files: format, UTF-8 text, day roll-over, retention (also when
// the clock jumps), the size budget and the free-space floor, torn lines and a folder that
// cannot be written.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "journal/journal_files.h"
#include "journal/journal_record.h"
#include "journal/journal_writer.h"
#include "support/temp_dir.h"
#include "text/civil_days.h"

namespace {

using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;
using zamri::JournalRecord;

constexpr int64_t kDay = 86400000;
// 2026-12-08 00:00 local time, in local milliseconds.
const int64_t kDec8 = zamri::DaysFromCivil(2026, 12, 8) * kDay;

JournalRecord Record(int64_t localMs, int offsetMinutes, int camera, int flags, int64_t receipt,
                     const std::string& text, const std::string& source = "COM3") {
    JournalRecord r;
    r.utcMilliseconds = localMs - offsetMinutes * 60000LL;
    r.utcOffsetMinutes = offsetMinutes;
    r.camera = camera;
    r.flags = flags;
    r.receipt = receipt;
    r.text = text;
    r.source = source;
    return r;
}

std::vector<std::string> Lines(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t start = 0, end;
    while ((end = bytes.find('\n', start)) != std::string::npos) {
        lines.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& f : zamri::ListJournalFiles(folder))
        out.push_back(f.path.substr(folder.size() + 1));
    return out;
}

uint64_t JournalBytes(const std::string& folder) {
    uint64_t total = 0;
    for (const auto& f : zamri::ListJournalFiles(folder))
        total += f.bytes;
    return total;
}

// A day file of the given size, days before 2026-12-08.
void OldDayFile(const std::string& folder, int daysBack, size_t bytes) {
    std::filesystem::create_directories(folder);
    ASSERT_TRUE(WriteFileBytes(zamri::JoinPath(folder, zamri::JournalFileName(kDec8 / kDay - daysBack)),
                               std::string(bytes - 1, 'x') + "\n"));
}

TEST(JournalRecordTest, LineFormatAndRoundTrip) {
    std::string line;
    zamri::AppendRecordLine(Record(kDec8 + 14 * 3600000LL + 2 * 60000 + 11300, 60, 3, 2, 17, "TOTAL\t12.50"),
                            &line);
    EXPECT_EQ(line,
              "{\"time\":\"2026-12-08T14:02:11.300+01:00\",\"camera\":3,\"flags\":2,\"source\":\"COM3\","
              "\"receipt\":17,\"text\":\"TOTAL\\t12.50\"}\n");

    // Quotes, backslashes, controls and non-Latin text survive; bytes that are not UTF-8 become
    // U+FFFD so the line stays valid JSON.
    struct Case {
        std::string text, back;
    } cases[] = {
        {"Bi\xC3\xA8re \"1\" \\ \x01\x7F", "Bi\xC3\xA8re \"1\" \\ \x01\x7F"},
        {"\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xE2\x82\xAC", "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xE2\x82\xAC"},
        {"bad \xE8 \xC3", "bad \xEF\xBF\xBD \xEF\xBF\xBD"},
    };
    for (const Case& c : cases) {
        line.clear();
        JournalRecord in = Record(kDec8 - 1, -330, 32, 5, 1234567890123LL, c.text, "10.0.0.7:5123");
        zamri::AppendRecordLine(in, &line);
        zamri::RecordView view;
        JournalRecord out;
        line.pop_back();
        ASSERT_TRUE(zamri::ParseRecordView(line, &view)) << line;
        ASSERT_TRUE(zamri::RecordFromView(view, &out));
        EXPECT_EQ(out.text, c.back);
        EXPECT_EQ(out.utcMilliseconds, in.utcMilliseconds);
        EXPECT_EQ(out.utcOffsetMinutes, -330);
        EXPECT_EQ(view.time.substr(0, 23), "2026-12-07T23:59:59.999");
        EXPECT_EQ(out.camera, 32);
        EXPECT_EQ(out.flags, 5);
        EXPECT_EQ(out.receipt, 1234567890123LL);
        EXPECT_EQ(out.source, "10.0.0.7:5123");
    }
    // Readers take keys in any order, skip unknown ones, resolve \u escapes (with surrogate
    // pairs), and refuse what is not a record.
    zamri::RecordView view;
    JournalRecord out;
    ASSERT_TRUE(zamri::ParseRecordView("{ \"extra\": [1], \"camera\": 2 }", &view) == false);
    ASSERT_TRUE(
        zamri::ParseRecordView("{\"text\":\"\\u00e8\\ud83d\\ude00\",\"x\":null,\"camera\":2,"
                               "\"time\":\"2026-01-01T00:00:00.000+00:00\"}",
                               &view));
    ASSERT_TRUE(zamri::RecordFromView(view, &out));
    EXPECT_EQ(out.text, "\xC3\xA8\xF0\x9F\x98\x80");
    for (const char* bad : {"", "{", "{\"time\":\"x\"", "[1]", "{\"camera\":1,\"time\":\"2026"})
        EXPECT_FALSE(zamri::ParseRecordView(bad, &view)) << bad;
}

TEST(JournalWriterTest, DayFilesRollOverAtLocalMidnightAndRetentionRunsOncePerDay) {
    TempDir dir;
    std::string folder = dir.File("journal");
    int64_t now = kDec8 + 23 * 3600000LL;
    std::vector<std::string> trouble;
    zamri::JournalWriter writer(
        folder, 3, [&] { return now; }, [&](const std::string& m) { trouble.push_back(m); });
    // Day files of the past, and files that are not the journal's.
    std::filesystem::create_directories(folder);
    for (int back : {1, 2, 3, 4, 40})
        ASSERT_TRUE(
            WriteFileBytes(zamri::JoinPath(folder, zamri::JournalFileName(kDec8 / kDay - back)), "{}\n"));
    ASSERT_TRUE(WriteFileBytes(zamri::JoinPath(folder, "notes.txt"), "x"));

    // Midnight in UTC+1: the same UTC hour lands in two local days.
    EXPECT_EQ(writer.Append(Record(kDec8 + kDay - 1, 60, 1, 1, 5, "LAST")), 1);
    // Three days kept: today, yesterday and the day before.
    auto names = [&] {
        std::vector<std::string> out;
        for (const auto& f : zamri::ListJournalFiles(folder))
            out.push_back(f.path.substr(folder.size() + 1));
        return out;
    };
    EXPECT_EQ(names(),
              (std::vector<std::string>{"2026-12-06.jsonl", "2026-12-07.jsonl", "2026-12-08.jsonl"}));
    EXPECT_TRUE(std::filesystem::exists(zamri::JoinPath(folder, "notes.txt")));

    now += 3600000;  // the clock passes midnight: the next record starts the new day's file
    EXPECT_EQ(writer.Append(Record(kDec8 + kDay, 60, 1, 2, 5, "FIRST")), 1);
    EXPECT_EQ(names(),
              (std::vector<std::string>{"2026-12-07.jsonl", "2026-12-08.jsonl", "2026-12-09.jsonl"}));
    // A file of an old day that appears later waits for tomorrow's retention.
    ASSERT_TRUE(WriteFileBytes(zamri::JoinPath(folder, "2026-01-01.jsonl"), "{}\n"));
    EXPECT_EQ(writer.Append(Record(kDec8 + kDay + 5, 60, 1, 0, 6, "X")), 1);
    EXPECT_EQ(names().size(), 4u);
    now += kDay;
    EXPECT_EQ(writer.Append(Record(now, 60, 1, 0, 6, "Y")), 1);
    EXPECT_EQ(names(),
              (std::vector<std::string>{"2026-12-08.jsonl", "2026-12-09.jsonl", "2026-12-10.jsonl"}));

    auto day9 = Lines(ReadFileBytes(zamri::JoinPath(folder, "2026-12-09.jsonl")));
    ASSERT_EQ(day9.size(), 2u);
    EXPECT_NE(day9[0].find("\"2026-12-09T00:00:00.000+01:00\""), std::string::npos);
    EXPECT_EQ(writer.Written(), 4u);
    EXPECT_EQ(writer.NotWritten(), 0u);
    EXPECT_TRUE(trouble.empty());
}

TEST(JournalWriterTest, RetentionKeepsTheNewestDaysWhenTheClockJumps) {
    TempDir dir;
    std::string folder = dir.File("journal");
    for (int back : {2, 1, 0})
        OldDayFile(folder, back, 10);
    int64_t now = kDec8 + 365 * kDay;  // the clock is set a year ahead
    zamri::JournalWriter writer(folder, 3, [&] { return now; });
    ASSERT_EQ(writer.Append(Record(now, 0, 1, 0, 1, "AHEAD")), 1);
    // The newest three day files stay, today's counted: one old day goes, as on any day.
    EXPECT_EQ(Names(folder),
              (std::vector<std::string>{"2026-12-07.jsonl", "2026-12-08.jsonl", "2027-12-08.jsonl"}));
    now += kDay;
    ASSERT_EQ(writer.Append(Record(now, 0, 1, 0, 1, "AHEAD")), 1);
    EXPECT_EQ(Names(folder),
              (std::vector<std::string>{"2026-12-08.jsonl", "2027-12-08.jsonl", "2027-12-09.jsonl"}));
    // Set right again: nothing is old by the clock, nothing goes.
    now = kDec8 + kDay;
    ASSERT_EQ(writer.Append(Record(now, 0, 1, 0, 1, "BACK")), 1);
    EXPECT_EQ(Names(folder), (std::vector<std::string>{"2026-12-08.jsonl", "2026-12-09.jsonl",
                                                       "2027-12-08.jsonl", "2027-12-09.jsonl"}));

    // Keeping one day never deletes the newest file, before today's first line.
    TempDir other;
    std::string one = other.File("journal");
    OldDayFile(one, 0, 10);
    int64_t later = kDec8 + 400 * kDay;
    zamri::JournalWriter single(one, 1, [&] { return later; });
    EXPECT_EQ(single.ApplyRetention(), 0);
    EXPECT_EQ(Names(one), (std::vector<std::string>{"2026-12-08.jsonl"}));
}

TEST(JournalWriterTest, AFloodOfLongLinesKeepsToTheBudgetOldestDaysFirst) {
    TempDir dir;
    std::string folder = dir.File("journal");
    for (int back = 5; back >= 1; --back)
        OldDayFile(folder, back, 100 << 10);
    int64_t now = kDec8 + 8 * 3600000LL;
    std::vector<std::string> trouble;
    zamri::JournalWriter writer(
        folder, 0, [&] { return now; }, [&](const std::string& m) { trouble.push_back(m); });
    const uint64_t budget = 1 << 20;
    writer.SetSpace(zamri::JournalSpace{budget, 0});
    // A check comes after at most 64 KB written: the journal is never more than that over.
    const uint64_t slack = (64 << 10) + 4096;
    std::string text(1023, 'W');
    int written = 0, refused = 0;
    for (int i = 0; i < 3000; ++i) {
        now += 10;
        (writer.Append(Record(now, 0, 1 + i % 32, 0, i, text), false) ? written : refused)++;
        if (i % 100 == 0)
            ASSERT_LE(JournalBytes(folder), budget + slack) << i;
    }
    writer.Flush();
    EXPECT_LE(JournalBytes(folder), budget + slack);
    // Every older day went, oldest first, each deletion reported; then today's lines were held
    // back, said once.
    EXPECT_EQ(Names(folder), (std::vector<std::string>{"2026-12-08.jsonl"}));
    EXPECT_EQ(writer.DeletedForSpace(), 5u);
    ASSERT_GE(trouble.size(), 2u);
    EXPECT_NE(trouble[0].find("Journal: deleted 1 day file ("), std::string::npos) << trouble[0];
    EXPECT_NE(trouble[0].find("2026-12-03.jsonl, 0.1 MB)"), std::string::npos) << trouble[0];
    EXPECT_NE(trouble[0].find("(JournalSizeMB=)"), std::string::npos) << trouble[0];
    EXPECT_NE(trouble.back().find("is used up and no older day file can be deleted"), std::string::npos)
        << trouble.back();
    EXPECT_GT(refused, 0);
    EXPECT_EQ(writer.NotWritten(), static_cast<uint64_t>(refused));
    EXPECT_EQ(writer.Written(), static_cast<uint64_t>(written));

    // The next day the flood's file is an old one: it goes, and lines are written again.
    size_t before = trouble.size();
    now = kDec8 + kDay + 60000;
    ASSERT_EQ(writer.Append(Record(now, 0, 1, 0, 1, "NEXT DAY")), 1);
    EXPECT_EQ(Names(folder), (std::vector<std::string>{"2026-12-09.jsonl"}));
    ASSERT_EQ(trouble.size(), before + 2);
    EXPECT_NE(trouble[before].find("2026-12-08.jsonl"), std::string::npos) << trouble[before];
    EXPECT_NE(trouble[before + 1].find("writing again"), std::string::npos) << trouble[before + 1];
}

TEST(JournalWriterTest, TheFreeSpaceFloorDeletesOldestDaysThenHoldsLinesBack) {
    TempDir dir;
    std::string folder = dir.File("journal");
    for (int back = 3; back >= 1; --back)
        OldDayFile(folder, back, 200 << 10);
    // A disk of `disk` bytes holding the journal and nothing else.
    uint64_t disk = JournalBytes(folder) + (900 << 10);
    auto free = [&](const std::string& f) { return static_cast<int64_t>(disk - JournalBytes(f)); };
    int64_t now = kDec8 + 8 * 3600000LL;
    std::vector<std::string> trouble;
    zamri::JournalWriter writer(
        folder, 0, [&] { return now; }, [&](const std::string& m) { trouble.push_back(m); });
    writer.SetSpace(zamri::JournalSpace{0, 1 << 20}, free);
    ASSERT_EQ(writer.Prepare(), 1);
    EXPECT_EQ(Names(folder),
              (std::vector<std::string>{"2026-12-06.jsonl", "2026-12-07.jsonl", "2026-12-08.jsonl"}));
    ASSERT_EQ(trouble.size(), 1u);
    EXPECT_NE(trouble[0].find("2026-12-05.jsonl, 0.2 MB) to keep 1.0 MB free on its disk (JournalFreeMB=)"),
              std::string::npos)
        << trouble[0];

    // Something else fills the disk: at the next check the older days go, then lines wait.
    disk -= 1 << 20;
    now += zamri::JournalWriter::kSpaceCheckMilliseconds;
    EXPECT_EQ(writer.Append(Record(now, 0, 1, 0, 1, "CHECKED")), 1);
    EXPECT_EQ(writer.Append(Record(now, 0, 1, 0, 1, "HELD BACK")), 0);
    EXPECT_EQ(Names(folder), (std::vector<std::string>{"2026-12-08.jsonl"}));
    ASSERT_EQ(trouble.size(), 3u);
    EXPECT_NE(trouble[2].find("less than 1.0 MB (JournalFreeMB=); lines are not being written"),
              std::string::npos)
        << trouble[2];
    // Room again: found at the next try.
    disk += 2 << 20;
    now += zamri::JournalWriter::kSpaceRetryMilliseconds;
    EXPECT_EQ(writer.Append(Record(now, 0, 1, 0, 1, "BACK")), 1);
    EXPECT_EQ(writer.NotWritten(), 1u);
    ASSERT_EQ(trouble.size(), 4u);
    EXPECT_NE(trouble[3].find("writing again"), std::string::npos) << trouble[3];
}

TEST(JournalWriterTest, TornLastLineIsSkippedAndNeverGluedToTheNextRecord) {
    TempDir dir;
    std::string folder = dir.File("j");
    std::filesystem::create_directories(folder);
    std::string path = zamri::JoinPath(folder, "2026-12-08.jsonl");
    std::string good;
    zamri::AppendRecordLine(Record(kDec8 + 1000, 0, 1, 1, 1, "ONE"), &good);
    // A crash tore the second record.
    ASSERT_TRUE(WriteFileBytes(path, good + "{\"time\":\"2026-12-08T00:00:02.000+00:00\",\"cam"));

    zamri::JournalFileReader reader;
    std::string_view lines;
    uint64_t offset = 1;
    ASSERT_EQ(reader.Open(path), 1);
    ASSERT_TRUE(reader.Next(&lines, &offset));
    EXPECT_EQ(lines, good);
    EXPECT_EQ(offset, 0u);
    EXPECT_FALSE(reader.Next(&lines, &offset));

    int64_t now = kDec8 + 5000;
    zamri::JournalWriter writer(folder, 0, [&] { return now; });
    ASSERT_EQ(writer.Append(Record(kDec8 + 3000, 0, 1, 2, 1, "THREE")), 1);
    auto all = Lines(ReadFileBytes(path));
    ASSERT_EQ(all.size(), 3u);
    zamri::RecordView view;
    EXPECT_TRUE(zamri::ParseRecordView(all[0], &view));
    EXPECT_FALSE(zamri::ParseRecordView(all[1], &view));  // the torn part, on a line of its own
    ASSERT_TRUE(zamri::ParseRecordView(all[2], &view));
    EXPECT_EQ(view.text, "THREE");
}

TEST(JournalWriterTest, AFolderThatCannotBeWrittenIsCountedAndReportedOnce) {
    TempDir dir;
    // A file where the folder should be: nothing can be created in it, on every platform and
    // for every user (a read-only folder does not stop an administrator).
    std::string folder = dir.File("journal");
    ASSERT_TRUE(WriteFileBytes(folder, "not a folder"));
    int64_t now = kDec8;
    std::vector<std::string> trouble;
    zamri::JournalWriter writer(
        folder, 90, [&] { return now; }, [&](const std::string& m) { trouble.push_back(m); });
    for (int i = 0; i < 1000; ++i) {
        EXPECT_EQ(writer.Append(Record(now, 0, 1, 0, 1, "LINE")), 0);
        now += 10;
    }
    EXPECT_EQ(writer.NotWritten(), 1000u);
    ASSERT_EQ(trouble.size(), 1u);
    EXPECT_NE(trouble[0].find("Journal: cannot write"), std::string::npos) << trouble[0];

    // The folder becomes usable: writing resumes at the next retry and says so once.
    std::filesystem::remove(folder);
    now += zamri::JournalWriter::kReopenMilliseconds;
    EXPECT_EQ(writer.Append(Record(now, 0, 1, 0, 1, "BACK")), 1);
    EXPECT_EQ(writer.Append(Record(now, 0, 1, 0, 1, "BACK")), 1);
    ASSERT_EQ(trouble.size(), 2u);
    EXPECT_NE(trouble[1].find("writing again"), std::string::npos) << trouble[1];
    EXPECT_NE(trouble[1].find("1000 lines could not be written"), std::string::npos) << trouble[1];
}

}  // namespace
