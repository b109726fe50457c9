// The property pages and the dialogs they open. Every page and dialog procedure stores the
// sheet's state in the window's user data when it initialises and hands each message, with that
// state, to a handler named after the page.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct PropertySheetState;

// What a page or dialog does with each message, given the sheet's state (nullptr for messages
// that arrive before it initialised).
using DialogHandler = INT_PTR (*)(PropertySheetState* sheet, HWND window, UINT message, WPARAM wParam,
                                  LPARAM lParam);

INT_PTR HandleConnectionPage(PropertySheetState* sheet, HWND page, UINT message, WPARAM wParam,
                             LPARAM lParam);
INT_PTR HandleTcpPage(PropertySheetState* sheet, HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR HandleFilterPage(PropertySheetState* sheet, HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR HandleExceptionsPage(PropertySheetState* sheet, HWND page, UINT message, WPARAM wParam,
                             LPARAM lParam);
INT_PTR HandleWebhooksPage(PropertySheetState* sheet, HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR HandleAboutPage(PropertySheetState* sheet, HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// Modal dialogs over the record workingChannels[editChannel]: 1 after OK, 0 after Cancel (the
// pattern dialog: 1 after OK, 2 after Cancel).
INT_PTR ShowPortSettingsDialog(PropertySheetState* sheet, HWND owner);
INT_PTR ShowPatternDialog(PropertySheetState* sheet, HWND owner);
// Modal dialogs over editRule and editHook (at editIndex): 1 after an OK that passed the
// check, 0 after Cancel.
INT_PTR ShowRuleDialog(PropertySheetState* sheet, HWND owner);
INT_PTR ShowHookDialog(PropertySheetState* sheet, HWND owner);

// The state that a page or dialog stored; nullptr before it initialised.
PropertySheetState* SheetStateOf(HWND window);
// On WM_INITDIALOG of a property page: stores the sheet's state (the page record's parameter).
void StorePageSheetState(HWND page, LPARAM initParam);

// A property page's procedure: the sheet's state comes with the page record.
template <DialogHandler handler>
INT_PTR CALLBACK PropertyPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG)
        StorePageSheetState(page, lParam);
    return handler(SheetStateOf(page), page, message, wParam, lParam);
}

// A modal dialog's procedure and its display: the sheet's state is the dialog's creation
// parameter, and its instance holds the template.
template <DialogHandler handler>
INT_PTR CALLBACK ModalDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG)
        SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
    return handler(SheetStateOf(dialog), dialog, message, wParam, lParam);
}
INT_PTR ShowModalDialog(int templateId, HWND owner, DLGPROC procedure, PropertySheetState* sheet);

// Small control helpers shared by the pages.
std::string ControlText(HWND dialog, int controlId, int maxLength);
void AddComboItem(HWND combo, const char* text, LPARAM value);
// A report list view's columns: each a header text from the language pack (keys in section)
// and a share of the list's width in percent.
struct ListColumn {
    const char* key;
    int percent;
};
void AddListColumns(HWND list, const char* section, const ListColumn* columns, int count);
// Replaces the list's rows; each row holds one text per column.
void FillList(HWND list, const std::vector<std::vector<std::string>>& rows);
// The selected row, or -1.
int SelectedRow(HWND list);
// A warning over owner with the language pack's caption (key "warn" in section).
void ShowWarning(HWND owner, const std::string& text, const char* section);
// The control's text without the blanks around it.
std::string TrimmedText(HWND dialog, int controlId, int maxLength = 4095);
