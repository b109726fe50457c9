// The bounded line queue: order, wrap-around, limits and one producer against one consumer.
#include <gtest/gtest.h>

#include <thread>

#include "tcp/ring_queue.h"

namespace {

TEST(RingQueueTest, RefusesBadShapesAndToleratesANullQueue) {
    EXPECT_EQ(QueueCreate(0, 10), nullptr);
    EXPECT_EQ(QueueCreate(4, 1), nullptr);
    EXPECT_EQ(QueueCreate(-4, 10), nullptr);
    int item = 1;
    EXPECT_EQ(QueuePush(nullptr, &item), 0);
    EXPECT_EQ(QueueFront(nullptr), nullptr);
    EXPECT_EQ(QueuePop(nullptr), 0);
    EXPECT_EQ(QueueCount(nullptr), 0);
    QueueDestroy(nullptr);
}

TEST(RingQueueTest, HoldsExactlyCapacityItemsInOrderAcrossManyWraps) {
    RingQueue* queue = QueueCreate(sizeof(int), 3);
    ASSERT_NE(queue, nullptr);
    EXPECT_EQ(QueueFront(queue), nullptr);
    EXPECT_EQ(QueuePop(queue), 0);
    int next = 0;
    int expected = 0;
    for (int round = 0; round < 10; ++round) {
        while (QueuePush(queue, &next))
            ++next;
        EXPECT_EQ(QueueCount(queue), 3);
        // Take two, leave one, so the indices wrap at different places each round.
        for (int k = 0; k < 2; ++k) {
            int* front = static_cast<int*>(QueueFront(queue));
            ASSERT_NE(front, nullptr);
            EXPECT_EQ(*front, expected++);
            EXPECT_EQ(QueuePop(queue), 1);
        }
    }
    while (int* front = static_cast<int*>(QueueFront(queue))) {
        EXPECT_EQ(*front, expected++);
        QueuePop(queue);
    }
    EXPECT_EQ(expected, next);
    QueueDestroy(queue);
}

TEST(RingQueueTest, OneProducerOneConsumerLoseNothing) {
    RingQueue* queue = QueueCreate(sizeof(long), 64);
    ASSERT_NE(queue, nullptr);
    const long total = 200000;
    std::thread producer([queue, total] {
        for (long i = 0; i < total;) {
            if (QueuePush(queue, &i)) {
                ++i;
            } else {
                std::this_thread::yield();
            }
        }
    });
    long expected = 0;
    while (expected < total) {
        long* front = static_cast<long*>(QueueFront(queue));
        if (front == nullptr) {
            std::this_thread::yield();
            continue;
        }
        ASSERT_EQ(*front, expected);
        ++expected;
        QueuePop(queue);
    }
    producer.join();
    EXPECT_EQ(QueueCount(queue), 0);
    QueueDestroy(queue);
}

}  // namespace
