#include "journal/journal_files.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/paths.h"
#include "text/civil_days.h"

namespace zamri {

namespace {

bool TwoOrFourDigits(std::string_view s, size_t at, size_t count, int* value) {
    int v = 0;
    for (size_t i = 0; i < count; ++i) {
        char c = s[at + i];
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    *value = v;
    return true;
}

// Opens path afresh in *in and tells its size now. False when it cannot be read.
bool OpenWithSize(const std::string& path, std::ifstream* in, uint64_t* size) {
    in->close();
    in->clear();
    std::error_code error;
    auto bytes = std::filesystem::file_size(std::filesystem::path(path), error);
    if (error)
        return false;
    in->open(path, std::ios::binary);
    if (!in->is_open())
        return false;
    *size = static_cast<uint64_t>(bytes);
    return true;
}

}  // namespace

std::string JournalFileName(int64_t localDay) {
    int year = 0, month = 0, day = 0;
    CivilFromDays(localDay, &year, &month, &day);
    char name[32];
    std::snprintf(name, sizeof name, "%04d-%02d-%02d.jsonl", year, month, day);
    return name;
}

bool ParseDayText(std::string_view text, int64_t* localDay) {
    int year = 0, month = 0, day = 0;
    if (text.size() < 10 || text[4] != '-' || text[7] != '-' || !TwoOrFourDigits(text, 0, 4, &year) ||
        !TwoOrFourDigits(text, 5, 2, &month) || !TwoOrFourDigits(text, 8, 2, &day) || month < 1 ||
        month > 12 || day < 1 || day > 31)
        return false;
    *localDay = DaysFromCivil(year, month, day);
    return true;
}

bool ParseJournalFileName(std::string_view name, int64_t* localDay) {
    return name.size() == 16 && name.substr(10) == ".jsonl" && ParseDayText(name, localDay);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    char last = folder.back();
    if (last == '/' || last == kPathSeparator)
        return folder + name;
    return folder + kPathSeparator + name;
}

std::vector<JournalFile> ListJournalFiles(const std::string& folder) {
    std::vector<JournalFile> files;
    std::error_code error;
    std::filesystem::directory_iterator it(std::filesystem::path(folder), error);
    if (error)
        return files;
    for (; it != std::filesystem::directory_iterator(); it.increment(error)) {
        if (error)
            break;
        std::string name = it->path().filename().string();
        JournalFile file;
        if (ParseJournalFileName(name, &file.day)) {
            file.path = JoinPath(folder, name);
            std::error_code sizeError;
            uintmax_t bytes = it->file_size(sizeError);
            file.bytes = sizeError ? 0 : static_cast<uint64_t>(bytes);
            files.push_back(file);
        }
    }
    std::sort(files.begin(), files.end(),
              [](const JournalFile& a, const JournalFile& b) { return a.day < b.day; });
    return files;
}

int JournalFileReader::Open(const std::string& path) {
    readTo = consumed = skipped = 0;
    used = handed = 0;
    if (!OpenWithSize(path, &in, &size)) {
        size = 0;
        return 0;
    }
    buffer.resize(static_cast<size_t>(std::min<uint64_t>(size, kBlockBytes)));
    return 1;
}

size_t JournalFileReader::Fill(size_t want) {
    want = static_cast<size_t>(std::min<uint64_t>(want, size - readTo));
    if (want == 0)
        return 0;
    in.read(&buffer[used], static_cast<std::streamsize>(want));
    size_t got = static_cast<size_t>(in.gcount());
    used += got;
    readTo += got;
    // A file that shrank (a copy, a retention) gives what was there.
    if (got < want)
        size = readTo;
    return got;
}

bool JournalFileReader::Next(std::string_view* lines, uint64_t* offset) {
    if (handed > 0) {
        std::memmove(&buffer[0], &buffer[handed], used - handed);
        used -= handed;
        consumed += handed;
        handed = 0;
    }
    for (;;) {
        Fill(buffer.size() - used);
        size_t last = used;
        while (last > 0 && buffer[last - 1] != '\n')
            --last;
        if (last > 0) {
            handed = last;
            *lines = std::string_view(buffer.data(), last);
            *offset = consumed;
            return true;
        }
        if (readTo == size || used < buffer.size())
            return false;  // what is left is a line not yet finished
        // A whole block without a newline: that line is no record; skip to its end.
        ++skipped;
        for (;;) {
            consumed += used;
            used = 0;
            if (Fill(buffer.size()) == 0)
                return false;
            const void* newline = std::memchr(buffer.data(), '\n', used);
            if (newline != nullptr) {
                size_t after = static_cast<size_t>(static_cast<const char*>(newline) - buffer.data()) + 1;
                std::memmove(&buffer[0], &buffer[after], used - after);
                used -= after;
                consumed += after;
                break;
            }
        }
    }
}

int JournalBackwardReader::Open(const std::string& path, uint64_t before) {
    buffer.clear();
    uint64_t bytes = 0;
    end = bufferStart = 0;
    if (!OpenWithSize(path, &in, &bytes))
        return 0;
    end = std::min<uint64_t>(before, bytes);
    bufferStart = end;
    if (before == kFileEnd) {
        // Complete lines only: whatever follows the last newline is still being written.
        while (end > 0) {
            size_t tail = buffer.size();
            while (tail > 0 && buffer[tail - 1] != '\n')
                --tail;
            if (tail > 0) {
                end = bufferStart + tail;
                break;
            }
            if (bufferStart == 0 || !ReadEarlierChunk()) {
                end = 0;
                break;
            }
        }
    }
    return 1;
}

bool JournalBackwardReader::ReadEarlierChunk() {
    size_t n = static_cast<size_t>(std::min<uint64_t>(kChunkBytes, bufferStart));
    uint64_t from = bufferStart - n;
    std::string chunk(n, '\0');
    in.clear();
    in.seekg(static_cast<std::streamoff>(from));
    in.read(&chunk[0], static_cast<std::streamsize>(n));
    if (static_cast<size_t>(in.gcount()) != n)
        return false;
    // Only what lies before end is still needed; a line that will not fit is skipped, so its
    // bytes need not be kept.
    buffer.resize(static_cast<size_t>(std::min<uint64_t>(buffer.size(), end - bufferStart)));
    if (end - 1 - bufferStart > kLongestLine)
        buffer.swap(chunk);
    else
        buffer.insert(0, chunk);
    bufferStart = from;
    return true;
}

bool JournalBackwardReader::Previous(std::string_view* line, uint64_t* offset) {
    while (end > 0) {
        // The newline at end - 1 ends this line; its start follows the newline before it.
        uint64_t searchTo = std::min<uint64_t>(end - 1, bufferStart + buffer.size());
        size_t i = searchTo > bufferStart ? static_cast<size_t>(searchTo - bufferStart) : 0;
        while (i > 0 && buffer[i - 1] != '\n')
            --i;
        uint64_t start;
        if (i > 0) {
            start = bufferStart + i;
        } else if (bufferStart == 0) {
            start = 0;
        } else {
            if (!ReadEarlierChunk()) {
                end = 0;
                return false;
            }
            continue;
        }
        uint64_t lineEnd = end - 1;
        end = start;
        if (lineEnd - start > kLongestLine)
            continue;
        *line = std::string_view(buffer.data() + (start - bufferStart), static_cast<size_t>(lineEnd - start));
        *offset = start;
        return true;
    }
    return false;
}

}  // namespace zamri
