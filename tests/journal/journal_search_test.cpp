// Searching the journal: text, regular expressions (none can blow up), cameras, time bounds,
// whole receipts, a large day file read in blocks with the limits of a search, zamri-find's
// output, and a journal that is written while it is searched.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "journal/find_time.h"
#include "journal/journal_files.h"
#include "journal/journal_search.h"
#include "journal/journal_writer.h"
#include "platform/os.h"
#include "support/temp_dir.h"
#include "text/civil_days.h"

namespace {

using testing_support::ReadFileBytes;
using testing_support::TempDir;
using zamri::JournalRecord;

constexpr int64_t kDay = 86400000;
constexpr int64_t kMinute = 60000;
const int64_t kDec8 = zamri::DaysFromCivil(2026, 12, 8) * kDay;

class JournalSearchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = dir.File("journal");
        writer.reset(new zamri::JournalWriter(folder, 0, [] { return kDec8; }));
        // Two tills printing at once, the second receipt of camera 2 crossing midnight.
        Add(kDec8 + 600 * kMinute, 1, 1, 10, "STORE 0042 TILL 1");
        Add(kDec8 + 601 * kMinute, 2, 1, 20, "STORE 0042 TILL 2");
        Add(kDec8 + 602 * kMinute, 1, 0, 10, "K\xC3\x84SE BR\xC3\x96TCHEN 2.40");
        Add(kDec8 + 603 * kMinute, 2, 0, 20, "VOID BREAD -1.20");
        Add(kDec8 + 604 * kMinute, 1, 2, 10, "TOTAL 2.40");
        Add(kDec8 + 605 * kMinute, 2, 6, 20, "TOTAL \"0.00\"");
        Add(kDec8 + kDay - kMinute, 2, 1, 21, "STORE 0042 TILL 2");
        Add(kDec8 + kDay + kMinute, 2, 0, 21, "void coffee -2.50");
        Add(kDec8 + kDay + 2 * kMinute, 2, 2, 21, "TOTAL 0.00");
        Add(kDec8 + kDay + 3 * kMinute, 3, 3, 1, "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D 5.00");
        writer.reset();
    }

    void Add(int64_t local, int camera, int flags, int64_t receipt, const std::string& text) {
        JournalRecord r;
        r.utcOffsetMinutes = 60;
        r.utcMilliseconds = local - 60 * kMinute;
        r.camera = camera;
        r.flags = flags;
        r.receipt = receipt;
        r.text = text;
        r.source = camera == 1 ? "/dev/ttyS0" : "192.168.1.20";
        ASSERT_EQ(writer->Append(r), 1);
    }

    // Each result as "text,text,..." with matching lines marked by '>'.
    std::vector<std::string> Find(zamri::FindQuery query) {
        zamri::JournalSearch search;
        std::string error;
        EXPECT_EQ(search.Prepare(query, &error), 1) << error;
        std::vector<std::string> results;
        EXPECT_EQ(search.Run(
                      folder,
                      [&](const zamri::FoundReceipt& r) {
                          std::string joined;
                          for (const auto& line : r.lines)
                              joined += (joined.empty() ? "" : ",") + std::string(line.match ? ">" : "") +
                                        line.record.text;
                          results.push_back(joined);
                          return true;
                      },
                      nullptr, &error),
                  1)
            << error;
        return results;
    }

    static zamri::FindQuery Text(const std::string& text) {
        zamri::FindQuery q;
        q.text = text;
        return q;
    }

    TempDir dir;
    std::string folder;
    std::unique_ptr<zamri::JournalWriter> writer;
};

TEST_F(JournalSearchTest, TextFindsWholeReceiptsInTheOrderTheyBegan) {
    using V = std::vector<std::string>;
    // Without regard to case, also for accented letters; the receipt across midnight is whole.
    EXPECT_EQ(Find(Text("void")), (V{"STORE 0042 TILL 2,>VOID BREAD -1.20,TOTAL \"0.00\"",
                                     "STORE 0042 TILL 2,>void coffee -2.50,TOTAL 0.00"}));
    EXPECT_EQ(Find(Text("k\xC3\xA4se")),
              (V{"STORE 0042 TILL 1,>K\xC3\x84SE BR\xC3\x96TCHEN 2.40,TOTAL 2.40"}));
    EXPECT_EQ(Find(Text("\"0.00\"")), (V{"STORE 0042 TILL 2,VOID BREAD -1.20,>TOTAL \"0.00\""}));
    EXPECT_EQ(Find(Text("\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D")), (V{">\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D 5.00"}));
    // Words in keys, sources and times are not text.
    EXPECT_TRUE(Find(Text("camera")).empty());
    EXPECT_TRUE(Find(Text("ttyS0")).empty());
    EXPECT_TRUE(Find(Text("2026")).empty());

    zamri::FindQuery exact = Text("void");
    exact.matchCase = true;
    EXPECT_EQ(Find(exact), (V{"STORE 0042 TILL 2,>void coffee -2.50,TOTAL 0.00"}));
}

