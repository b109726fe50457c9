#include "journal/journal_files.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "journal/journal_record.h"
#include "platform/paths.h"

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
            files.push_back(file);
        }
    }
    std::sort(files.begin(), files.end(),
              [](const JournalFile& a, const JournalFile& b) { return a.day < b.day; });
    return files;
}

int ReadCompleteLines(const std::string& path, std::string* out) {
    out->clear();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return 0;
    // The size is taken once: what the writer appends meanwhile belongs to the next search.
    std::error_code error;
    auto size = std::filesystem::file_size(std::filesystem::path(path), error);
    if (error) {
        std::fclose(file);
        return 0;
    }
    out->resize(static_cast<size_t>(size));
    size_t got = out->empty() ? 0 : std::fread(&(*out)[0], 1, out->size(), file);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return 0;
    // A file that shrank (retention, a copy) gives what was there.
    out->resize(got);
    size_t lastNewline = out->rfind('\n');
    out->resize(lastNewline == std::string::npos ? 0 : lastNewline + 1);
    return 1;
}

}  // namespace zamri
