#include "journal/journal_sink.h"

#include "journal/delivered_record.h"

namespace zamri {

JournalSink::JournalSink(const std::string& folder, int keepDays, int codePage,
                         const std::string& recorderSettingsPath, JournalWriter::TroubleReport trouble,
                         JournalWriter::Clock clock, int queueLines)
    : QueuedSink("journal", queueLines),
      writer(folder, keepDays, std::move(clock), std::move(trouble)),
      recorderCodePage(codePage) {
    hebrew.SetPath(recorderSettingsPath.c_str());
}

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
    RecordFromDelivered(line, OverlayCodePage(hebrew.Current(), recorderCodePage), &record);
    writer.Append(record, false);
}

}  // namespace zamri
