// The property pages and the dialogs they open. Every page and dialog procedure stores its
// TrayApp in the window's user data when it initialises and hands each message, with the
// TrayApp, to a handler named after the page.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class TrayApp;

INT_PTR CALLBACK ConnectionPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK TcpPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FilterPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// Modal dialogs over the record workingChannels[editChannel]: 1 after OK, 0 after Cancel (the
// pattern dialog: 1 after OK, 2 after Cancel).
INT_PTR ShowPortSettingsDialog(TrayApp* app, HWND owner);
INT_PTR ShowPatternDialog(TrayApp* app, HWND owner);

// The TrayApp that a page or dialog stored; nullptr before it initialised.
TrayApp* TrayAppOf(HWND window);
// On WM_INITDIALOG of a property page: stores the page's TrayApp (its creation parameter).
void StorePageTrayApp(HWND page, LPARAM initParam);

// Small control helpers shared by the pages.
std::string ControlText(HWND dialog, int controlId, int maxLength);
void AddComboItem(HWND combo, const char* text, LPARAM value);
