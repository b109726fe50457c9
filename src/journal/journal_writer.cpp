#include "journal/journal_writer.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "journal/journal_files.h"
#include "journal/local_clock.h"

namespace zamri {

namespace {

constexpr int64_t kMillisecondsPerDay = 86400000;

int64_t DayOf(int64_t localMilliseconds) {
    int64_t day = localMilliseconds / kMillisecondsPerDay;
    return (localMilliseconds % kMillisecondsPerDay < 0) ? day - 1 : day;
}

}  // namespace

JournalWriter::JournalWriter(std::string folderPath, int days, Clock clockFunction, TroubleReport report)
    : folder(std::move(folderPath)),
      keepDays(days),
      clock(clockFunction ? std::move(clockFunction) : Clock(LocalNowMilliseconds)),
      trouble(std::move(report)) {}

JournalWriter::~JournalWriter() {
    CloseFile();
}

void JournalWriter::CloseFile() {
    if (file != nullptr) {
        if (pending > 0 && std::fflush(file) != 0)
            notWritten.fetch_add(pending);
        else
            written.fetch_add(pending);
        pending = 0;
        std::fclose(file);
    }
    file = nullptr;
    fileDay = INT64_MIN;
}

int JournalWriter::FlushPending(int64_t now) {
    if (file == nullptr || pending == 0)
        return 1;
    if (std::fflush(file) == 0) {
        written.fetch_add(pending);
        pending = 0;
        Recovered();
        return 1;
    }
    int code = errno;
    notWritten.fetch_add(pending);
    pending = 0;
    // Part of a line may have reached the file; the next record starts on a new line.
    lineOpen = true;
    std::string path = JoinPath(folder, JournalFileName(fileDay));
    CloseFile();
    Fail("cannot write " + path + " (" + std::strerror(code) + ")", now, false);
    return 0;
}

int JournalWriter::Flush() {
    return FlushPending(clock());
}

void JournalWriter::Recovered() {
    if (failing && trouble)
        trouble("Journal: writing again to " + folder + " (" + std::to_string(notWritten.load()) +
                " lines could not be written)");
    failing = false;
}

void JournalWriter::Fail(const std::string& what, int64_t now, bool forRecord) {
    if (forRecord)
        notWritten.fetch_add(1);
    retryAt = now + kReopenMilliseconds;
    if (!failing && trouble)
        trouble("Journal: " + what + "; lines are not being written to the journal");
    failing = true;
}

int JournalWriter::OpenDay(int64_t day, int64_t now, bool forRecord) {
    CloseFile();
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(folder), error);
    std::string path = JoinPath(folder, JournalFileName(day));
    file = std::fopen(path.c_str(), "ab");
    if (file == nullptr) {
        Fail("cannot write " + path + " (" + std::strerror(errno) + ")", now, forRecord);
        return 0;
    }
    fileDay = day;
    // Whole records reach the file in large writes when the caller batches them.
    std::setvbuf(file, nullptr, _IOFBF, 1 << 16);
    // A crash may have torn the file's last line; ours must not be glued to it.
    lineOpen = false;
    std::FILE* check = std::fopen(path.c_str(), "rb");
    if (check != nullptr) {
        if (std::fseek(check, -1, SEEK_END) == 0 && std::fgetc(check) != '\n')
            lineOpen = true;
        std::fclose(check);
    }
    return 1;
}

void JournalWriter::RetainOncePerDay(int64_t now) {
    int64_t today = DayOf(now);
    if (today != retentionDay) {
        retentionDay = today;
        ApplyRetention();
    }
}

int JournalWriter::Prepare() {
    int64_t now = clock();
    RetainOncePerDay(now);
    return file != nullptr || OpenDay(DayOf(now), now, false);
}

int JournalWriter::Append(const JournalRecord& record, bool flushNow) {
    int64_t now = clock();
    RetainOncePerDay(now);
    int64_t day = DayOf(record.utcMilliseconds + record.utcOffsetMinutes * 60000LL);
    if (file == nullptr || day != fileDay) {
        if (file == nullptr && now < retryAt) {
            notWritten.fetch_add(1);
            return 0;
        }
        if (!OpenDay(day, now, true))
            return 0;
    }
    line.clear();
    if (lineOpen)
        line.push_back('\n');
    AppendRecordLine(record, &line);
    size_t n = std::fwrite(line.data(), 1, line.size(), file);
    if (n != line.size()) {
        // The buffered records before this one may be lost with it: counted as not written.
        int code = errno;
        notWritten.fetch_add(pending);
        pending = 0;
        lineOpen = true;
        std::string path = JoinPath(folder, JournalFileName(day));
        CloseFile();
        Fail("cannot write " + path + " (" + std::strerror(code) + ")", now, true);
        return 0;
    }
    lineOpen = false;
    ++pending;
    if (flushNow)
        return FlushPending(now);
    return 1;
}

int JournalWriter::ApplyRetention() {
    if (keepDays <= 0)
        return 0;
    int64_t oldestKept = DayOf(clock()) - (keepDays - 1);
    int deleted = 0;
    for (const JournalFile& f : ListJournalFiles(folder)) {
        if (f.day >= oldestKept)
            break;
        if (f.day == fileDay)
            CloseFile();
        std::error_code error;
        if (std::filesystem::remove(std::filesystem::path(f.path), error))
            ++deleted;
    }
    return deleted;
}

}  // namespace zamri
