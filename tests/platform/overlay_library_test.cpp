#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/overlay_record.h"
#include "platform/ovtext.h"
#include "support/overlay_log.h"

using testing_support::OverlayLogFile;
using testing_support::SetEnv;

TEST(OverlayRecord, EveryByteSurvivesEscaping) {
    std::string all;
    for (int c = 1; c < 256; ++c)
        all += static_cast<char>(c);
    std::string escaped;
    zamri::AppendEscapedText(escaped, all.c_str());
    for (char c : escaped) {
        unsigned char u = static_cast<unsigned char>(c);
        EXPECT_TRUE(u >= 0x20 && u < 0x7F) << "raw byte " << int(u) << " in the record";
    }
    EXPECT_EQ(zamri::UnescapeText(escaped), all);

    std::string sample;
    zamri::AppendEscapedText(sample, "a\\b\tc\r\n\x0C\x7F\xE9");
    EXPECT_EQ(sample, "a\\\\b\\tc\\r\\n\\x0C\\x7F\\xE9");
}

TEST(OverlayLibrary, RecordsEveryCallInOrder) {
    OverlayLogFile log;
    int handle = OV_open(0, 1);
    ASSERT_NE(handle, 0);
    OV_write(handle, 0, 1, "FIRST LINE");
    OV_write(handle, 31, 6, "tab\there");
    OV_write(handle, 5, 2, "");
    OV_close(handle);
    auto calls = log.All();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0].name, "OV_open");
    EXPECT_EQ(calls[0].numbers, (std::vector<long long>{0, 1, handle}));
    EXPECT_EQ(calls[1].numbers, (std::vector<long long>{handle, 0, 1}));
    EXPECT_EQ(calls[1].text, "FIRST LINE");
    EXPECT_EQ(calls[2].numbers, (std::vector<long long>{handle, 31, 6}));
    EXPECT_EQ(calls[2].text, "tab\there");
    EXPECT_EQ(calls[3].text, "");
    EXPECT_EQ(calls[4].name, "OV_close");
    EXPECT_EQ(calls[4].numbers, (std::vector<long long>{handle}));
}

TEST(OverlayLibrary, CanPlayAnUnavailableLibrary) {
    OverlayLogFile log;
    SetEnv("OVTEXT_FAIL_OPENS", "2");
    EXPECT_EQ(OV_open(0, 1), 0);
    EXPECT_EQ(OV_open(0, 1), 0);
    EXPECT_NE(OV_open(0, 1), 0);
    SetEnv("OVTEXT_FAIL_OPENS", nullptr);
}

TEST(OverlayLibrary, ConcurrentWritersNeverInterleave) {
    OverlayLogFile log;
    int handle = OV_open(0, 1);
    const int kThreads = 8;
    const int kLines = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([=] {
            std::string text(200, static_cast<char>('A' + t));
            for (int i = 0; i < kLines; ++i)
                OV_write(handle, t, 0, (text + std::to_string(i)).c_str());
        });
    }
    for (auto& thread : threads)
        thread.join();
    auto writes = log.Writes();
    ASSERT_EQ(writes.size(), static_cast<size_t>(kThreads * kLines));
    std::vector<int> next(kThreads, 0);
    for (const auto& write : writes) {
        int t = static_cast<int>(write.numbers[1]);
        ASSERT_GE(t, 0);
        ASSERT_LT(t, kThreads);
        // Each thread's lines arrive whole and in its own order.
        EXPECT_EQ(write.text, std::string(200, static_cast<char>('A' + t)) + std::to_string(next[t]++));
    }
}