TEST_F(JournalSearchTest, RegexCameraTimeAndLinesOnly) {
    using V = std::vector<std::string>;
    zamri::FindQuery q = Text("^total [0-9]+\\.[0-9]{2}$");
    q.regex = true;
    q.linesOnly = true;
    EXPECT_EQ(Find(q), (V{">TOTAL 2.40", ">TOTAL 0.00"}));

    q = Text("TOTAL");
    q.camera = 1;
    EXPECT_EQ(Find(q), (V{"STORE 0042 TILL 1,K\xC3\x84SE BR\xC3\x96TCHEN 2.40,>TOTAL 2.40"}));

    // Bounds are local time and inclusive to the minute named.
    q = zamri::FindQuery();
    q.from = "2026-12-08T10:03";
    q.to = "2026-12-08T10:04";
    q.linesOnly = true;
    EXPECT_EQ(Find(q), (V{">VOID BREAD -1.20", ">TOTAL 2.40"}));
    q.from = "2026-12-09";
    q.to = "2026-12-09";
    q.linesOnly = false;
    q.camera = 2;
    EXPECT_EQ(Find(q), (V{"STORE 0042 TILL 2,>void coffee -2.50,>TOTAL 0.00"}));

    zamri::JournalSearch search;
    std::string error;
    q = Text("(unclosed");
    q.regex = true;
    EXPECT_EQ(search.Prepare(q, &error), 0);
    EXPECT_NE(error.find("bad regular expression"), std::string::npos);
    q = zamri::FindQuery();
    q.from = "2026-13";
    EXPECT_EQ(search.Prepare(q, &error), 0);
    EXPECT_EQ(search.Prepare(zamri::FindQuery(), &error), 1);
    EXPECT_EQ(search.Run(
                  dir.File("missing"), [](const zamri::FoundReceipt&) { return true; }, nullptr, &error),
              0);
}

TEST_F(JournalSearchTest, RegularExpressionsRunInTimeThatGrowsWithTheTextOnly) {
    // Nested repetitions take exponential time in a backtracking matcher (this one took longer
    // than anyone waits); here the line is read in time polynomial in its length.
    writer.reset(new zamri::JournalWriter(folder, 0, [] { return kDec8; }));
    Add(kDec8 + 700 * kMinute, 7, 3, 1, std::string(400, 'a'));
    writer.reset();
    struct Case {
        const char* expression;
        size_t found;
    } cases[] = {{"(a|aa)*c", 0}, {"(a*)*c", 0}, {"^(a+)+$", 1}};
    for (const Case& c : cases) {
        zamri::FindQuery q = Text(c.expression);
        q.regex = true;
        q.camera = 7;
        EXPECT_EQ(Find(q).size(), c.found) << c.expression;
    }
    zamri::JournalSearch search;
    std::string error;
    zamri::FindQuery q = Text("(TOTAL).*\\1");
    q.regex = true;
    EXPECT_EQ(search.Prepare(q, &error), 0);
    EXPECT_NE(error.find("refers back to a group"), std::string::npos) << error;
}

// One busy day in a file of several blocks: 32 tills printing at once, so that every receipt
// spreads over about 90 KB of the file, and one till that never ends its receipt.
class LargeDayTest : public ::testing::Test {
  protected:
    static constexpr int kLinesPerReceipt = 20;
    static constexpr int kRounds = 60 * kLinesPerReceipt;

    void SetUp() override {
        folder = dir.File("journal");
        std::filesystem::create_directories(folder);
        std::string day;
        JournalRecord r;
        r.utcOffsetMinutes = 0;
        r.source = "10.0.0.5";
        int64_t t = kDec8 + 6 * 3600000LL;
        int receiptOf[33] = {};
        for (int round = 0; round < kRounds; ++round) {
            int line = round % kLinesPerReceipt;
            for (int camera = 1; camera <= 31; ++camera) {
                if (line == 0)
                    ++receiptOf[camera];
                int number = receiptOf[camera] * 100 + camera;
                bool needle = line == 12 && number % 7 == 0;
                r.utcMilliseconds = t += 50;
                r.camera = camera;
                r.receipt = number;
                r.flags = line == 0 ? 1 : (line == kLinesPerReceipt - 1 ? 2 : 0);
                r.text = needle ? "NEEDLE " + std::to_string(number)
                                : "ITEM " + std::to_string(number) + "/" + std::to_string(line);
                if (needle)
                    needles.push_back(number);
                zamri::AppendRecordLine(r, &day);
            }
            // The till that never ends its receipt prints two lines a round.
            for (int k = 0; k < 2; ++k) {
                int n = round * 2 + k;
                r.utcMilliseconds = t += 50;
                r.camera = 32;
                r.receipt = 1;
                r.flags = 0;
                r.text = n == 1500 ? "LOST KEY" : "ENDLESS " + std::to_string(n);
                zamri::AppendRecordLine(r, &day);
            }
        }
        ASSERT_TRUE(testing_support::WriteFileBytes(zamri::JoinPath(folder, "2026-12-08.jsonl"), day));
    }

