// Appends journal records to the day file of each record's local date, deletes day files past
// the retention once a day, and keeps the journal within its size budget and above the free
// space floor of its disk. One thread writes (the journal sink's worker); the counters may be
// read from any thread.
//
// A record that cannot be written (folder missing and not creatable, not writable, disk full,
// budget or floor reached) is counted, never retried: the journal falls behind rather than
// holding anyone back. The first failure is reported through the trouble callback, and so is
// the recovery; nothing in between, so a full disk makes two messages, not thousands.
//
// Retention (keepDays): a day file goes once it is more than keepDays days older than the
// clock's today, but the newest keepDays day files (today's counted, even before its first
// line) and the newest file always stay. So a clock set a year ahead costs the journal no more
// than the day files a normal day costs, and a clock set back deletes nothing.
//
// Space: when the day files together exceed the budget, or the disk has less free space than
// the floor, the oldest day files go first, never today's (by the clock); what was
// deleted is reported. When that is not enough, lines are not written until a later check
// (every kSpaceRetryMilliseconds, or when the day changes) finds room again.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "journal/journal_record.h"

namespace zamri {

// The journal's space limits; 0 turns a limit off.
struct JournalSpace {
    uint64_t budgetBytes = 0;     // the day files together
    uint64_t freeFloorBytes = 0;  // free space left on the journal's disk
};

class JournalWriter {
  public:
    // Local wall-clock now, in milliseconds since 1970-01-01 of the local calendar.
    using Clock = std::function<int64_t()>;
    using TroubleReport = std::function<void(const std::string& message)>;
    // Bytes free for the journal on the disk of folder, or -1 when that cannot be told.
    using FreeSpace = std::function<int64_t(const std::string& folder)>;

    // keepDays: day files older than that many days (today counts as one) are deleted;
    // 0 keeps everything. A null clock means the system's.
    JournalWriter(std::string folder, int keepDays, Clock clock = nullptr, TroubleReport trouble = nullptr);
    ~JournalWriter();
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;

    // 1 taken (handed to the file system when flushNow, else buffered until Flush), 0 counted
    // as not written.
    int Append(const JournalRecord& record, bool flushNow = true);
    // The same for a record written already (one JSON object, without its newline), such as a
    // transaction's; it goes to the day file of its local time.
    int AppendWritten(int64_t utcMilliseconds, int utcOffsetMinutes, std::string_view recordLine,
                      bool flushNow = true);
    // Hands what Append buffered to the file system. 1 done (or nothing buffered).
    int Flush();

    // Runs the retention and opens today's file, so that old files go and a folder that cannot
    // be written is reported at start-up rather than with the first line. 1 ready.
    int Prepare();

    // Runs the retention now (the writer also does so on its first record and when the clock's
    // day changes). Returns the number of files deleted.
    int ApplyRetention();

    // Sets the space limits (before the first record); a null reading means the file system's.
    void SetSpace(const JournalSpace& space, FreeSpace reading = nullptr);
    // Checks the limits now (the writer also does so as it writes, see below) and deletes the
    // oldest day files as they need. 1 when lines can be written.
    int KeepSpace();
    // Day files deleted for the budget or the floor.
    uint64_t DeletedForSpace() const { return deletedForSpace.load(); }

    const std::string& Folder() const { return folder; }
    // Records handed to the file system.
    uint64_t Written() const { return written.load(); }
    uint64_t NotWritten() const { return notWritten.load(); }

    // A failed open is retried no sooner than this, so a dead folder costs no file-system call
    // per record.
    static constexpr int kReopenMilliseconds = 1000;
    // The limits are checked at start-up, when the day changes, after every 1/64 of the budget
    // written (at least 64 KB, at most 16 MB), and at least this often while lines come.
    static constexpr int kSpaceCheckMilliseconds = 60000;
    // While lines are held back for want of space, room is looked for this often.
    static constexpr int kSpaceRetryMilliseconds = 10000;

  private:
    int OpenDay(int64_t day, int64_t now, bool forRecord);
    // Append's work once the line is known: with its day, the text in line after the newline.
    template <typename Fill>
    int AppendLine(int64_t localMilliseconds, bool flushNow, Fill fill);
    void CloseFile();
    // Flushes the buffered records; on failure counts them as not written and closes the file.
    int FlushPending(int64_t now);
    void Fail(const std::string& what, int64_t now, bool forRecord);
    void RetainOncePerDay(int64_t now);
    int KeepSpaceAt(int64_t now);
    uint64_t SpaceCheckBytes() const;
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
    JournalSpace space;
    FreeSpace freeSpace;
    bool spaceFull = false;  // lines are held back until a check finds room
    uint64_t bytesSinceCheck = 0;
    int64_t nextSpaceCheck = INT64_MIN;
    std::atomic<uint64_t> deletedForSpace{0};
    // Records appended since the last flush.
    uint64_t pending = 0;
    std::atomic<uint64_t> written{0};
    std::atomic<uint64_t> notWritten{0};
};

}  // namespace zamri
