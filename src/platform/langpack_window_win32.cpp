#include <windows.h>

#include <cstring>

#include "platform/langpack_window.h"

namespace langpack {

int ProgramDirectory(char* out, int size, char* separator) {
    *separator = '\\';
    if (out == nullptr || size <= 1)
        return 0;
    DWORD length = GetModuleFileNameA(nullptr, out, static_cast<DWORD>(size));
    if (length == 0 || length >= static_cast<DWORD>(size)) {
        out[0] = 0;
        return 0;
    }
    char* cut = std::strrchr(out, '\\');
    if (cut == nullptr) {
        out[0] = 0;
        return 0;
    }
    *cut = 0;
    return static_cast<int>(cut - out);
}

int SetControlText(void* dialog, int controlId, const char* text) {
    return SetDlgItemTextA(static_cast<HWND>(dialog), controlId, text) ? 1 : 0;
}

int CenterWindow(void* window) {
    HWND hwnd = static_cast<HWND>(window);
    RECT own;
    if (hwnd == nullptr || !GetWindowRect(hwnd, &own))
        return 0;
    RECT area;
    HWND owner = GetWindow(hwnd, GW_OWNER);
    if (owner == nullptr)
        owner = GetParent(hwnd);
    // A hidden owner (the tray program's window) is no place to centre on: use the screen.
    if (owner == nullptr || !IsWindowVisible(owner) || !GetWindowRect(owner, &area)) {
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    }
    int width = own.right - own.left;
    int height = own.bottom - own.top;
    int x = area.left + ((area.right - area.left) - width) / 2;
    int y = area.top + ((area.bottom - area.top) - height) / 2;
    return SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE) ? 1 : 0;
}

}  // namespace langpack
