// Binary Dump: dialog 109 picks a running port, the save-file dialog picks the file, and the
// port's capture object records every raw byte into it until the user stops it.
#include <windows.h>

#include <commdlg.h>

#include <cstring>

#include "app/dump_ports.h"
#include "app/tray_app.h"
#include "platform/language.h"
#include "ui/resource_ids.h"

namespace {

// Remembered between openings of the dialog.
int rememberedPosition = 0;
char rememberedPort[68] = {};

// Reads the port list's selection into the remembered position and name.
void RememberSelection(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_DUMP_PORT);
    LRESULT position = SendMessageA(list, CB_GETCURSEL, 0, 0);
    rememberedPosition = static_cast<int>(position);
    rememberedPort[0] = 0;
    if (position == CB_ERR)
        return;
    // CB_GETLBTEXT takes no buffer size: check the length first.
    LRESULT length = SendMessageA(list, CB_GETLBTEXTLEN, position, 0);
    if (length == CB_ERR || length >= static_cast<LRESULT>(sizeof rememberedPort))
        return;
    SendMessageA(list, CB_GETLBTEXT, position, reinterpret_cast<LPARAM>(rememberedPort));
}

// The executable's directory: the module path cut at its last backslash (not at the first
// character); the current directory when there is none.
void ExecutableDirectory(char* out, int size) {
    DWORD length = GetModuleFileNameA(nullptr, out, static_cast<DWORD>(size));
    if (length == 0 || length >= static_cast<DWORD>(size))
        length = 0;
    for (DWORD i = length; i > 1; --i) {
        if (out[i - 1] == '\\') {
            out[i - 1] = 0;
            return;
        }
    }
    GetCurrentDirectoryA(static_cast<DWORD>(size), out);
}

}  // namespace

INT_PTR CALLBACK BinaryDumpDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    TrayApp* app = nullptr;
    if (message == WM_INITDIALOG) {
        app = reinterpret_cast<TrayApp*>(lParam);
        SetWindowLongPtrA(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(app));
    } else {
        app = reinterpret_cast<TrayApp*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
    }
    if (app == nullptr)
        return FALSE;
    return app->HandleDumpDialog(dialog, message, wParam, lParam);
}

INT_PTR TrayApp::HandleDumpDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        CenterDialog(dialog);
        for (int i = 0; i < kChannelCount; ++i)
            sheet.workingChannels[i].CopyConfiguration(channelTable.channels[i]);
        zamri::DumpPortList ports;
        zamri::ListDumpPorts(sheet.workingChannels, ports);
        HWND list = GetDlgItem(dialog, IDC_DUMP_PORT);
        for (int i = 0; i < ports.count; ++i) {
            SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ports.names[i]));
        }
        SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(rememberedPosition), 0);
        return TRUE;
    }
    if (message != WM_COMMAND)
        return FALSE;

    if (LOWORD(wParam) == IDC_DUMP_PORT && HIWORD(wParam) == CBN_SELCHANGE) {
        RememberSelection(dialog);
        return TRUE;
    }
    if (LOWORD(wParam) == IDOK) {
        char path[MAX_PATH];
        if (SaveFileDialog(path, sizeof path, "TEXT File (*.txt)\0*.txt\0", "txt") == nullptr) {
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        // The list's selection counts; text typed into its edit field does not.
        RememberSelection(dialog);
        dumpChannel = channelTable.StartDump(rememberedPort, path);
        if (dumpChannel == -1) {
            MessageBoxA(dialog, "not connecting", "error", MB_OK);
            return TRUE;
        }
        dumpActive = 1;
        EndDialog(dialog, IDOK);
        return TRUE;
    }
    if (LOWORD(wParam) == IDCANCEL) {
        dumpActive = 0;
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

char* TrayApp::SaveFileDialog(char* buffer, int size, const char* filter, const char* defaultExtension) {
    char directory[MAX_PATH];
    ExecutableDirectory(directory, sizeof directory);
    std::memset(buffer, 0, static_cast<size_t>(size));

    char title[260];
    OPENFILENAMEA dialog = {};
    // The record's first, shortest form, which every version of the dialog accepts.
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.hwndOwner = hwnd;
    dialog.hInstance = AppInstance();
    dialog.lpstrFilter = filter;
    dialog.lpstrFile = buffer;
    dialog.nMaxFile = static_cast<DWORD>(size);
    dialog.lpstrTitle = langPack.LoadText(title, sizeof title, "title", "file open");
    // No OFN_FILEMUSTEXIST: a save dialog must accept a file that does not exist yet. An
    // existing one is emptied after the overwrite question.
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_SHAREAWARE | OFN_EXPLORER | OFN_ENABLESIZING;
    dialog.lpstrDefExt = defaultExtension;
    if (!GetSaveFileNameA(&dialog))
        return nullptr;
    // The dialog may have moved the current directory; give it back.
    SetCurrentDirectoryA(directory);
    return buffer;
}
