// Start-up and shutdown of the Windows program: the application object, the single instance,
// the hidden window and the message loop.
#include "app/tray_app.h"

#include "app/app_startup.h"
#include "app/command_line.h"
#include "platform/language.h"
#include "ui/resource_ids.h"

namespace {
HINSTANCE moduleInstance = nullptr;
}  // namespace

HINSTANCE AppInstance() {
    return moduleInstance;
}

TrayApp::TrayApp() {
    zamri::BuildAppPaths(nullptr);
    channelTable.SetSettingsPath(zamri::ProcessPaths().settings);
    sheet.receiptsChanged = [this](const zamri::Settings& read) { program.UseReceiptSettings(read); };
}

TrayApp::~TrayApp() {
    // Members go in reverse order: the sheet's state, then the program, then the DialogHelper.
}

HWND TrayApp::Init(HINSTANCE instance, const char* commandLine) {
    moduleInstance = instance;

    HWND running = FindWindowA(kTrayWindowClass, nullptr);
    if (running != nullptr) {
        // The running copy opens its property sheet; this one ends without showing anything.
        if (zamri::IsPropertyCommandLine(commandLine))
            PostMessageA(running, WM_COMMAND, IDM_PROPERTY, 0);
        return nullptr;
    }

    int iconId = channelTable.GetMode() != 0 ? IDI_TCP_MODE : IDI_SERIAL_MODE;
    icon = LoadIconA(instance, MAKEINTRESOURCEA(langPack.ResourceId(iconId) & 0xFFFF));

    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = TrayWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = icon;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    windowClass.lpszClassName = kTrayWindowClass;
    HWND window = nullptr;
    if (RegisterClassA(&windowClass) != 0) {
        // Creation runs the creation handler: tray icon, settings, capture start.
        window = CreateWindowExA(0, kTrayWindowClass, "", WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, this);
    }
    if (window == nullptr) {
        if (icon != nullptr)
            DestroyIcon(icon);
        icon = nullptr;
        return nullptr;
    }
    ShowWindow(window, SW_HIDE);
    if (zamri::IsPropertyCommandLine(commandLine))
        PostMessageA(window, WM_COMMAND, IDM_PROPERTY, 0);
    return window;
}

int TrayApp::Run() {
    if (hwnd == nullptr)
        return 0;
    MSG message;
    // GetMessage returns -1 on an error; only a real message is dispatched.
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 1;
}
