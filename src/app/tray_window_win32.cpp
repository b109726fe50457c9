// The hidden window: the tray icon from creation to destruction, the popup menu and the
// three commands.
#include <windows.h>

#include <shellapi.h>

#include "app/app_startup.h"
#include "app/service_options.h"
#include "app/tray_app.h"
#include "config/settings.h"
#include "platform/language.h"
#include "platform/os.h"
#include "ui/resource_ids.h"
#include "web/web_front.h"

LRESULT CALLBACK TrayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    TrayApp* app = nullptr;
    if (message == WM_CREATE) {
        app = static_cast<TrayApp*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(app));
    } else {
        app = reinterpret_cast<TrayApp*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    }
    // Messages before WM_CREATE (WM_NCCREATE and friends) find no object.
    if (app == nullptr)
        return DefWindowProcA(window, message, wParam, lParam);
    return app->HandleMessage(window, message, wParam, lParam);
}

namespace {

// The first version of the notify-icon record (88 bytes in a 32-bit program), as the
// oldest shells know it.
NOTIFYICONDATAA TrayIconRecord(HWND window, HICON icon) {
    NOTIFYICONDATAA data = {};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = window;
    data.uID = ID_TRAY_ICON;
    data.hIcon = icon;
    return data;
}

// Replaces an item's text only when the language pack has one; otherwise the resource text stays.
void LocalizeItem(HMENU popup, UINT command, const char* key) {
    char text[256];
    if (langPack.LoadText(text, sizeof text, key, "Menu") == nullptr)
        return;
    ModifyMenuA(popup, command, MF_BYCOMMAND | MF_STRING, command, text);
}

}  // namespace

void TrayApp::AddTrayIcon(const char* tip) {
    NOTIFYICONDATAA data = TrayIconRecord(hwnd, icon);
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_TRAY_CALLBACK;
    lstrcpynA(data.szTip, tip != nullptr ? tip : "", sizeof data.szTip);
    Shell_NotifyIconA(NIM_ADD, &data);
}

void TrayApp::RemoveTrayIcon() {
    NOTIFYICONDATAA data = TrayIconRecord(hwnd, icon);
    data.uFlags = NIF_ICON;
    Shell_NotifyIconA(NIM_DELETE, &data);
}

LRESULT TrayApp::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return OnCreate(window);
        case WM_DESTROY:
            return OnDestroy();
        case WM_COMMAND:
            return OnCommand(wParam);
        case WM_TRAY_CALLBACK:
            if (lParam == WM_LBUTTONDOWN || lParam == WM_RBUTTONDOWN)
                ShowTrayMenu();
            return DefWindowProcA(window, message, wParam, lParam);
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

LRESULT TrayApp::OnCreate(HWND window) {
    hwnd = window;
    // Without a title the language pack is unusable: refuse the window, the program ends.
    if (!zamri::LanguageHasTitle(langPack))
        return -1;
    AddTrayIcon("");
    program.Start(zamri::ProcessPaths().recorderSettings);
    zamri::WebFront& web = program.Web();
    // The page's trouble is shown once capture runs (a message box waits for the user).
    if (!program.WebError().empty())
        zamri::ShowMessage(program.WebError().c_str(), "Error", zamri::kMsgIconError);
    else if (web.Running() && !web.Warning().empty())
        zamri::WriteErrorLine(web.Warning().c_str());  // zamri-errors.log: the tray has no console
    return 0;
}

void TrayApp::OpenLiveView() {
    if (!program.Web().Running())
        return;
    // The default browser; the shell returns at once.
    ShellExecuteA(hwnd, "open", program.Web().LocalAddress().c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

LRESULT TrayApp::OnDestroy() {
    // The page, capture, then the sinks with what they still hold.
    program.Stop();
    PostQuitMessage(0);
    RemoveTrayIcon();
    return 0;
}

LRESULT TrayApp::OnCommand(WPARAM command) {
    switch (command) {
        case IDM_PROPERTY:
            ShowPropertySheet(sheet, AppInstance(), hwnd);
            break;
        case IDM_EXIT:
            PostMessageA(hwnd, WM_CLOSE, 0, 0);
            break;
        case IDM_LIVE_VIEW:
            OpenLiveView();
            break;
        case IDM_BINARY_DUMP:
            // A dump records a serial port; TCP mode has none (its menu has no such item).
            if (channelTable.GetMode() == 0)
                StartOrStopDump();
            break;
        default:
            break;
    }
    return 0;
}

void TrayApp::StartOrStopDump() {
    if (dumpActive == 0) {
        DialogBoxParamA(AppInstance(), MAKEINTRESOURCEA(IDD_BINARY_DUMP), hwnd, BinaryDumpDialogProc,
                        reinterpret_cast<LPARAM>(this));
        return;
    }
    if (MessageBoxA(hwnd, "Do you stop Binary Dump?", "Warning", MB_YESNO | MB_ICONQUESTION) == IDYES) {
        channelTable.StopDump(dumpChannel);
        dumpActive = 0;
    }
}

void TrayApp::ShowTrayMenu() {
    // Without the foreground the menu would not close when the user clicks elsewhere.
    SetForegroundWindow(hwnd);
    HMENU menu = LoadMenuA(AppInstance(), MAKEINTRESOURCEA(langPack.ResourceId(IDR_TRAY_MENU) & 0xFFFF));
    if (menu == nullptr)
        return;
    HMENU popup = GetSubMenu(menu, 0);
    if (popup != nullptr) {
        LocalizeItem(popup, IDM_PROPERTY, "properties");
        if (channelTable.GetMode() != 0) {
            DeleteMenu(popup, IDM_BINARY_DUMP, MF_BYCOMMAND);
        } else {
            LocalizeItem(popup, IDM_BINARY_DUMP, dumpActive == 0 ? "binarydump" : "binarydumpstop");
        }
        LocalizeItem(popup, IDM_EXIT, "exit");
        if (program.Web().Running()) {
            // First in the menu, with the language pack's text (or the English one).
            char text[256];
            if (langPack.LoadText(text, sizeof text, "liveview", "Menu") == nullptr)
                lstrcpynA(text, "Live View", sizeof text);
            InsertMenuA(popup, 0, MF_BYPOSITION | MF_STRING, IDM_LIVE_VIEW, text);
        }
        POINT cursor = {};
        GetCursorPos(&cursor);
        TrackPopupMenu(popup, TPM_RIGHTALIGN, cursor.x, cursor.y, 0, hwnd, nullptr);
        // The classic companion of the foreground call: the next click outside closes the menu.
        PostMessageA(hwnd, WM_NULL, 0, 0);
    }
    // Built afresh at every click, so the menu is freed after each.
    DestroyMenu(menu);
}
