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
    if (file != nullptr)
        std::fclose(file);
    file = nullptr;
    fileDay = INT64_MIN;
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

int JournalWriter::Append(const JournalRecord& record) {
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
    // Flushed per record: a file tailer sees each line at once, and a crash loses only what
    // was still in the queue.
    if (n != line.size() || std::fflush(file) != 0) {
        int code = errno;
        lineOpen = true;
        std::string path = JoinPath(folder, JournalFileName(day));
        CloseFile();
        Fail("cannot write " + path + " (" + std::strerror(code) + ")", now, true);
        return 0;
    }
    lineOpen = false;
    written.fetch_add(1);
    if (failing && trouble)
        trouble("Journal: writing again to " + folder + " (" + std::to_string(notWritten.load()) +
                " lines could not be written)");
    failing = false;
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
