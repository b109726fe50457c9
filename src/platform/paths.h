// Building the two settings-file paths from the executable's path and the system directory.
#pragma once

namespace zamri {

#if defined(_WIN32)
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

constexpr int kMaxPath = 260;
constexpr const char kSettingsFileName[] = "zamri.ini";
constexpr const char kRecorderSettingsFileName[] = "ruvo.ini";

// The executable's path cut at its last separator, then separator and "zamri.ini". A path with
// no separator stays whole and gets separator and "zamri.ini" appended. Returns 1, or 0 when
// the result does not fit (out then holds an empty text).
int BuildSettingsPath(const char* executablePath, char separator, char* out, int size);

// The directory, a separator unless it already ends in one, then "ruvo.ini". Returns 1 or 0
// as above.
int BuildRecorderSettingsPath(const char* directory, char separator, char* out, int size);

// Both, for the running program: beside the executable, and in the system directory.
int DefaultSettingsPath(char* out, int size);
int DefaultRecorderSettingsPath(char* out, int size);

}  // namespace zamri
