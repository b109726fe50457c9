// Cutting a text file into lines the same way everywhere: a line ends at LF, at CR LF or at a
// CR on its own, wherever it stands (also at the very end of the file), so that no reader
// keeps a CR in a value and a rewrite never turns one line into another.
#pragma once

#include <cstddef>
#include <string>

namespace zamri {

// The line that starts at start: its text runs to *textEnd, and the next line starts at the
// returned position (text.size() after the last one). *ending receives the line end's bytes
// ("\n", "\r\n", "\r" or "" for a last line without one).
inline size_t NextLine(const std::string& text, size_t start, size_t* textEnd, std::string* ending) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
        *textEnd = text.size();
        ending->clear();
        return text.size();
    }
    *textEnd = end;
    size_t next = end + 1;
    if (text[end] == '\r' && next < text.size() && text[next] == '\n')
        ++next;
    ending->assign(text, end, next - end);
    return next;
}

}  // namespace zamri
