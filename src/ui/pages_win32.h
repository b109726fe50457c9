// The property pages and the dialogs they open. Every page and dialog procedure stores its
// TrayApp in the window's user data when it initialises and hands each message, with the
// TrayApp, to a handler named after the page.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class TrayApp;

// What a page or dialog does with each message, given its TrayApp (nullptr for messages that
// arrive before it initialised).
using DialogHandler = INT_PTR (*)(TrayApp* app, HWND window, UINT message, WPARAM wParam, LPARAM lParam);

INT_PTR HandleConnectionPage(TrayApp* app, HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR HandleTcpPage(TrayApp* app, HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR HandleFilterPage(TrayApp* app, HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR HandleAboutPage(TrayApp* app, HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// Modal dialogs over the record workingChannels[editChannel]: 1 after OK, 0 after Cancel (the
// pattern dialog: 1 after OK, 2 after Cancel).
INT_PTR ShowPortSettingsDialog(TrayApp* app, HWND owner);
INT_PTR ShowPatternDialog(TrayApp* app, HWND owner);

// The TrayApp that a page or dialog stored; nullptr before it initialised.
TrayApp* TrayAppOf(HWND window);
// On WM_INITDIALOG of a property page: stores the page's TrayApp (its creation parameter).
void StorePageTrayApp(HWND page, LPARAM initParam);

// A property page's procedure: the TrayApp comes with the page record.
template <DialogHandler handler>
INT_PTR CALLBACK PropertyPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG)
        StorePageTrayApp(page, lParam);
    return handler(TrayAppOf(page), page, message, wParam, lParam);
}

// A modal dialog's procedure and its display: the TrayApp is the dialog's creation parameter.
template <DialogHandler handler>
INT_PTR CALLBACK ModalDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG)
        SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
    return handler(TrayAppOf(dialog), dialog, message, wParam, lParam);
}
INT_PTR ShowModalDialog(int templateId, HWND owner, DLGPROC procedure, TrayApp* app);

// Small control helpers shared by the pages.
std::string ControlText(HWND dialog, int controlId, int maxLength);
void AddComboItem(HWND combo, const char* text, LPARAM value);
