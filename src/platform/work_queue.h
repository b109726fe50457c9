// The program's one kind of queue between threads: a bounded first-in-first-out queue and the
// thread that works it off. What a producer does when the queue is full is the queue's policy:
//   kDropAndCount  the item is dropped and counted, and the producer goes on at once (a sink's
//                  lines: capture never waits for a disk, a collector or a browser);
//   kWait          the producer waits until half the queue is free again (TCP mode's network
//                  thread: the senders then wait in TCP, nothing is lost).
// The consumer is either the queue's own worker (Start: one call per item, in order, and an idle
// call each time the queue has run empty) or a thread of the owner's that takes items with Pop.
//
// Wake-ups cost more than the work at a store's rates, so none is wasted: a producer wakes the
// worker only when it waits for work (never one that is busy, or already woken), and a worker
// that wakes takes everything queued by then under one lock and works it off before it looks
// again.
//
// An item counts towards the capacity until the worker is done with it, so a consumer that is
// stuck holds at most capacity items. Items are kept as they are given (a shared line, a string,
// a chunk of bytes), so a queue holds what its items hold, not a fixed record per slot.
//
// The worker and what it runs share the queue's state, so a worker that Stop stopped waiting for
// (one stuck in a message box) can finish on its own after the queue object is gone; what it
// runs must then touch nothing but the item.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/os.h"

namespace zamri {

enum class WhenFull { kDropAndCount, kWait };

template <typename T>
class WorkQueue {
  public:
    using Consume = std::function<void(T& item)>;
    using Idle = std::function<void()>;
    enum class Popped { kItem, kTimedOut, kEnded };

    // capacity: items held at most (at least 1).
    WorkQueue(size_t capacity, WhenFull policy) : state(std::make_shared<State>(capacity, policy)) {}
    ~WorkQueue() { Stop(0); }
    WorkQueue(const WorkQueue&) = delete;
    WorkQueue& operator=(const WorkQueue&) = delete;

    // Any thread. true when the item was queued; false when it was dropped (and counted): the
    // queue is full under kDropAndCount, or it has been closed or stopped.
    bool Push(T item) {
        return PushOrJoin([](T&) { return false; }, [&item]() -> T&& { return std::move(item); });
    }
    // The same, but what is pushed may join the newest item queued instead: join(newest) returns
    // true when it took it in, else make() gives the item to queue. Small pieces of a byte stream
    // need not cost an item (or a copy) each.
    template <typename Join, typename Make>
    bool PushOrJoin(Join join, Make make) {
        State& s = *state;
        std::unique_lock<std::mutex> guard(s.lock);
        if (s.policy == WhenFull::kWait) {
            while (s.Held() >= s.capacity && s.Open()) {
                s.producersWaiting = true;
                s.room.wait(guard);
            }
        }
        if (!s.Open()) {
            ++s.dropped;
            return false;
        }
        // Never into an item the worker has taken (those are no longer in items).
        bool joinable = !s.items.empty();
        if (!joinable || !join(s.items.back())) {
            if (s.Held() >= s.capacity) {
                ++s.dropped;
                return false;
            }
            s.items.push_back(make());
            ++s.accepted;
        }
        // Only a consumer that waits is woken, and only once: one that is busy or resting, or
        // already woken, finds the item anyway. A rest ends early once a quarter of the queue
        // has gathered, so that a burst never fills it while the worker rests.
        if (s.consumerWaiting || (s.resting && s.RestIsOver())) {
            s.consumerWaiting = false;
            s.resting = false;
            guard.unlock();
            s.arrived.notify_one();
        }
        return true;
    }

    // Before Start: after each batch the worker rests this long before it looks again (0, the
    // default: it never rests). The first item after a quiet spell is still taken at once; the
    // ones that follow it gather meanwhile and are taken together, so a steady trickle costs a
    // wake-up per rest rather than per item. A stop or close ends the rest at once, and so does
    // a quarter of the capacity gathered.
    void SetRestAfterWork(int milliseconds) {
        std::lock_guard<std::mutex> guard(state->lock);
        state->restMilliseconds = milliseconds > 0 ? milliseconds : 0;
    }

    // Starts the worker; 1, or 0 when it cannot be started (it runs already, the queue has been
    // stopped, or the system has no thread for it). Items pushed before Start wait for it.
    int Start(Consume consume, Idle idle = nullptr) {
        std::lock_guard<std::mutex> serial(stopLock);
        std::lock_guard<std::mutex> guard(state->lock);
        if (state->phase != Phase::kIdle || worker.joinable())
            return 0;
        state->consume = std::move(consume);
        state->idle = std::move(idle);
        try {
            worker = std::thread(&WorkQueue::WorkerLoop, state);
        } catch (const std::system_error&) {
            return 0;
        }
        state->phase = Phase::kRunning;
        return 1;
    }

