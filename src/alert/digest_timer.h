// The daily digest's own thread: at DigestTime it reads the period's records from the journal,
// writes the CSV beside the journal ("digest-YYYY-MM-DD.csv") and hands the digest's record to
// post (the webhooks that take digests). It only reads files the journal has finished lines in,
// so it never holds capture or the journal's writer; a slow receiver holds neither, as posting
// only queues. Stop ends the thread at once, also in the middle of a long wait.
//
// A digest that fell due while the program was not running is made when it starts: the last
// one due (today's, or the day before's while today's is still to come), unless its CSV is
// beside the journal already, which tells that it was made, or the journal holds no record of
// its period (the program did not run then: no empty digest of a day it never saw). Older ones
// are not made up.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "alert/alert_clock.h"
#include "alert/digest_schedule.h"
#include "config/alert_settings.h"

namespace zamri {

struct DigestMade {
    std::string csvPath;  // where the CSV was written
    std::string json;     // the digest's record
    long records = 0;     // transaction and exception records it was made from
    bool written = false;
};

// Makes the digest of period from the journal in folder: writes the CSV (through a temporary
// file, so a reader never sees half of it) and returns what it made; error holds a sentence
// when the CSV could not be written.
DigestMade MakeDigest(const std::string& folder, const DigestPeriod& period, const AlertClock& clock,
                      std::string* error);

class DigestTimer {
  public:
    using Post = std::function<void(const std::string& digestRecord)>;
    using Trouble = std::function<void(const std::string& message)>;
    // The longest the thread sleeps before it looks at the clock again, so that a clock set
    // forward or back is noticed.
    static constexpr int kLookMilliseconds = 30000;

    DigestTimer(const DigestTime& time, std::string journalFolder, Post post, Trouble trouble,
                const AlertClock& clock = SystemAlertClock());
    ~DigestTimer();  // Stop()
    DigestTimer(const DigestTimer&) = delete;
    DigestTimer& operator=(const DigestTimer&) = delete;

    // The last digest due before this call is made first when its CSV is missing and the journal
    // holds records of its period; then each one as it falls due. 1, or 0 when the thread cannot start.
    int Start();
    void Stop();
    // Makes the thread look at the clock now (for a clock that tests move by hand).
    void Wake();

    uint64_t Made() const;
    std::string LastCsvPath() const;

  private:
    void Run(int64_t fromUtcMilliseconds);
    // Makes, writes and posts one digest; called without the lock.
    void Make(const DigestPeriod& period);

    const DigestTime time;
    const std::string folder;
    const Post post;
    const Trouble trouble;
    const AlertClock& clock;
    mutable std::mutex lock;
    std::condition_variable wake;
    bool stopping = false;
    bool woken = false;
    uint64_t made = 0;
    std::string lastCsv;
    std::thread thread;
};

}  // namespace zamri
