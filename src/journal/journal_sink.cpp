#include "journal/journal_sink.h"

#include "journal/delivered_record.h"

namespace zamri {

JournalSink::JournalSink(const std::string& folder, int keepDays, JournalWriter::TroubleReport trouble,
                         JournalWriter::Clock clock, int queueLines)
    : QueuedSink("journal", queueLines, kGatherMilliseconds),
      writer(folder, keepDays, std::move(clock), std::move(trouble)) {}

JournalSink::~JournalSink() {
    Stop();
}

void JournalSink::Idle() {
    if (!prepared)
        writer.Prepare();
    prepared = true;
    // Each time the queue runs empty: a file tailer sees the lines at once, and a burst is
    // written in large pieces.
    writer.Flush();
}

void JournalSink::Consume(const DeliveredLine& line) {
    if (line.kind != DeliveredKind::Line) {
        writer.AppendWritten(line.utcMilliseconds, line.utcOffsetMinutes, line.record, false);
        return;
    }
    RecordFromDelivered(line, &record);
    writer.Append(record, false);
}

SinkStatus JournalSink::Status() const {
    SinkStatus status = QueuedSink::Status();
    status.key = "journal";
    status.searchFolder = writer.Folder();
    status.state = "on, " + writer.Folder() + ": " + std::to_string(writer.Written()) + " lines written";
    uint64_t lost = writer.NotWritten() + status.dropped;
    if (lost > 0)
        status.state += ", " + std::to_string(lost) + " not written (see the errors)";
    return status;
}

}  // namespace zamri
