// The settings (INI) file. Windows: the private-profile functions. Linux: our own reader and
// writer (ini_document.h) with the same observable behaviour: section and key names compared
// without regard to case, white space around names and values ignored, a value in matching
// quotes read without them, defaults for whatever is missing, and a write that creates the file
// or the section when needed and leaves every other line as it was.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace zamri {

// Copies the value of key in section, or def when it is missing, into out (size bytes; at most
// size - 1 characters are kept, always terminated). Returns the number of characters copied.
int ProfileReadText(const char* path, const char* section, const char* key, const char* def, char* out,
                    int size);

// The value as a decimal integer; def when the key is missing or empty.
int ProfileReadInt(const char* path, const char* section, const char* key, int def);

// Every key=value of section in file order, read in one pass over the file; each value as
// ProfileReadText would read it with a buffer of 256 (at most 255 characters). Empty when the
// file or the section is missing.
std::vector<std::pair<std::string, std::string>> ProfileReadSection(const char* path, const char* section);

// Writes key=value into section. Returns 1 on success, 0 when the file could not be written.
int ProfileWriteText(const char* path, const char* section, const char* key, const char* value);

}  // namespace zamri
