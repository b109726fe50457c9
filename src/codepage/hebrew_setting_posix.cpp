#include <sys/stat.h>
#include <time.h>

#include <cstdlib>
#include <cstring>

#include "codepage/hebrew_setting.h"

int RecorderSettingsPath(const char* settingsPath, char* out, int size) {
    if (out == nullptr || size <= 0)
        return 0;
    const char* named = std::getenv("ZAMRI_RECORDER_INI");
    if (named != nullptr && *named != 0) {
        size_t length = std::strlen(named);
        if (length >= static_cast<size_t>(size)) {
            out[0] = 0;
            return 0;
        }
        std::memcpy(out, named, length + 1);
        return 1;
    }
    char own[zamri::kMaxPath];
    if (settingsPath == nullptr || *settingsPath == 0) {
        if (zamri::DefaultSettingsPath(own, sizeof own) == 0) {
            out[0] = 0;
            return 0;
        }
        settingsPath = own;
    }
    char directory[zamri::kMaxPath];
    const char* cut = std::strrchr(settingsPath, '/');
    size_t keep = cut != nullptr ? static_cast<size_t>(cut - settingsPath) : 0;
    if (keep >= sizeof directory) {
        out[0] = 0;
        return 0;
    }
    if (cut == nullptr) {
        std::memcpy(directory, ".", 2);
    } else if (keep == 0) {
        std::memcpy(directory, "/", 2);
    } else {
        std::memcpy(directory, settingsPath, keep);
        directory[keep] = 0;
    }
    return zamri::BuildRecorderSettingsPath(directory, '/', out, size);
}

bool RecorderFileStamp(const char* path, int64_t* time, uint64_t* size) {
    struct stat info;
    if (stat(path, &info) != 0)
        return false;
    *time = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    *size = static_cast<uint64_t>(info.st_size);
    return true;
}

int64_t CoarseMilliseconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}
