// The Windows program's one application object: the hidden window with the tray icon, its
// menu and commands, the Binary Dump, and the property sheet's state.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "app/service_options.h"
#include "config/channel_table.h"
#include "platform/langpack.h"
#include "program/program.h"
#include "ui/property_sheet_win32.h"

// The hidden window's class; also the single-instance key.
constexpr char kTrayWindowClass[] = "zamri";

// The module instance handle, stored when Init begins.
HINSTANCE AppInstance();

// The window procedures; each finds its TrayApp in the window's user data.
LRESULT CALLBACK TrayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK BinaryDumpDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

class TrayApp : public DialogHelper {
  public:
    // Builds the program (which opens the overlay library once) and the two settings file
    // paths.
    TrayApp();
    // The sheet's state goes first, then the program (web page, capture, sinks, delivery, overlay
    // library, channel table, in that order).
    ~TrayApp();
    TrayApp(const TrayApp&) = delete;
    TrayApp& operator=(const TrayApp&) = delete;

    // The hidden window, or nullptr when the process must end without a message loop (another
    // instance runs, or the window was refused).
    HWND Init(HINSTANCE instance, const char* commandLine);
    // The message loop: 0 at once without a window, else 1 when the quit message arrives.
    int Run();

    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void AddTrayIcon(const char* tip);
    void RemoveTrayIcon();

    // Binary Dump (dialog 109).
    INT_PTR HandleDumpDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    // The chosen path in buffer, or nullptr when the user cancels.
    char* SaveFileDialog(char* buffer, int size, const char* filter, const char* defaultExtension);

    HICON icon = nullptr;
    HWND hwnd = nullptr;
    zamri::Program program{zamri::kProgramVersion};
    ChannelTable& channelTable = program.Table();
    // What the property sheet edits; the Binary Dump lists its ports from the same working copy.
    PropertySheetState sheet{channelTable, program.Delivery()};
    int dumpActive = 0;
    int dumpChannel = -1;

  private:
    LRESULT OnCreate(HWND window);
    LRESULT OnDestroy();
    LRESULT OnCommand(WPARAM command);
    void ShowTrayMenu();
    void StartOrStopDump();
    void OpenLiveView();
};
