#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/os.h"

namespace zamri {

void WritePlatformErrorLine(const char* text) {
    // A tray program has no console: the lines go to a file beside it, with the local time.
    char path[MAX_PATH + 32];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    char* slash = std::strrchr(path, '\\');
    std::snprintf(slash != nullptr ? slash + 1 : path, 32, "zamri-errors.log");
    SYSTEMTIME now;
    GetLocalTime(&now);
    char line[1200];
    int size = std::snprintf(line, sizeof line, "%04u-%02u-%02u %02u:%02u:%02u %s\r\n", now.wYear, now.wMonth,
                             now.wDay, now.wHour, now.wMinute, now.wSecond, text);
    if (size <= 0)
        return;
    if (size >= static_cast<int>(sizeof line))
        size = static_cast<int>(sizeof line) - 1;
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(file);
    OutputDebugStringA(line);
}

int ShowPlatformMessage(const char* text, const char* caption, unsigned style) {
    return MessageBoxA(nullptr, text, caption, style);
}

void SleepMilliseconds(int milliseconds) {
    Sleep(milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0);
}

std::string ComputerName() {
    char name[256] = {};
    DWORD size = sizeof name;
    if (!GetComputerNameExA(ComputerNameDnsHostname, name, &size))
        return std::string();
    return name;
}

int ProcessId() {
    return static_cast<int>(GetCurrentProcessId());
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

// A lower priority is not the same thing: under a busy video decoder it would leave lines
// waiting, where the batch class only gives up the right to preempt.
int MarkThreadAsBackgroundWorker() {
    return 0;
}

}  // namespace zamri
