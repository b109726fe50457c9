#include "delivery/queued_sink.h"

QueuedSink::QueuedSink(const char* sinkName, int lineCapacity, int restMilliseconds)
    : name(sinkName != nullptr ? sinkName : "sink"),
      queue(static_cast<size_t>(lineCapacity > 0 ? lineCapacity : 1), zamri::WhenFull::kDropAndCount) {
    queue.SetRestAfterWork(restMilliseconds);
}

QueuedSink::~QueuedSink() {
    Stop(0);
}

void QueuedSink::Accept(const DeliveredLine& line) {
    // Lines accepted before Start wait for the worker.
    queue.Push(std::make_shared<const DeliveredLine>(line));
}

void QueuedSink::AcceptShared(const std::shared_ptr<const DeliveredLine>& line) {
    queue.Push(line);
}

SinkStatus QueuedSink::Status() const {
    SinkStatus status;
    status.name = name;
    status.dropped = DroppedLines();
    return status;
}

int QueuedSink::Start() {
    // The worker calls the derived class; Stop, called from the derived destructor, ends it first.
    return queue.Start([this](std::shared_ptr<const DeliveredLine>& line) { Consume(*line); },
                       [this] { Idle(); });
}

void QueuedSink::Stop(int finishMilliseconds) {
    queue.Stop(finishMilliseconds > 0 ? finishMilliseconds : 0);
}
