#include "alert/digest_timer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "alert/daily_digest.h"
#include "alert/digest_records.h"
#include "alert/digest_schedule.h"
#include "journal/journal_files.h"

namespace zamri {

DigestMade MakeDigest(const std::string& folder, const DigestPeriod& period, const AlertClock& clock,
                      std::string* error) {
    DailyDigest digest(period, clock);
    DigestMade made;
    made.records = AddJournalRecords(folder, period, clock, &digest);
    made.json = digest.Json();
    made.csvPath = JoinPath(folder, DigestFileName(period));
    std::string temporary = made.csvPath + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        std::string csv = digest.Csv();
        out.write(csv.data(), static_cast<std::streamsize>(csv.size()));
        out.close();
        if (!out) {
            *error = "Digest: cannot write " + temporary + "; the CSV of " + DigestDateText(period) +
                     " is not written";
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return made;
        }
    }
    std::error_code failed;
    std::filesystem::rename(temporary, made.csvPath, failed);
    if (failed) {
        *error = "Digest: cannot write " + made.csvPath + " (" + failed.message() + ")";
        std::filesystem::remove(temporary, failed);
        return made;
    }
    made.written = true;
    return made;
}

DigestTimer::DigestTimer(const DigestTime& time, std::string journalFolder, Post post, Trouble trouble,
                         const AlertClock& clock)
    : time(time),
      folder(std::move(journalFolder)),
      post(std::move(post)),
      trouble(std::move(trouble)),
      clock(clock) {}

DigestTimer::~DigestTimer() {
    Stop();
}

int DigestTimer::Start() {
    if (thread.joinable() || !time.on)
        return 0;
    try {
        int64_t from = clock.UtcMilliseconds();
        thread = std::thread([this, from] { Run(from); });
    } catch (const std::system_error&) {
        return 0;
    }
    return 1;
}

void DigestTimer::Stop() {
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
    }
    wake.notify_all();
    if (thread.joinable())
        thread.join();
}

void DigestTimer::Wake() {
    {
        std::lock_guard<std::mutex> guard(lock);
        woken = true;
    }
    wake.notify_all();
}

uint64_t DigestTimer::Made() const {
    std::lock_guard<std::mutex> guard(lock);
    return made;
}

std::string DigestTimer::LastCsvPath() const {
    std::lock_guard<std::mutex> guard(lock);
    return lastCsv;
}

void DigestTimer::Make(const DigestPeriod& period) {
    std::string error;
    DigestMade digest = MakeDigest(folder, period, clock, &error);
    if (!error.empty() && trouble)
        trouble(error);
    if (post)
        post(digest.json);
    std::lock_guard<std::mutex> guard(lock);
    ++made;
    if (digest.written)
        lastCsv = digest.csvPath;
}

void DigestTimer::Run(int64_t fromUtcMilliseconds) {
    // The CSV beside the journal is the mark of a digest made, so a restart never makes one twice;
    // the journal's records are the mark of a day the program ran, so a first start, or one
    // after days away, makes no empty digest of a day it never saw.
    DigestPeriod missed = LastDigestPeriod(time, fromUtcMilliseconds, clock);
    std::error_code failed;
    if (!std::filesystem::exists(JoinPath(folder, DigestFileName(missed)), failed) && !failed &&
        JournalHasRecordsIn(folder, missed, clock))
        Make(missed);
    DigestSchedule schedule(time, clock, fromUtcMilliseconds);
    std::unique_lock<std::mutex> guard(lock);
    while (!stopping) {
        DigestPeriod period;
        if (schedule.Due(&period)) {
            guard.unlock();
            Make(period);
            guard.lock();
            continue;
        }
        int64_t wait = std::clamp<int64_t>(schedule.NextUtcMilliseconds() - clock.UtcMilliseconds(), 1,
                                           kLookMilliseconds);
        wake.wait_for(guard, std::chrono::milliseconds(wait), [this] { return stopping || woken; });
        woken = false;
    }
}

}  // namespace zamri
