// An INI file held as its lines, so that a change rewrites one line and keeps every other byte.
// Portable and free of I/O: the Linux settings backend reads and writes files around it.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace zamri {

class IniDocument {
  public:
    IniDocument() = default;
    explicit IniDocument(const std::string& text);

    // The value of key in section (first match, names compared without regard to ASCII case),
    // trimmed of blanks and of one pair of matching quotes. False when the key is missing.
    bool Find(const std::string& section, const std::string& key, std::string* value) const;

    // Replaces the first key line of the section, or adds one at the end of the section, or
    // adds the section at the end of the document.
    void Set(const std::string& section, const std::string& key, const std::string& value);

    // Every key line of the section (its first occurrence), in file order, read as Find reads
    // it: one pass over the document, whatever the section holds.
    std::vector<std::pair<std::string, std::string>> Entries(const std::string& section) const;

    // Removes the first key line of the section; nothing when there is none.
    void RemoveKey(const std::string& section, const std::string& key);
    // Removes the section's header and lines (its first occurrence); the blank lines that part
    // it from the next section stay.
    void RemoveSection(const std::string& section);

    std::string Text() const;

    // One "key=value" line as Find reads it: the key trimmed, the value trimmed and without
    // one pair of matching quotes. False for a line that holds no key.
    static bool ParseKey(const std::string& line, std::string* key, std::string* value);

  private:
    struct Line {
        std::string text;    // without its line end
        std::string ending;  // "\n", "\r\n", "\r" or "" for a last line without one
    };

    int FindSection(const std::string& section) const;  // index of the header line, or -1
    int SectionEnd(int header) const;                   // index after the section's last line
    std::string NewLineEnding() const;

    std::vector<Line> lines_;
};

}  // namespace zamri