    // For a consumer of the owner's: the oldest item, waiting for one at most timeoutMilliseconds
    // (-1: no limit). kEnded once the queue is closed and empty, or stopped.
    Popped Pop(T* out, int timeoutMilliseconds = -1) {
        State& s = *state;
        std::unique_lock<std::mutex> guard(s.lock);
        auto due = [&s] {
            return !s.items.empty() || s.phase == Phase::kStopping || s.phase == Phase::kStopped || s.closed;
        };
        s.consumerWaiting = true;
        bool ready = true;
        if (timeoutMilliseconds < 0)
            s.arrived.wait(guard, due);
        else
            ready = s.arrived.wait_for(guard, std::chrono::milliseconds(timeoutMilliseconds), due);
        s.consumerWaiting = false;
        if (!ready)
            return Popped::kTimedOut;
        if (s.items.empty() || s.phase == Phase::kStopping || s.phase == Phase::kStopped)
            return Popped::kEnded;
        *out = std::move(s.items.front());
        s.items.pop_front();
        ++s.consumed;
        s.MaybeWakeProducers(guard);
        return Popped::kItem;
    }

    // No more items: pushes are dropped from now on, and the consumer ends once it has taken what
    // is queued.
    void Close() {
        {
            std::lock_guard<std::mutex> guard(state->lock);
            state->closed = true;
        }
        state->arrived.notify_all();
        state->room.notify_all();
    }

    // Drops what is queued (counted), except the items the worker has taken; each dropped item
    // is shown to dropped(item) first, under the queue's lock.
    void Clear() {
        Clear([](T&) {});
    }
    template <typename Visit>
    void Clear(Visit dropped) {
        State& s = *state;
        std::unique_lock<std::mutex> guard(s.lock);
        while (!s.items.empty()) {
            dropped(s.items.back());
            s.items.pop_back();
            ++s.dropped;
        }
        s.MaybeWakeProducers(guard);
    }

    // Ends the worker: it goes on with what is queued for at most finishMilliseconds (-1: until
    // the queue is empty), then ends; what is left is counted as dropped, and so is whatever is
    // pushed from now on. Waits for the worker at most waitMilliseconds (-1: until it has ended)
    // and returns 1 once it has, 0 when it was left to end on its own. Also releases producers
    // that wait for room, and a consumer in Pop. Safe to call more than once.
    int Stop(int finishMilliseconds = 0, int waitMilliseconds = -1) {
        std::lock_guard<std::mutex> serial(stopLock);
        State& s = *state;
        {
            std::lock_guard<std::mutex> guard(s.lock);
            if (s.phase == Phase::kStopping && !worker.joinable())
                return 0;  // an earlier stop left the worker to finish on its own
            if (s.phase == Phase::kIdle || s.phase == Phase::kStopped) {
                s.phase = Phase::kStopped;
                s.dropped += s.items.size();
                s.items.clear();
            } else {
                s.phase = Phase::kStopping;
                s.stopAsked = true;
                s.unbounded = finishMilliseconds < 0;
                s.finishAt =
                    Clock::now() + std::chrono::milliseconds(finishMilliseconds > 0 ? finishMilliseconds : 0);
            }
        }
        s.arrived.notify_all();
        s.room.notify_all();
        if (!worker.joinable())
            return 1;
        if (waitMilliseconds >= 0) {
            std::unique_lock<std::mutex> guard(s.lock);
            if (!s.ended.wait_for(guard, std::chrono::milliseconds(waitMilliseconds),
                                  [&s] { return s.workerEnded; })) {
                worker.detach();  // it holds the state; it ends when what it runs returns
                return 0;
            }
        }
        worker.join();
        std::lock_guard<std::mutex> guard(s.lock);
        s.dropped += s.items.size();
        s.items.clear();
        s.phase = Phase::kStopped;
        return 1;
    }

    // Items held now, those the worker has taken included (any thread).
    size_t Count() const {
        std::lock_guard<std::mutex> guard(state->lock);
        return state->Held();
    }
    uint64_t Accepted() const { return Read(&State::accepted); }
    uint64_t Consumed() const { return Read(&State::consumed); }
    uint64_t Dropped() const { return Read(&State::dropped); }
    size_t Capacity() const { return state->capacity; }

  private:
    using Clock = std::chrono::steady_clock;
    // A worker gives back the capacity of the items it has done at least this often.
    static constexpr size_t kReleaseStep = 64;
    enum class Phase { kIdle, kRunning, kStopping, kStopped };

