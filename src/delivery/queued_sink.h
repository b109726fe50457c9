// A sink for a slow consumer (a file, a network peer, a browser): Accept queues the line and
// returns at once; a worker thread of the sink's own hands the lines to Consume in order. When
// the queue is full the line is dropped and counted, so a consumer that falls behind never
// holds a capture thread or the TCP worker. The queue holds the lines the delivery step shares
// among its sinks, so a queued line costs the space of its text, not a fixed record.
//
// A derived class implements Consume (and, if it batches, Idle), calls Start once it is ready,
// and calls Stop in its own destructor: the worker calls the derived class's functions, so it
// must be gone before the derived part is.
#pragma once

#include <cstdint>
#include <memory>

#include "delivery/delivered_line.h"
#include "platform/work_queue.h"

class QueuedSink : public LineSink {
  public:
    static constexpr int kDefaultCapacity = 1024;
    // What a sink that writes (a file, a collector) rests after each batch: at a busy store's
    // rates its worker then wakes at most 10 times a second instead of once per line, and a
    // line waits at most this long; the first line after a quiet spell goes at once. Each
    // wake-up costs as much as the work of some 20 lines, so a shorter rest buys nothing a
    // reader of the journal, a collector or a browser would see.
    static constexpr int kGatherMilliseconds = 100;
    // On Stop the worker goes on with the lines already queued for at most this long.
    static constexpr int kDefaultFinishMilliseconds = 2000;

    // capacity: lines held at most (at least 1). name: for status reports, kept by pointer.
    // restMilliseconds: how long the worker rests after a batch, so that the lines of a busy
    // store gather and are written together (see WorkQueue::SetRestAfterWork); 0: no rest.
    QueuedSink(const char* name, int capacity = kDefaultCapacity, int restMilliseconds = 0);
    ~QueuedSink() override;

    // A line given by reference is copied once; the delivery step's shared line is not.
    void Accept(const DeliveredLine& line) final;
    void AcceptShared(const std::shared_ptr<const DeliveredLine>& line) final;
    // The name and the dropped lines; a derived sink adds its key and state.
    SinkStatus Status() const override;
    const char* SinkName() const { return name; }
    uint64_t DroppedLines() const { return queue.Dropped(); }

    // Starts the worker; 1, or 0 when it cannot be started (or already runs, or has stopped).
    int Start();
    // Lets the worker consume what is queued for at most finishMilliseconds, then ends it; lines
    // still queued then are counted as dropped. Lines accepted afterwards are dropped and counted.
    // Safe to call more than once.
    void Stop(int finishMilliseconds = kDefaultFinishMilliseconds);

    uint64_t AcceptedLines() const { return queue.Accepted(); }
    uint64_t ConsumedLines() const { return queue.Consumed(); }
    int QueuedCount() const { return static_cast<int>(queue.Count()); }

  protected:
    // One line, on the worker thread, in the order accepted.
    virtual void Consume(const DeliveredLine& line) = 0;
    // On the worker thread whenever the queue has run empty (a place to flush a batch).
    virtual void Idle() {}

  private:
    const char* name;
    zamri::WorkQueue<std::shared_ptr<const DeliveredLine>> queue;
};
