// The recorder's "pos_hebrew" setting (section "generic" of its settings file), as the byte
// source needs it for every byte: the value is kept and the file's time stamp and size are
// looked at again at most every 100 ms; it is read again when either has changed, and every
// 2 seconds in any case (a file system with coarse time stamps may hide a quick rewrite of the
// same size). A change therefore applies within a fraction of a second, without a file open
// per byte.
#pragma once

#include <cstdint>

#include "platform/paths.h"

class HebrewSetting {
  public:
    // The recorder's settings file; an empty path means the setting is 0.
    void SetPath(const char* path);
    // The setting now in force (the key's integer value, 0 when the file or key is missing).
    int Current();

    static constexpr int kRecheckMilliseconds = 100;
    static constexpr int kRereadMilliseconds = 2000;

  private:
    void Refresh(int64_t now);

    char path[zamri::kMaxPath] = {};
    int value = 0;
    bool checked = false;
    int64_t lastCheck = 0;
    int64_t lastRead = 0;
    bool fileSeen = false;
    int64_t fileTime = 0;
    uint64_t fileSize = 0;
};

// The recorder's settings file for a program whose own settings file is settingsPath. Windows:
// "ruvo.ini" in the Windows directory. Linux: the file named by ZAMRI_RECORDER_INI, else
// "ruvo.ini" in the directory of settingsPath (of the executable when settingsPath is empty).
// Returns 1, or 0 with an empty out when no path fits.
int RecorderSettingsPath(const char* settingsPath, char* out, int size);

// The file's modification time (in the platform's finest unit) and size; false when it is
// missing or cannot be examined.
bool RecorderFileStamp(const char* path, int64_t* time, uint64_t* size);

// A monotonic clock in milliseconds that is cheap enough to read for every byte (a few
// milliseconds of resolution).
int64_t CoarseMilliseconds();
