// The one queue between threads: both policies, both kinds of consumer, and its stop.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/work_queue.h"
#include "support/wait.h"

using testing_support::WaitUntil;
using zamri::WhenFull;
using zamri::WorkQueue;

namespace {

// Holds the worker inside its call until the test opens it.
class Gate {
  public:
    void Pass() {
        std::unique_lock<std::mutex> guard(lock);
        ++inside;
        changed.notify_all();
        changed.wait(guard, [this] { return open; });
    }
    bool WaitInside(int count) {
        return WaitUntil([&] {
            std::lock_guard<std::mutex> guard(lock);
            return inside >= count;
        });
    }
    void Open() {
        std::lock_guard<std::mutex> guard(lock);
        open = true;
        changed.notify_all();
    }

  private:
    std::mutex lock;
    std::condition_variable changed;
    int inside = 0;
    bool open = false;
};

TEST(WorkQueue, AWaitingProducerIsHeldWhileFullAndGoesOnOnceHalfIsFree) {
    WorkQueue<int> queue(4, WhenFull::kWait);
    Gate gate;
    std::vector<int> seen;
    std::mutex seenLock;
    ASSERT_EQ(queue.Start([&](int& item) {
        gate.Pass();
        std::lock_guard<std::mutex> guard(seenLock);
        seen.push_back(item);
    }),
              1);
    std::atomic<int> pushed{0};
    std::thread producer([&] {
        for (int i = 0; i < 20; ++i) {
            queue.Push(i);
            ++pushed;
        }
    });
    // The worker holds item 0 in its call: three more fit, the fifth push waits.
    ASSERT_TRUE(gate.WaitInside(1));
    ASSERT_TRUE(WaitUntil([&] { return pushed.load() == 4; }));
    EXPECT_EQ(queue.Count(), 4u);
    gate.Open();
    producer.join();
    queue.Stop(-1);
    EXPECT_EQ(seen.size(), 20u);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(seen[static_cast<size_t>(i)], i);
    EXPECT_EQ(queue.Dropped(), 0u);
}

TEST(WorkQueue, ARestingWorkerTakesTheFirstItemAtOnceAndEndsItsRestForABurstOrAStop) {
    WorkQueue<int> queue(8, WhenFull::kDropAndCount);
    queue.SetRestAfterWork(60 * 60 * 1000);
    std::mutex seenLock;
    std::vector<int> seen;
    std::atomic<int> idles{0};
    ASSERT_EQ(queue.Start(
                  [&](int& item) {
                      std::lock_guard<std::mutex> guard(seenLock);
                      seen.push_back(item);
                  },
                  [&] { ++idles; }),
              1);
    ASSERT_TRUE(WaitUntil([&] { return idles.load() >= 1; }));  // the start's empty queue
    int before = idles.load();
    ASSERT_TRUE(queue.Push(1));
    // Taken at once, and what it left is flushed before the worker rests.
    ASSERT_TRUE(WaitUntil([&] { return queue.Consumed() == 1 && idles.load() > before; }));
    ASSERT_TRUE(queue.Push(2));
    ASSERT_TRUE(queue.Push(3));
    // A quarter of the queue gathered ends the hour's rest: a burst never fills it meanwhile.
    ASSERT_TRUE(WaitUntil([&] { return queue.Consumed() == 3; }));
    ASSERT_TRUE(queue.Push(4));
    // The rest ends with the stop too, and what gathered meanwhile is still worked off.
    EXPECT_EQ(queue.Stop(-1), 1);
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(queue.Dropped(), 0u);
}

TEST(WorkQueue, AStopReleasesAWaitingProducerWithItsItemDropped) {
    WorkQueue<int> queue(1, WhenFull::kWait);
    ASSERT_TRUE(queue.Push(1));  // no worker: it stays
    std::atomic<int> result{-1};
    std::thread producer([&] { result = queue.Push(2) ? 1 : 0; });
    ASSERT_TRUE(WaitUntil([&] { return result.load() == -1 && queue.Count() == 1; }));
    queue.Stop();
    producer.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(queue.Dropped(), 2u);  // the one it held and the one that waited
}

TEST(WorkQueue, APullingConsumerSeesTimeOutsThenTheQueueDrainedAfterClose) {
    WorkQueue<std::string> queue(8, WhenFull::kDropAndCount);
    std::string item;
    EXPECT_EQ(queue.Pop(&item, 1), WorkQueue<std::string>::Popped::kTimedOut);
    // Small pieces join the newest item.
    auto push = [&queue](std::string piece) {
        return queue.PushOrJoin(
            [&piece](std::string& newest) {
                if (newest.size() + piece.size() > 4)
                    return false;
                newest += piece;
                return true;
            },
            [&piece] { return piece; });
    };
    push("ab");
    push("cd");
    push("efg");
    queue.Close();
    EXPECT_FALSE(queue.Push("late"));
    ASSERT_EQ(queue.Pop(&item), WorkQueue<std::string>::Popped::kItem);
    EXPECT_EQ(item, "abcd");
    ASSERT_EQ(queue.Pop(&item), WorkQueue<std::string>::Popped::kItem);
    EXPECT_EQ(item, "efg");
    EXPECT_EQ(queue.Pop(&item), WorkQueue<std::string>::Popped::kEnded);
    EXPECT_EQ(queue.Accepted(), 2u);
    EXPECT_EQ(queue.Dropped(), 1u);
}

TEST(WorkQueue, AStopLeavesAStuckWorkerToFinishAloneAfterTheQueueIsGone) {
    auto gate = std::make_shared<Gate>();
    auto done = std::make_shared<std::atomic<int>>(0);
    {
        WorkQueue<int> queue(8, WhenFull::kDropAndCount);
        // What the worker runs holds its own share of everything it touches.
        ASSERT_EQ(queue.Start([gate, done](int&) {
            gate->Pass();
            ++*done;
        }),
                  1);
        queue.Push(1);
        queue.Push(2);
        ASSERT_TRUE(gate->WaitInside(1));
        EXPECT_EQ(queue.Stop(-1, 50), 0);
    }
    gate->Open();
    // Told to finish what was queued, it does so on its own.
    EXPECT_TRUE(WaitUntil([&] { return done->load() == 2; }));
}

}  // namespace
