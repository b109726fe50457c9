#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "delivery/overlay_output.h"
#include "program/program.h"
#include "support/overlay_log.h"

using testing_support::OverlayLogFile;
using testing_support::SetEnv;

TEST(OverlayOutput, TheProgramOpensOnceAndClosesOnce) {
    OverlayLogFile log;
    { zamri::Program program; }
    auto calls = log.All();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].name, "OV_open");
    EXPECT_EQ(calls[0].numbers[0], 0);
    EXPECT_EQ(calls[0].numbers[1], 1);
    EXPECT_EQ(calls[1].name, "OV_close");
    EXPECT_EQ(calls[1].numbers[0], calls[0].numbers[2]);
}

TEST(OverlayOutput, LinesAreDroppedUntilTheLibraryOpensThenTheHandleIsKept) {
    OverlayLogFile log;
    SetEnv("OVTEXT_FAIL_OPENS", "2");
    {
        OverlayOutput overlay;  // first open fails
        EXPECT_EQ(overlay.Handle(), 0);
        overlay.WriteOverlayLine(0, 1, "lost");  // second open fails: dropped
        overlay.WriteOverlayLine(3, 4, "kept");  // third open succeeds
        overlay.WriteOverlayLine(31, 2, "");
        EXPECT_NE(overlay.Handle(), 0);
    }
    SetEnv("OVTEXT_FAIL_OPENS", nullptr);
    auto calls = log.All();
    std::vector<std::string> names;
    for (auto& call : calls)
        names.push_back(call.name);
    EXPECT_EQ(names, (std::vector<std::string>{"OV_open", "OV_open", "OV_open", "OV_write", "OV_write",
                                               "OV_close"}));
    auto writes = log.Writes();
    EXPECT_EQ(writes[0].numbers, (std::vector<long long>{calls[2].numbers[2], 3, 4}));
    EXPECT_EQ(writes[0].text, "kept");
    EXPECT_EQ(writes[1].numbers[1], 31);
    EXPECT_EQ(calls.back().numbers[0], calls[2].numbers[2]);
}

TEST(OverlayOutput, EveryLineFromManyThreadsArrivesOnceInItsThreadsOrder) {
    OverlayLogFile log;
    SetEnv("OVTEXT_FAIL_OPENS", "1");
    const int kThreads = 6;
    const int kLines = 400;
    {
        OverlayOutput overlay;
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&overlay, t] {
                for (int i = 0; i < kLines; ++i) {
                    overlay.WriteOverlayLine(t, i % 2 == 0 ? 1 : 2, ("line " + std::to_string(i)).c_str());
                }
            });
        }
        for (auto& thread : threads)
            thread.join();
    }
    SetEnv("OVTEXT_FAIL_OPENS", nullptr);
    int opens = 0;
    for (auto& call : log.All())
        opens += call.name == "OV_open";
    EXPECT_EQ(opens, 2);  // the failed one at construction and exactly one lazy open
    std::vector<int> next(kThreads, 0);
    auto writes = log.Writes();
    ASSERT_EQ(writes.size(), static_cast<size_t>(kThreads * kLines));
    for (auto& write : writes) {
        int t = static_cast<int>(write.numbers[1]);
        EXPECT_EQ(write.text, "line " + std::to_string(next[t]));
        EXPECT_EQ(write.numbers[2], next[t] % 2 == 0 ? 1 : 2);
        ++next[t];
    }
}
