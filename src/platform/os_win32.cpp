#include <windows.h>

#include "platform/os.h"

namespace zamri {

int ShowPlatformMessage(const char* text, const char* caption, unsigned style) {
    return MessageBoxA(nullptr, text, caption, style);
}

void SleepMilliseconds(int milliseconds) {
    Sleep(milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0);
}

int GetExecutablePath(char* out, int size) {
    if (out == nullptr || size <= 1)
        return 0;
    DWORD length = GetModuleFileNameA(nullptr, out, static_cast<DWORD>(size));
    if (length == 0 || length >= static_cast<DWORD>(size)) {
        out[0] = 0;
        return 0;
    }
    return static_cast<int>(length);
}

int GetSystemSettingsDirectory(char* out, int size) {
    if (out == nullptr || size <= 1)
        return 0;
    UINT length = GetWindowsDirectoryA(out, static_cast<UINT>(size));
    if (length == 0 || length >= static_cast<UINT>(size)) {
        out[0] = 0;
        return 0;
    }
    return static_cast<int>(length);
}

}  // namespace zamri
