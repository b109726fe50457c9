// Appends journal records to the day file of each record's local date and deletes day files
// past the retention once a day. One thread writes (the journal sink's worker); the counters
// may be read from any thread.
//
// A record that cannot be written (folder missing and not creatable, not writable, disk full)
// is counted, never retried: the journal falls behind rather than holding anyone back. The
// first failure is reported through the trouble callback, and so is the recovery; nothing in
// between, so a full disk makes two messages, not thousands.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "journal/journal_record.h"

namespace zamri {

class JournalWriter {
  public:
    // Local wall-clock now, in milliseconds since 1970-01-01 of the local calendar.
    using Clock = std::function<int64_t()>;
    using TroubleReport = std::function<void(const std::string& message)>;

    // keepDays: day files older than that many days (today counts as one) are deleted;
    // 0 keeps everything. A null clock means the system's.
    JournalWriter(std::string folder, int keepDays, Clock clock = nullptr, TroubleReport trouble = nullptr);
    ~JournalWriter();
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;

    // 1 taken (handed to the file system when flushNow, else buffered until Flush), 0 counted
    // as not written.
    int Append(const JournalRecord& record, bool flushNow = true);
    // Hands what Append buffered to the file system. 1 done (or nothing buffered).
    int Flush();

    // Runs the retention and opens today's file, so that old files go and a folder that cannot
    // be written is reported at start-up rather than with the first line. 1 ready.
    int Prepare();

    // Runs the retention now (the writer also does so on its first record and when the clock's
    // day changes). Returns the number of files deleted.
    int ApplyRetention();

    const std::string& Folder() const { return folder; }
    // Records handed to the file system.
    uint64_t Written() const { return written.load(); }
    uint64_t NotWritten() const { return notWritten.load(); }

    // A failed open is retried no sooner than this, so a dead folder costs no file-system call
    // per record.
    static constexpr int kReopenMilliseconds = 1000;

  private:
    int OpenDay(int64_t day, int64_t now, bool forRecord);
    void CloseFile();
    // Flushes the buffered records; on failure counts them as not written and closes the file.
    int FlushPending(int64_t now);
    void Fail(const std::string& what, int64_t now, bool forRecord);
    void RetainOncePerDay(int64_t now);
    // After trouble: the first record that reached the file system again.
    void Recovered();

    std::string folder;
    int keepDays;
    Clock clock;
    TroubleReport trouble;
    std::FILE* file = nullptr;
    int64_t fileDay = INT64_MIN;
    // A write that failed may have left part of a line; the next record starts on a new line.
    bool lineOpen = false;
    bool failing = false;
    int64_t retryAt = INT64_MIN;
    int64_t retentionDay = INT64_MIN;
    std::string line;
    // Records appended since the last flush.
    uint64_t pending = 0;
    std::atomic<uint64_t> written{0};
    std::atomic<uint64_t> notWritten{0};
};

}  // namespace zamri
