// The journal folder: one file per local day, named "YYYY-MM-DD.jsonl", and reading its
// complete lines while the program may still be appending.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zamri {

constexpr int kDefaultJournalDays = 90;

// "YYYY-MM-DD.jsonl" for a day counted from 1970-01-01 of the local calendar.
std::string JournalFileName(int64_t localDay);
// The day of such a name; false for any other name.
bool ParseJournalFileName(std::string_view name, int64_t* localDay);
// The day of a "YYYY-MM-DD" text (the first ten characters); false when malformed.
bool ParseDayText(std::string_view text, int64_t* localDay);

struct JournalFile {
    int64_t day = 0;
    std::string path;
};
// The journal files in folder, oldest first; empty when the folder cannot be read.
std::vector<JournalFile> ListJournalFiles(const std::string& folder);

// folder and name joined with the platform's separator.
std::string JoinPath(const std::string& folder, const std::string& name);

// Reads the file's complete lines: everything up to and including its last newline. What
// follows the last newline is a record still being written, or one a crash tore, and is left
// out. Returns 1, or 0 when the file cannot be read.
int ReadCompleteLines(const std::string& path, std::string* out);

}  // namespace zamri
