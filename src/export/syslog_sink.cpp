#include "export/syslog_sink.h"

#include "journal/delivered_record.h"
#include "platform/os.h"

namespace zamri {

SyslogSink::SyslogSink(const SyslogCollector& collector, int bufferLines, int codePage,
                       const std::string& recorderSettingsPath, SyslogExporter::TroubleReport report)
    : QueuedSink("syslog", bufferLines),
      trouble(std::move(report)),
      exporter(collector, trouble, [this] { Recovered(); }),
      recorderCodePage(codePage) {
    origin.hostName = ComputerName();
    origin.processId = ProcessId();
    hebrew.SetPath(recorderSettingsPath.c_str());
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
    JournalRecord record;
    RecordFromDelivered(line, OverlayCodePage(hebrew.Current(), recorderCodePage), &record);
    std::string message = FormatSyslogMessage(record, origin);
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

}  // namespace zamri
