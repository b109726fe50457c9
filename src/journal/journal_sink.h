// The journal as a sink of the delivery step: lines queue in memory and a worker of the sink's
// own writes them, so a slow or full disk never holds a capture thread or the TCP worker.
#pragma once

#include <functional>
#include <string>

#include "delivery/queued_sink.h"
#include "journal/journal_writer.h"

namespace zamri {

class JournalSink : public QueuedSink {
  public:
    // The queue rides out a disk that stalls (a recorder's disk busy with video): 8192 lines
    // are two minutes of a busy store, 13 s of ten of them, about 3 MB, held only while it lasts.
    static constexpr int kQueueLines = 8192;

    JournalSink(const std::string& folder, int keepDays, JournalWriter::TroubleReport trouble,
                JournalWriter::Clock clock = nullptr, int queueLines = kQueueLines);
    ~JournalSink() override;

    bool WantsUtf8() const override { return true; }
    // Shown as "journal" on the status page; its folder is the one the page searches.
    SinkStatus Status() const override;

    const JournalWriter& Writer() const { return writer; }
    // The journal's space limits (before Start); a null reading means the file system's.
    void SetSpace(const JournalSpace& space, JournalWriter::FreeSpace reading = nullptr) {
        writer.SetSpace(space, std::move(reading));
    }

  protected:
    void Consume(const DeliveredLine& line) override;
    // Flushes what Consume buffered; the first time also the retention and today's file, so
    // trouble shows at start-up.
    void Idle() override;

  private:
    JournalWriter writer;
    JournalRecord record;
    bool prepared = false;
};

}  // namespace zamri
