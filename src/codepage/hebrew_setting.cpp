#include "codepage/hebrew_setting.h"

#include <cstdio>

#include "platform/profile.h"

void HebrewSetting::SetPath(const char* newPath) {
    std::snprintf(path, sizeof path, "%s", newPath != nullptr ? newPath : "");
    checked = false;
    fileSeen = false;
    value = 0;
}

int HebrewSetting::Current() {
    if (path[0] == 0)
        return 0;
    int64_t now = CoarseMilliseconds();
    if (!checked || now - lastCheck >= kRecheckMilliseconds)
        Refresh(now);
    return value;
}

void HebrewSetting::Refresh(int64_t now) {
    bool firstCheck = !checked;
    checked = true;
    lastCheck = now;
    int64_t stamp = 0;
    uint64_t size = 0;
    bool seen = RecorderFileStamp(path, &stamp, &size);
    bool changed = seen != fileSeen || stamp != fileTime || size != fileSize;
    if (!firstCheck && !changed && now - lastRead < kRereadMilliseconds)
        return;
    fileSeen = seen;
    fileTime = stamp;
    fileSize = size;
    lastRead = now;
    value = seen ? zamri::ProfileReadInt(path, "generic", "pos_hebrew", 0) : 0;
}