    zamri::FindStats Run(const zamri::FindQuery& query, std::vector<zamri::FoundReceipt>* found,
                         zamri::JournalSearch::Clock clock = nullptr) {
        zamri::JournalSearch search;
        search.SetClock(clock);
        std::string error;
        EXPECT_EQ(search.Prepare(query, &error), 1) << error;
        zamri::FindStats stats;
        EXPECT_EQ(search.Run(
                      folder,
                      [&](const zamri::FoundReceipt& r) {
                          found->push_back(r);
                          return true;
                      },
                      &stats, &error),
                  1);
        return stats;
    }

    TempDir dir;
    std::string folder;
    std::vector<int> needles;
};

TEST_F(LargeDayTest, BlocksFindWholeReceiptsAnEndlessOneInPartsAndLimitsSaySo) {
    zamri::FindQuery q;
    q.text = "needle";
    std::vector<zamri::FoundReceipt> found;
    zamri::FindStats stats = Run(q, &found);
    EXPECT_GT(stats.bytes, 4 * zamri::JournalFileReader::kBlockBytes);
    ASSERT_EQ(found.size(), needles.size());
    ASSERT_GT(needles.size(), 100u);
    for (size_t i = 0; i < found.size(); ++i) {
        const auto& lines = found[i].lines;
        ASSERT_EQ(lines.size(), static_cast<size_t>(kLinesPerReceipt))
            << needles[i] << " first " << lines[0].record.text << " last " << lines.back().record.text;
        EXPECT_EQ(lines[0].record.flags, 1);
        EXPECT_EQ(lines[0].record.receipt, needles[i]);
        EXPECT_EQ(lines.back().record.flags, 2);
        EXPECT_TRUE(lines[12].match);
        EXPECT_FALSE(found[i].partial);
    }

    // The endless receipt comes in the part that holds the match, no longer than one result.
    found.clear();
    q.text = "lost key";
    Run(q, &found);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(found[0].partial);
    const auto& part = found[0].lines;
    ASSERT_LE(part.size(), zamri::kMaxResultLines);
    ASSERT_GT(part.size(), zamri::kMaxResultLines / 2);
    int first = std::atoi(part[0].record.text.c_str() + 8);
    for (size_t i = 0; i < part.size(); ++i) {
        int n = first + static_cast<int>(i);
        ASSERT_EQ(part[i].record.text, n == 1500 ? "LOST KEY" : "ENDLESS " + std::to_string(n)) << i;
        EXPECT_EQ(part[i].match, n == 1500);
    }
    EXPECT_LT(first, 1500);
    EXPECT_GT(first + part.size(), 1500u);

    // At most three results: the fourth is where the search stopped.
    found.clear();
    q.text = "needle";
    q.maxResults = 3;
    stats = Run(q, &found);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_TRUE(stats.capped);
    EXPECT_FALSE(stats.timedOut);
    EXPECT_EQ(stats.results, 3u);
    std::vector<zamri::FoundReceipt> all;
    q.maxResults = 0;
    Run(q, &all);
    std::string fourth = zamri::FormatRecordTime(all[3].lines[0].record.utcMilliseconds, 0).substr(0, 19);
    EXPECT_EQ(stats.stoppedAt, fourth);

    // A clock that runs a second per reading: the time limit of ten seconds comes first.
    found.clear();
    q.timeLimitMilliseconds = 10000;
    int64_t now = 0;
    stats = Run(q, &found, [&] { return now += 1000; });
    EXPECT_TRUE(stats.timedOut);
    EXPECT_FALSE(stats.capped);
    EXPECT_LT(found.size(), needles.size());
    EXPECT_EQ(stats.stoppedAt.substr(0, 11), "2026-12-08T");
}

