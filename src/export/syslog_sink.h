// Syslog export as a sink of the delivery step. The sink's queue is the export buffer: while
// the collector is away the worker waits with the oldest line, the queue holds what follows,
// and what does not fit is counted (DroppedLines) and reported when the collector is back.
#pragma once

#include <functional>
#include <string>

#include "delivery/queued_sink.h"
#include "export/syslog_exporter.h"

namespace zamri {

class SyslogSink : public QueuedSink {
  public:
    // As SyslogBuffer= has it: ten minutes of a busy store's lines while the collector is away.
    static constexpr int kDefaultBufferLines = 40000;
    // Over TCP, lines that arrive together go out in writes of up to about this size.
    static constexpr size_t kBatchBytes = 16384;

    SyslogSink(const SyslogCollector& collector, int bufferLines, SyslogExporter::TroubleReport trouble);
    ~SyslogSink() override;

    bool WantsUtf8() const override { return true; }
    // Shown as "export" on the status page.
    SinkStatus Status() const override;

    // Sends what is queued for at most finishMilliseconds (also while waiting for the collector),
    // then ends the worker; what is left is counted as dropped.
    void Stop(int finishMilliseconds = kDefaultFinishMilliseconds);

    // Lines not sent: dropped from the full buffer, or given up at stop.
    uint64_t UnsentLines() const { return DroppedLines() + exporter.LostMessages(); }
    const SyslogExporter& Exporter() const { return exporter; }

  protected:
    void Consume(const DeliveredLine& line) override;
    // Sends what Consume batched; the first time also connects, so trouble shows at start-up.
    void Idle() override;

  private:
    void Recovered();
    void SendBatch();

    SyslogExporter::TroubleReport trouble;
    SyslogExporter exporter;
    SyslogOrigin origin;
    uint64_t droppedReported = 0;
    bool probed = false;
    std::string batch;  // octet-counted frames not yet sent
    int batched = 0;
};

}  // namespace zamri
