// Hook procedures that the tray driver places on the program's window thread, writing to the
// file named by MENU_PROBE_FILE: every popup menu that the program is about to show, item by item
// (menus cannot be read from another process under wine), and every queued command.
#include <windows.h>

#include <cstdio>

extern "C" __declspec(dllexport) LRESULT CALLBACK MenuProbeHook(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    char path[MAX_PATH];
    if (code == HC_ACTION && sent->message == WM_INITMENUPOPUP &&
        GetEnvironmentVariableA("MENU_PROBE_FILE", path, sizeof path) > 0) {
        HMENU menu = reinterpret_cast<HMENU>(sent->wParam);
        FILE* file = std::fopen(path, "ab");
        if (file != nullptr) {
            std::fprintf(file, "popup\n");
            int count = GetMenuItemCount(menu);
            for (int i = 0; i < count; ++i) {
                char text[256] = {};
                GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
                std::fprintf(file, "%u\t%s\n", GetMenuItemID(menu, i), text);
            }
            std::fprintf(file, "end\n");
            std::fclose(file);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Records every command that reaches the program's window through its message queue (a posted
// WM_COMMAND, such as the one a second copy started with "/property" sends).
extern "C" __declspec(dllexport) LRESULT CALLBACK CommandProbeHook(int code, WPARAM wParam, LPARAM lParam) {
    const MSG* message = reinterpret_cast<const MSG*>(lParam);
    char path[MAX_PATH];
    if (code == HC_ACTION && wParam == PM_REMOVE && message->message == WM_COMMAND &&
        GetEnvironmentVariableA("MENU_PROBE_FILE", path, sizeof path) > 0) {
        FILE* file = std::fopen(path, "ab");
        if (file != nullptr) {
            std::fprintf(file, "command\t%llu\n", static_cast<unsigned long long>(message->wParam));
            std::fclose(file);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
