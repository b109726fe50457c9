#include "tcp/ring_queue.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {
// Slots start after the header, aligned for any item.
constexpr size_t kHeaderSize = (sizeof(RingQueue) + alignof(std::max_align_t) - 1) /
                               alignof(std::max_align_t) * alignof(std::max_align_t);
}  // namespace

RingQueue* QueueCreate(int itemSize, int capacity) {
    if (itemSize <= 0 || capacity <= 1)
        return nullptr;
    size_t slotCount = static_cast<size_t>(capacity) + 1;
    if (slotCount > (SIZE_MAX - kHeaderSize) / static_cast<size_t>(itemSize))
        return nullptr;
    void* block = std::calloc(1, kHeaderSize + slotCount * static_cast<size_t>(itemSize));
    if (block == nullptr)
        return nullptr;
    RingQueue* queue = new (block) RingQueue;
    queue->itemSize = itemSize;
    queue->capacity = capacity;
    queue->slots = static_cast<unsigned char*>(block) + kHeaderSize;
    return queue;
}

void QueueDestroy(RingQueue* queue) {
    if (queue == nullptr)
        return;
    queue->~RingQueue();
    std::free(queue);
}

int QueuePush(RingQueue* queue, const void* item) {
    if (queue == nullptr || item == nullptr)
        return 0;
    std::lock_guard<std::mutex> guard(queue->lock);
    if (queue->count >= queue->capacity)
        return 0;
    std::memcpy(queue->slots + static_cast<size_t>(queue->writeIndex) * queue->itemSize, item,
                static_cast<size_t>(queue->itemSize));
    if (++queue->writeIndex > queue->capacity)
        queue->writeIndex = 0;
    ++queue->count;
    return 1;
}

void* QueueFront(RingQueue* queue) {
    if (queue == nullptr)
        return nullptr;
    std::lock_guard<std::mutex> guard(queue->lock);
    if (queue->count == 0)
        return nullptr;
    return queue->slots + static_cast<size_t>(queue->readIndex) * queue->itemSize;
}

int QueuePop(RingQueue* queue) {
    if (queue == nullptr)
        return 0;
    std::lock_guard<std::mutex> guard(queue->lock);
    if (queue->count == 0)
        return 0;
    if (++queue->readIndex > queue->capacity)
        queue->readIndex = 0;
    --queue->count;
    return 1;
}

int QueueCount(RingQueue* queue) {
    if (queue == nullptr)
        return 0;
    std::lock_guard<std::mutex> guard(queue->lock);
    return queue->count;
}
