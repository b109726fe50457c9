#include "platform/paths.h"

#include <cstdio>
#include <cstring>

#include "platform/os.h"

namespace zamri {

namespace {

int Finish(int written, char* out, int size) {
    if (written < 0 || written >= size) {
        out[0] = 0;
        return 0;
    }
    return 1;
}

}  // namespace

int BuildSettingsPath(const char* executablePath, char separator, char* out, int size) {
    if (out == nullptr || size <= 0)
        return 0;
    if (executablePath == nullptr)
        executablePath = "";
    const char* cut = std::strrchr(executablePath, separator);
    int keep = cut != nullptr ? static_cast<int>(cut - executablePath)
                              : static_cast<int>(std::strlen(executablePath));
    int written = std::snprintf(out, static_cast<size_t>(size), "%.*s%c%s", keep, executablePath, separator,
                                kSettingsFileName);
    return Finish(written, out, size);
}

int BuildRecorderSettingsPath(const char* directory, char separator, char* out, int size) {
    if (out == nullptr || size <= 0)
        return 0;
    if (directory == nullptr)
        directory = "";
    size_t length = std::strlen(directory);
    bool endsWithSeparator = length > 0 && directory[length - 1] == separator;
    int written = endsWithSeparator ? std::snprintf(out, static_cast<size_t>(size), "%s%s", directory,
                                                    kRecorderSettingsFileName)
                                    : std::snprintf(out, static_cast<size_t>(size), "%s%c%s", directory,
                                                    separator, kRecorderSettingsFileName);
    return Finish(written, out, size);
}

int DefaultSettingsPath(char* out, int size) {
    char executable[kMaxPath];
    if (GetExecutablePath(executable, sizeof executable) == 0)
        return 0;
    return BuildSettingsPath(executable, kPathSeparator, out, size);
}

int DefaultRecorderSettingsPath(char* out, int size) {
    char directory[kMaxPath];
    if (GetSystemSettingsDirectory(directory, sizeof directory) == 0)
        return 0;
    return BuildRecorderSettingsPath(directory, kPathSeparator, out, size);
}

}  // namespace zamri
