// A queue's worker gives up preempting the thread that woke it (the batch class), and a class the
// administrator chose for the program is kept.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <thread>

#include "platform/os.h"
#include "platform/work_queue.h"
#include "support/wait.h"

namespace {

int CurrentPolicy() {
    int policy = -1;
    sched_param param{};
    pthread_getschedparam(pthread_self(), &policy, &param);
    return policy;
}

TEST(BackgroundWorker, QueueWorkerRunsInTheBatchClass) {
    std::atomic<int> seen{-1};
    zamri::WorkQueue<int> queue(4, zamri::WhenFull::kDropAndCount);
    ASSERT_EQ(queue.Start([&](int&) { seen = CurrentPolicy(); }), 1);
    ASSERT_TRUE(queue.Push(1));
    ASSERT_TRUE(testing_support::WaitUntil([&] { return seen.load() != -1; }));
    EXPECT_EQ(seen.load(), SCHED_BATCH);
}

TEST(BackgroundWorker, AChosenClassStays) {
    int result = -1;
    int policy = -1;
    std::thread([&] {
        sched_param param{};
        if (pthread_setschedparam(pthread_self(), SCHED_IDLE, &param) != 0)
            return;
        result = zamri::MarkThreadAsBackgroundWorker();
        policy = CurrentPolicy();
    }).join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(policy, SCHED_IDLE);
}

}  // namespace
