// A sink for a slow consumer (a file, a network peer, a browser): Accept copies the line into a
// bounded queue and returns at once; a worker thread of the sink's own hands the lines to
// Consume in order. When the queue is full the line is dropped and counted, so a consumer that
// falls behind never holds a capture thread or the TCP worker.
//
// A derived class implements Consume (and, if it batches, Idle), calls Start once it is ready,
// and calls Stop in its own destructor: the worker calls the derived class's functions, so it
// must be gone before the derived part is.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "delivery/delivered_line.h"

class QueuedSink : public LineSink {
  public:
    static constexpr int kDefaultCapacity = 1024;
    // On Stop the worker goes on with the lines already queued for at most this long.
    static constexpr int kDefaultFinishMilliseconds = 2000;

    // capacity: lines held at most (at least 1). name: for status reports, kept by pointer.
    QueuedSink(const char* name, int capacity = kDefaultCapacity);
    ~QueuedSink() override;

    void Accept(const DeliveredLine& line) final;
    const char* SinkName() const override { return name; }
    uint64_t DroppedLines() const override { return dropped.load(); }

    // Starts the worker; 1, or 0 when it cannot be started (or already runs, or has stopped).
    int Start();
    // Lets the worker consume what is queued for at most finishMilliseconds, then ends it; lines
    // still queued then are counted as dropped. Lines accepted afterwards are dropped and counted.
    // Safe to call more than once.
    void Stop(int finishMilliseconds = kDefaultFinishMilliseconds);

    uint64_t AcceptedLines() const { return accepted.load(); }
    uint64_t ConsumedLines() const { return consumed.load(); }
    int QueuedCount() const;

  protected:
    // One line, on the worker thread, in the order accepted.
    virtual void Consume(const DeliveredLine& line) = 0;
    // On the worker thread whenever the queue has run empty (a place to flush a batch).
    virtual void Idle() {}

  private:
    void WorkerLoop();

    const char* name;
    const int capacity;
    std::unique_ptr<DeliveredLine[]> slots;
    mutable std::mutex lock;
    std::condition_variable wake;
    int head = 0;   // oldest queued line; under lock
    int count = 0;  // under lock
    enum class State { Idle, Running, Stopping, Stopped } state = State::Idle;  // under lock
    int64_t finishDeadline = 0;                                                 // steady-clock ms; under lock
    std::thread worker;
    std::mutex stopLock;  // one Stop at a time
    std::atomic<uint64_t> accepted{0};
    std::atomic<uint64_t> consumed{0};
    std::atomic<uint64_t> dropped{0};
};
