#include "journal/journal_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "journal/journal_files.h"
#include "journal/local_clock.h"

namespace zamri {

namespace {

constexpr int64_t kMillisecondsPerDay = 86400000;

int64_t DayOf(int64_t localMilliseconds) {
    int64_t day = localMilliseconds / kMillisecondsPerDay;
    return (localMilliseconds % kMillisecondsPerDay < 0) ? day - 1 : day;
}

std::string Megabytes(uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1 << 20));
    return text;
}

int64_t FileSystemFreeSpace(const std::string& folder) {
    std::error_code error;
    std::filesystem::space_info info = std::filesystem::space(std::filesystem::path(folder), error);
    if (error || info.available == static_cast<std::uintmax_t>(-1))
        return -1;
    return static_cast<int64_t>(std::min<std::uintmax_t>(info.available, INT64_MAX));
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
        KeepSpaceAt(now);
    }
}

int JournalWriter::Prepare() {
    int64_t now = clock();
    RetainOncePerDay(now);
    return file != nullptr || OpenDay(DayOf(now), now, false);
}

int JournalWriter::Append(const JournalRecord& record, bool flushNow) {
    return AppendLine(record.utcMilliseconds + record.utcOffsetMinutes * 60000LL, flushNow,
                      [&record](std::string* out) { AppendRecordLine(record, out); });
}

int JournalWriter::AppendWritten(int64_t utcMilliseconds, int utcOffsetMinutes, std::string_view recordLine,
                                 bool flushNow) {
    return AppendLine(utcMilliseconds + utcOffsetMinutes * 60000LL, flushNow, [recordLine](std::string* out) {
        out->append(recordLine.data(), recordLine.size());
        out->push_back('\n');
    });
}

template <typename Fill>
int JournalWriter::AppendLine(int64_t localMilliseconds, bool flushNow, Fill fill) {
    int64_t now = clock();
    RetainOncePerDay(now);
    if (spaceFull && (now < nextSpaceCheck || !KeepSpaceAt(now))) {
        notWritten.fetch_add(1);
        return 0;
    }
    int64_t day = DayOf(localMilliseconds);
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
    fill(&line);
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
    bytesSinceCheck += line.size();
    bool limited = space.budgetBytes > 0 || space.freeFloorBytes > 0;
    if (limited && (bytesSinceCheck >= SpaceCheckBytes() || now >= nextSpaceCheck))
        KeepSpaceAt(now);
    if (flushNow)
        return FlushPending(now);
    return 1;
}

int JournalWriter::ApplyRetention() {
    if (keepDays <= 0)
        return 0;
    std::vector<JournalFile> files = ListJournalFiles(folder);
    int64_t today = DayOf(clock());
    bool todayHasFile =
        std::any_of(files.begin(), files.end(), [&](const JournalFile& f) { return f.day == today; });
    // Only files beyond the newest keepDays (today's counted) may go, and never the newest.
    int64_t beyond = static_cast<int64_t>(files.size()) + (todayHasFile ? 0 : 1) - keepDays;
    int64_t deletable = std::min<int64_t>(beyond, static_cast<int64_t>(files.size()) - 1);
    int64_t oldestKept = today - (keepDays - 1);
    int deleted = 0;
    for (int64_t i = 0; i < deletable && files[i].day < oldestKept; ++i) {
        if (files[i].day == fileDay)
            CloseFile();
        std::error_code error;
        if (std::filesystem::remove(std::filesystem::path(files[i].path), error))
            ++deleted;
    }
    return deleted;
}

void JournalWriter::SetSpace(const JournalSpace& limits, FreeSpace reading) {
    space = limits;
    freeSpace = reading ? std::move(reading) : FreeSpace(FileSystemFreeSpace);
}

uint64_t JournalWriter::SpaceCheckBytes() const {
    uint64_t step = space.budgetBytes > 0 ? space.budgetBytes / 64 : UINT64_MAX;
    return std::clamp<uint64_t>(step, 64 << 10, 16 << 20);
}

int JournalWriter::KeepSpace() {
    return KeepSpaceAt(clock());
}

int JournalWriter::KeepSpaceAt(int64_t now) {
    bytesSinceCheck = 0;
    if (space.budgetBytes == 0 && space.freeFloorBytes == 0)
        return 1;
    // The sizes on disk then hold every record taken.
    FlushPending(now);
    std::vector<JournalFile> files = ListJournalFiles(folder);
    uint64_t total = 0;
    for (const JournalFile& f : files)
        total += f.bytes;
    int64_t free = space.freeFloorBytes > 0 ? freeSpace(folder) : -1;
    auto overBudget = [&] { return space.budgetBytes > 0 && total > space.budgetBytes; };
    auto belowFloor = [&] {
        return space.freeFloorBytes > 0 && free >= 0 && static_cast<uint64_t>(free) < space.freeFloorBytes;
    };
    bool forFloor = belowFloor();
    int64_t today = DayOf(now);
    std::vector<const JournalFile*> deleted;
    uint64_t deletedBytes = 0;
    for (const JournalFile& f : files) {
        if (!overBudget() && !belowFloor())
            break;
        // Today's lines go on; the file they go to stays.
        if (f.day == today)
            continue;
        if (f.day == fileDay)
            CloseFile();
        std::error_code error;
        if (!std::filesystem::remove(std::filesystem::path(f.path), error))
            continue;
        total -= f.bytes;
        deletedBytes += f.bytes;
        deleted.push_back(&f);
        if (space.freeFloorBytes > 0)
            free = freeSpace(folder);
    }
    std::string limit = forFloor
                            ? "keep " + Megabytes(space.freeFloorBytes) + " free on its disk (JournalFreeMB=)"
                            : "keep the journal within " + Megabytes(space.budgetBytes) + " (JournalSizeMB=)";
    if (!deleted.empty()) {
        deletedForSpace.fetch_add(deleted.size());
        std::string names = deleted.front()->path;
        if (deleted.size() > 1)
            names += " to " + JournalFileName(deleted.back()->day);
        if (trouble)
            trouble("Journal: deleted " + std::to_string(deleted.size()) + " day file" +
                    (deleted.size() > 1 ? "s" : "") + " (" + names + ", " + Megabytes(deletedBytes) +
                    ") to " + limit);
    }
    bool full = overBudget() || belowFloor();
    nextSpaceCheck = now + (full ? kSpaceRetryMilliseconds : kSpaceCheckMilliseconds);
    if (full && !spaceFull) {
        if (belowFloor())
            Fail("only " + Megabytes(static_cast<uint64_t>(free)) + " are free on the disk of " + folder +
                     ", less than " + Megabytes(space.freeFloorBytes) + " (JournalFreeMB=)",
                 now, false);
        else
            Fail("the journal's budget of " + Megabytes(space.budgetBytes) +
                     " (JournalSizeMB=) is used up and no older day file can be deleted",
                 now, false);
    }
    spaceFull = full;
    return full ? 0 : 1;
}

}  // namespace zamri
