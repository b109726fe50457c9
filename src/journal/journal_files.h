// The journal folder: one file per local day, named "YYYY-MM-DD.jsonl", and reading its
// complete lines while the program may still be appending.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace zamri {

// "YYYY-MM-DD.jsonl" for a day counted from 1970-01-01 of the local calendar.
std::string JournalFileName(int64_t localDay);
// The day of such a name; false for any other name.
bool ParseJournalFileName(std::string_view name, int64_t* localDay);
// The day of a "YYYY-MM-DD" text (the first ten characters); false when malformed.
bool ParseDayText(std::string_view text, int64_t* localDay);

struct JournalFile {
    int64_t day = 0;
    std::string path;
    uint64_t bytes = 0;  // its size when the folder was listed
};
// The journal files in folder, oldest first; empty when the folder cannot be read.
std::vector<JournalFile> ListJournalFiles(const std::string& folder);

// folder and name joined with the platform's separator.
std::string JoinPath(const std::string& folder, const std::string& name);

// Reads a day file's complete lines in blocks of at most kBlockBytes, so that reading a day of
// a flooded till takes no more memory than a quiet one. The size is taken at Open: what the
// writer appends meanwhile belongs to the next reading, and what follows the last newline (a
// record still being written, or one a crash tore) is left out.
class JournalFileReader {
  public:
    static constexpr size_t kBlockBytes = 1 << 20;

    // 1 opened; 0 when the file cannot be read.
    int Open(const std::string& path);
    // The next block: one or more complete lines, each with its newline, and where it begins
    // in the file; false at the end. A line longer than a block is skipped and counted.
    bool Next(std::string_view* lines, uint64_t* offset);
    uint64_t SkippedLines() const { return skipped; }

  private:
    // Reads up to want more bytes behind the buffer's data; the number read.
    size_t Fill(size_t want);

    std::ifstream in;
    uint64_t size = 0;      // the bytes to read, taken at Open
    uint64_t readTo = 0;    // the bytes read from the file so far
    uint64_t consumed = 0;  // the file offset of buffer[0]
    std::string buffer;
    size_t used = 0;    // bytes of buffer holding data
    size_t handed = 0;  // bytes of buffer the last Next handed out
    uint64_t skipped = 0;
};

// Reads a day file's complete lines backwards from a line start: for the first lines of a
// receipt that began before the part of the journal being searched. Holds at most a line and
// two chunks; lines longer than kLongestLine are skipped.
class JournalBackwardReader {
  public:
    static constexpr size_t kChunkBytes = 1 << 16;
    static constexpr size_t kLongestLine = 1 << 16;
    static constexpr uint64_t kFileEnd = UINT64_MAX;

    // The lines before end (a line start), or every complete line with kFileEnd. 1 opened.
    int Open(const std::string& path, uint64_t end);
    // The line before the one returned last, without its newline, and where it begins; false
    // at the start of the file (or when it cannot be read).
    bool Previous(std::string_view* line, uint64_t* offset);

  private:
    // Reads the chunk before the buffer and puts it in front; false when it cannot be read.
    bool ReadEarlierChunk();

    std::ifstream in;
    uint64_t end = 0;          // the next line returned ends with the newline at end - 1
    uint64_t bufferStart = 0;  // the file offset of buffer[0]
    std::string buffer;
};

}  // namespace zamri
