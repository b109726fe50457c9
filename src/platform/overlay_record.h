// The one-line text form in which the overlay library records its calls, shared by the
// library itself, the replay tool and the tests that read the record back.
//
//   OV_open<TAB>a<TAB>b<TAB>handle
//   OV_write<TAB>handle<TAB>channel<TAB>flags<TAB>text
//   OV_close<TAB>handle
//
// Numbers are decimal. In the text, backslash, tab, CR and LF are written as \\, \t, \r, \n
// and every other byte below 0x20 or from 0x7F up as \xHH (two upper-case hex digits).
#pragma once

#include <string>

namespace zamri {

// Appends the escaped form of text to out.
void AppendEscapedText(std::string& out, const char* text);
// Reverses AppendEscapedText; a malformed escape is kept as it stands.
std::string UnescapeText(const std::string& escaped);

std::string FormatOpenRecord(int a, int b, int handle);
std::string FormatWriteRecord(int handle, int channel, int flags, const char* text);
std::string FormatCloseRecord(int handle);

}  // namespace zamri
