#include "delivery/queued_sink.h"

#include <chrono>
#include <new>
#include <system_error>

namespace {
int64_t SteadyMilliseconds() {
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
}
}  // namespace

QueuedSink::QueuedSink(const char* sinkName, int lineCapacity)
    : name(sinkName != nullptr ? sinkName : "sink"),
      capacity(lineCapacity > 0 ? lineCapacity : 1),
      slots(new (std::nothrow) DeliveredLine[static_cast<size_t>(lineCapacity > 0 ? lineCapacity : 1)]) {}

QueuedSink::~QueuedSink() {
    Stop(0);
}

void QueuedSink::Accept(const DeliveredLine& line) {
    {
        std::lock_guard<std::mutex> guard(lock);
        if (slots == nullptr || count == capacity || state == State::Stopping || state == State::Stopped) {
            dropped.fetch_add(1);
            return;
        }
        // Lines accepted before Start wait for the worker.
        slots[(head + count) % capacity] = line;
        ++count;
        accepted.fetch_add(1);
    }
    wake.notify_one();
}

int QueuedSink::Start() {
    std::lock_guard<std::mutex> serial(stopLock);
    std::lock_guard<std::mutex> guard(lock);
    if (state != State::Idle || slots == nullptr)
        return 0;
    try {
        worker = std::thread(&QueuedSink::WorkerLoop, this);
    } catch (const std::system_error&) {
        return 0;
    }
    state = State::Running;
    return 1;
}

void QueuedSink::Stop(int finishMilliseconds) {
    std::lock_guard<std::mutex> serial(stopLock);
    {
        std::lock_guard<std::mutex> guard(lock);
        if (state == State::Stopped)
            return;
        if (state == State::Idle) {
            state = State::Stopped;
            dropped.fetch_add(static_cast<uint64_t>(count));
            count = 0;
            return;
        }
        state = State::Stopping;
        finishDeadline = SteadyMilliseconds() + (finishMilliseconds > 0 ? finishMilliseconds : 0);
    }
    wake.notify_one();
    worker.join();
    std::lock_guard<std::mutex> guard(lock);
    dropped.fetch_add(static_cast<uint64_t>(count));
    count = 0;
    state = State::Stopped;
}

int QueuedSink::QueuedCount() const {
    std::lock_guard<std::mutex> guard(lock);
    return count;
}

void QueuedSink::WorkerLoop() {
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
        if (count == 0) {
            if (state == State::Stopping)
                break;
            guard.unlock();
            Idle();
            guard.lock();
            wake.wait(guard, [this] { return count > 0 || state == State::Stopping; });
            continue;
        }
        if (state == State::Stopping && SteadyMilliseconds() >= finishDeadline)
            break;
        // The front slot is not written while it is counted, so it is read without the lock.
        const DeliveredLine& front = slots[head];
        guard.unlock();
        Consume(front);
        consumed.fetch_add(1);
        guard.lock();
        head = (head + 1) % capacity;
        --count;
    }
    guard.unlock();
    Idle();
}
