#include <windows.h>

#include "codepage/hebrew_setting.h"

// The recorder keeps its settings file in the Windows directory, wherever this program lives.
int RecorderSettingsPath(const char* settingsPath, char* out, int size) {
    return zamri::DefaultRecorderSettingsPath(out, size);
}

bool RecorderFileStamp(const char* path, int64_t* time, uint64_t* size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        return false;
    *time = static_cast<int64_t>((static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                 data.ftLastWriteTime.dwLowDateTime);
    *size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

int64_t CoarseMilliseconds() {
    return static_cast<int64_t>(GetTickCount64());
}
