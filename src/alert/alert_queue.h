// The queue between the threads that report events and a webhook's sending thread: bounded,
// first in first out; a push into a full queue drops the item and returns at once, so a
// capture thread never waits for a receiver. The consumer takes items with Pop. This is the
// drop-and-count, Pop-consumer subset of the program's shared work queue, with its names, so
// the one can take the other's place.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <utility>

namespace zamri {

template <typename T>
class AlertQueue {
  public:
    enum class Popped { kItem, kTimedOut, kEnded };

    explicit AlertQueue(size_t capacity) : capacity(capacity > 0 ? capacity : 1) {}
    AlertQueue(const AlertQueue&) = delete;
    AlertQueue& operator=(const AlertQueue&) = delete;

    // Any thread, never waits long. false when the item was dropped: the queue is full or closed.
    bool Push(T item) {
        std::unique_lock<std::mutex> guard(lock);
        if (closed || items.size() >= capacity)
            return false;
        items.push_back(std::move(item));
        bool wake = consumerWaiting;
        guard.unlock();
        if (wake)
            arrived.notify_one();
        return true;
    }

    // The oldest item, waiting at most timeoutMilliseconds (-1: no limit). kEnded once the
    // queue is closed and empty.
    Popped Pop(T* out, int timeoutMilliseconds = -1) {
        std::unique_lock<std::mutex> guard(lock);
        auto due = [this] { return !items.empty() || closed; };
        consumerWaiting = true;
        bool ready = true;
        if (timeoutMilliseconds < 0)
            arrived.wait(guard, due);
        else
            ready = arrived.wait_for(guard, std::chrono::milliseconds(timeoutMilliseconds), due);
        consumerWaiting = false;
        if (!ready)
            return Popped::kTimedOut;
        if (items.empty())
            return Popped::kEnded;
        *out = std::move(items.front());
        items.pop_front();
        return Popped::kItem;
    }

    // No more items: pushes are dropped from now on; Pop hands out what is queued, then kEnded.
    void Close() {
        {
            std::lock_guard<std::mutex> guard(lock);
            closed = true;
        }
        arrived.notify_all();
    }

    size_t Count() const {
        std::lock_guard<std::mutex> guard(lock);
        return items.size();
    }
    size_t Capacity() const { return capacity; }

  private:
    const size_t capacity;
    mutable std::mutex lock;
    std::condition_variable arrived;
    std::deque<T> items;
    bool closed = false;
    bool consumerWaiting = false;
};

}  // namespace zamri