    struct State {
        State(size_t size, WhenFull full) : capacity(size > 0 ? size : 1), policy(full) {}
        bool Open() const { return !closed && (phase == Phase::kIdle || phase == Phase::kRunning); }
        size_t Held() const { return items.size() + taken; }
        void Release(size_t finished) {
            taken -= finished;
            consumed += finished;
        }
        // Producers held by kWait go on once half the queue is free, so they refill it in bursts
        // rather than an item per wake-up.
        void MaybeWakeProducers(std::unique_lock<std::mutex>& guard) {
            if (!producersWaiting || Held() > capacity / 2)
                return;
            producersWaiting = false;
            guard.unlock();
            room.notify_all();
            guard.lock();
        }

        const size_t capacity;
        const WhenFull policy;
        std::mutex lock;
        std::condition_variable arrived;
        std::condition_variable room;
        std::condition_variable ended;
        std::deque<T> items;  // not yet taken by the worker
        size_t taken = 0;     // items the worker has taken and not finished
        Phase phase = Phase::kIdle;
        bool closed = false;
        int restMilliseconds = 0;
        bool resting = false;
        bool RestIsOver() const {
            return phase == Phase::kStopping || closed || Held() >= (capacity + 3) / 4;
        }
        // Set with phase kStopping, so that the worker need not take the lock after each item.
        std::atomic<bool> stopAsked{false};
        bool consumerWaiting = false;
        bool producersWaiting = false;
        bool unbounded = false;
        bool workerEnded = false;
        Clock::time_point finishAt;
        Consume consume;
        Idle idle;
        uint64_t accepted = 0;
        uint64_t consumed = 0;
        uint64_t dropped = 0;
    };

    uint64_t Read(uint64_t State::*counter) const {
        std::lock_guard<std::mutex> guard(state->lock);
        return (*state).*counter;
    }

    static void WorkerLoop(std::shared_ptr<State> shared) {
        State& s = *shared;
        MarkThreadAsBackgroundWorker();
        std::deque<T> batch;
        bool idleSinceWork = false;  // the idle call after the last batch has been made
        std::unique_lock<std::mutex> guard(s.lock);
        for (;;) {
            bool stopping = s.phase == Phase::kStopping;
            if (s.items.empty()) {
                if (stopping || s.closed)
                    break;
                if (s.idle && !idleSinceWork) {
                    idleSinceWork = true;
                    guard.unlock();
                    s.idle();
                    guard.lock();
                    if (!s.items.empty() || s.phase == Phase::kStopping)
                        continue;
                }
                s.consumerWaiting = true;
                s.arrived.wait(guard,
                               [&s] { return !s.items.empty() || s.phase == Phase::kStopping || s.closed; });
                s.consumerWaiting = false;
                continue;
            }
            if (stopping && !s.unbounded && Clock::now() >= s.finishAt)
                break;
            // Everything queued by now, under this one lock. The items count towards the capacity
            // until they are done, and are given back in steps, so that waiting producers go on
            // while a long batch is worked off; a stop is looked at after each item.
            batch.swap(s.items);
            s.taken = batch.size();
            idleSinceWork = false;
            guard.unlock();
            size_t done = 0;
            size_t released = 0;
            bool late = false;
            while (done < batch.size() && !late) {
                s.consume(batch[done]);
                ++done;
                if (done == batch.size() || (done - released < kReleaseStep && !s.stopAsked.load()))
                    continue;
                guard.lock();
                s.Release(done - released);
                released = done;
                late = s.phase == Phase::kStopping && !s.unbounded && Clock::now() >= s.finishAt;
                s.MaybeWakeProducers(guard);
                guard.unlock();
            }
            guard.lock();
            s.Release(done - released);
            // What a stop's deadline left in hand goes back, to be counted as dropped.
            for (size_t left = batch.size(); left > done; --left)
                s.items.push_front(std::move(batch[left - 1]));
            s.taken = 0;
            batch.clear();
            s.MaybeWakeProducers(guard);
            if (s.restMilliseconds > 0 && !late) {
                // What the batch left (a write that gathered) goes out before the rest.
                if (s.idle && s.items.empty()) {
                    idleSinceWork = true;
                    guard.unlock();
                    s.idle();
                    guard.lock();
                }
                s.resting = true;
                s.arrived.wait_for(guard, std::chrono::milliseconds(s.restMilliseconds),
                                   [&s] { return s.RestIsOver(); });
                s.resting = false;
            }
        }
        guard.unlock();
        if (s.idle)
            s.idle();
        guard.lock();
        s.workerEnded = true;
        s.ended.notify_all();
    }

    std::shared_ptr<State> state;
    std::mutex stopLock;  // one Start or Stop at a time
    std::thread worker;
};

}  // namespace zamri
