// A bounded first-in-first-out ring of fixed-size items with its own lock, held only inside
// each operation. One block holds the header and capacity + 1 slots. Every operation
// tolerates a null queue by doing nothing.
#pragma once

#include <mutex>

struct RingQueue {
    std::mutex lock;
    int count = 0;
    int readIndex = 0;
    int writeIndex = 0;
    int itemSize = 0;
    int capacity = 0;
    unsigned char* slots = nullptr;
};

// itemSize > 0 and capacity > 1, else null; null also when the block cannot be allocated.
RingQueue* QueueCreate(int itemSize, int capacity);
// Discards every item and frees the block.
void QueueDestroy(RingQueue* queue);
// Copies itemSize bytes in; 1, or 0 at once when the queue is full (the producer decides how
// to wait for room).
int QueuePush(RingQueue* queue, const void* item);
// The oldest item, left in the queue (and its slot untouched) until QueuePop; null when empty.
void* QueueFront(RingQueue* queue);
// 1 after removing the oldest item, 0 when empty.
int QueuePop(RingQueue* queue);
// Items held.
int QueueCount(RingQueue* queue);
