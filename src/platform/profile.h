// The settings (INI) file. Windows: the private-profile functions. Linux: our own reader and
// writer (ini_document.h) with the same observable behaviour: section and key names compared
// without regard to case, white space around names and values ignored, a value in matching
// quotes read without them, defaults for whatever is missing, and a write that creates the file
// or the section when needed and leaves every other line as it was.
//
// No value is ever cut: a value is read whole up to kMaxSettingsValueLength characters (or the
// smaller room the reader has for it), and a longer one is refused with a warning that names its
// section and key. A cut value could mean something else: an allowed-senders list cut after
// "10.20.30.40/3" would admit a whole block of strangers.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace zamri {

// The longest value the settings file may hold, in characters: room for some 200 allowed
// senders of the longest form ("255.255.255.255/32"), a filter entry four times as long as the
// longest line, or a dozen names of the longest kind.
constexpr int kMaxSettingsValueLength = 4095;

// Reads the whole value of key in section (trimmed, one pair of matching quotes removed) and
// says nothing. 1: read into value; 0: the file, the section or the key is missing (value
// empty); -1: the value is longer than kMaxSettingsValueLength (value empty).
int ProfileReadValue(const char* path, const char* section, const char* key, std::string* value);

// ProfileReadValue for a reader with room for maxLength characters (at most
// kMaxSettingsValueLength). A longer value is refused: value is left empty, the refusal is
// reported (ReportSettingsProblem) and -1 returned. consequence, when given, tells the user what
// the refusal means ("no sender may connect until it is shortened").
int ReadSettingsValue(const char* path, const char* section, const char* key, std::string* value,
                      int maxLength = kMaxSettingsValueLength, const char* consequence = nullptr);

// Copies the value of key in section, or def when it is missing, into out (size bytes, always
// terminated). A value longer than size - 1 characters is refused as ReadSettingsValue refuses
// it, and def is copied instead. Returns the number of characters copied.
int ProfileReadText(const char* path, const char* section, const char* key, const char* def, char* out,
                    int size);

// The value as a decimal integer; def when the key is missing or empty.
int ProfileReadInt(const char* path, const char* section, const char* key, int def);

// ProfileReadInt that says nothing: 1 with the number in *value, 0 when the key is missing or
// empty and -1 when its value is longer than kMaxSettingsValueLength (both with def in *value).
int ProfileReadInteger(const char* path, const char* section, const char* key, int def, int* value);

// Every key=value of section in file order, read in one pass over the file, each value whole. An
// entry whose value is longer than kMaxSettingsValueLength is left out: its key is added to
// *overlong, or the refusal is reported when overlong is null. Empty when the file or the section
// is missing.
std::vector<std::pair<std::string, std::string>> ProfileReadSection(
    const char* path, const char* section, std::vector<std::string>* overlong = nullptr);

// Writes key=value into section. Returns 1 on success, 0 when the file could not be written.
int ProfileWriteText(const char* path, const char* section, const char* key, const char* value);
// Removes key from section, or the whole section when key is null; a file, section or key that
// is missing is no failure. Returns 1 on success, 0 when the file could not be written.
int ProfileRemove(const char* path, const char* section, const char* key);

// "The value of <key> in [<section>] is longer than <limit> characters and is not used", then
// "; <consequence>" when one is given, and a full stop.
std::string OverlongSettingMessage(const char* section, const char* key, int limit, const char* consequence);

// Shows a problem with the settings file as the program shows warnings: a message box on
// Windows, a line on standard error on Linux, and on the web page's status.
void ReportSettingsProblem(const std::string& message);

}  // namespace zamri