TEST(FindTimeTest, FormsPeopleType) {
    const int64_t now = kDec8 + 14 * 3600000LL;
    struct Case {
        const char* text;
        const char* bound;  // nullptr: refused
    } cases[] = {
        {"today", "2026-12-08"},
        {"yesterday", "2026-12-07"},
        {"2026-02-28", "2026-02-28"},
        {"2026-12-01 09:30", "2026-12-01T09:30"},
        {"2026-12-01T09:30:15", "2026-12-01T09:30:15"},
        {"14:05", "2026-12-08T14:05"},
        {"yesterday 23:59", "2026-12-07T23:59"},
        {"2026-02-30", nullptr},
        {"24:00", nullptr},
        {"tomorrow", nullptr},
        {"2026-12-01 9:30", nullptr},
        {"", nullptr},
    };
    for (const Case& c : cases) {
        std::string bound;
        EXPECT_EQ(zamri::ParseFindTime(c.text, now, &bound), c.bound != nullptr) << c.text;
        if (c.bound != nullptr) {
            EXPECT_EQ(bound, c.bound) << c.text;
        }
    }
}

TEST_F(JournalSearchTest, ZamriFindPrintsReceiptsLinesAndJson) {
    char self[1024];
    ASSERT_GT(zamri::GetExecutablePath(self, sizeof self), 0);
    std::string program(self);
    program = program.substr(0, program.find_last_of("/\\") + 1) + "zamri-find";
    std::string out = dir.File("out.txt");
    std::string err = dir.File("err.txt");
    auto run = [&](const std::string& args) {
        return std::system(
            (program + " -q --journal " + folder + " " + args + " > " + out + " 2> " + err).c_str());
    };
    ASSERT_EQ(run("void --from 2026-12-08 --to \"2026-12-08 23:00\""), 0);
    EXPECT_EQ(ReadFileBytes(out),
              "== 2026-12-08 10:01:00  camera 2  receipt 20  192.168.1.20\n"
              "  10:01:00.000  STORE 0042 TILL 2\n"
              "> 10:03:00.000  VOID BREAD -1.20\n"
              "  10:05:00.000  TOTAL \"0.00\"\n");
    ASSERT_EQ(run("--lines --camera 2 --regex \"^void\""), 0);
    EXPECT_EQ(ReadFileBytes(out),
              "2026-12-08 10:03:00.000  camera 2  receipt 20  VOID BREAD -1.20\n"
              "2026-12-09 00:01:00.000  camera 2  receipt 21  void coffee -2.50\n");
    ASSERT_EQ(run("--json --camera 3"), 0);
    EXPECT_EQ(
        ReadFileBytes(out),
        "{\"time\":\"2026-12-09T00:03:00.000+01:00\",\"camera\":3,\"flags\":3,\"source\":\"192.168.1.20\","
        "\"receipt\":1,\"text\":\"\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D 5.00\",\"match\":true}\n");
    // A search that stops at its limit says so, --quiet or not.
    ASSERT_EQ(run("--max 1 void"), 0);
    EXPECT_EQ(ReadFileBytes(out).find("void coffee"), std::string::npos);
    EXPECT_NE(ReadFileBytes(err).find("zamri-find: stopped after 1 receipts (--max); the journal from "
                                      "2026-12-08 23:59:00 on was not searched"),
              std::string::npos)
        << ReadFileBytes(err);
    EXPECT_NE(run("nothing-like-this"), 0);
    EXPECT_NE(run("--camera 33"), 0);
    EXPECT_NE(run("--from someday"), 0);
}

TEST_F(JournalSearchTest, SearchesAJournalWhileItIsWritten) {
    std::atomic<bool> stop{false};
    std::atomic<int64_t> receipts{0};
    std::thread till([&] {
        zamri::JournalWriter w(folder, 0, [] { return kDec8 + kDay; });
        for (int64_t n = 100; n < 2100; ++n) {
            for (int i = 0; i < 4; ++i) {
                JournalRecord r;
                r.utcMilliseconds = kDec8 + kDay + 10 * kMinute + n;
                r.camera = 4;
                r.flags = i == 0 ? 1 : (i == 3 ? 2 : 0);
                r.receipt = n;
                r.text = i == 3 ? "TOTAL LIVE " + std::to_string(n) : "ITEM " + std::to_string(i);
                ASSERT_EQ(w.Append(r), 1);
            }
            receipts.store(n - 99);
            if (n % 50 == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));  // pace, not a check
        }
        stop.store(true);
    });
    // Every search sees whole receipts only, and sees more of them as the writer goes on.
    size_t last = 0;
    for (int round = 0; !stop.load() && round < 100000; ++round) {
        auto found = Find(Text("live"));
        for (const std::string& r : found)
            ASSERT_EQ(r.rfind("ITEM 0,ITEM 1,ITEM 2,>TOTAL LIVE ", 0), 0u) << r;
        ASSERT_GE(found.size(), last);
        last = found.size();
    }
    till.join();
    EXPECT_GT(last, 0u);
    EXPECT_EQ(Find(Text("live")).size(), 2000u);
}

}  // namespace
