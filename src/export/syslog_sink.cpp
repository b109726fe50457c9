#include "export/syslog_sink.h"

#include "journal/delivered_record.h"
#include "platform/os.h"

namespace zamri {

SyslogSink::SyslogSink(const SyslogCollector& collector, int bufferLines,
                       SyslogExporter::TroubleReport report)
    : QueuedSink("syslog", bufferLines, kGatherMilliseconds),
      trouble(std::move(report)),
      exporter(collector, trouble, [this] { Recovered(); }) {
    origin.hostName = ComputerName();
    origin.processId = ProcessId();
}

SyslogSink::~SyslogSink() {
    Stop(0);
}

void SyslogSink::Stop(int finishMilliseconds) {
    exporter.GiveUpAt(SyslogExporter::SteadyNowMilliseconds() +
                      (finishMilliseconds > 0 ? finishMilliseconds : 0));
    QueuedSink::Stop(finishMilliseconds);
}

void SyslogSink::Recovered() {
    if (!trouble)
        return;
    uint64_t dropped = DroppedLines();
    std::string message = "Syslog: the collector " + DescribeCollector(exporter.Collector()) + " is back";
    if (dropped > droppedReported)
        message += "; " + std::to_string(dropped - droppedReported) +
                   " lines did not fit in the export buffer and were not sent";
    droppedReported = dropped;
    trouble(message);
}

void SyslogSink::Idle() {
    if (!probed)
        exporter.Probe();
    probed = true;
    SendBatch();
}

void SyslogSink::SendBatch() {
    if (batched > 0)
        exporter.SendFrames(batch, batched);
    batch.clear();
    batched = 0;
}

void SyslogSink::Consume(const DeliveredLine& line) {
    std::string message;
    if (line.kind == DeliveredKind::Line) {
        JournalRecord record;
        RecordFromDelivered(line, &record);
        message = FormatSyslogMessage(record, origin);
    } else {
        const char* id = line.kind == DeliveredKind::Drawer        ? "drawer"
                         : line.kind == DeliveredKind::Transaction ? "transaction"
                         : line.kind == DeliveredKind::Health      ? "health"
                                                                   : "exception";
        message = FormatSyslogEvent(id, line.utcMilliseconds, line.utcOffsetMinutes, line.camera,
                                    line.receipt, line.source, line.exceptionKind, line.record, origin,
                                    line.kind == DeliveredKind::Health && line.ending);
    }
    // A datagram carries one message.
    if (exporter.Collector().datagram) {
        exporter.Send(message);
        return;
    }
    AppendOctetCounted(message, &batch);
    ++batched;
    // While the collector is away the line waits here alone and the queue holds what follows,
    // so the buffer is the queue's size.
    if (batch.size() >= kBatchBytes || !exporter.Connected())
        SendBatch();
}

SinkStatus SyslogSink::Status() const {
    SinkStatus status = QueuedSink::Status();
    status.key = "export";
    int queued = QueuedCount();
    status.state = "to " + DescribeCollector(exporter.Collector()) + ", ";
    if (exporter.Connected())
        status.state += "connected";
    else if (exporter.SentMessages() == 0 && queued == 0)
        status.state += "waiting for the first line";
    else
        status.state += "collector not reached, " + std::to_string(queued) + " lines waiting";
    status.state += ": " + std::to_string(exporter.SentMessages()) + " lines sent";
    uint64_t unsent = UnsentLines();
    if (unsent > 0)
        status.state += ", " + std::to_string(unsent) + " not sent";
    return status;
}

}  // namespace zamri
