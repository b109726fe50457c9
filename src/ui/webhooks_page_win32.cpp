// The Webhooks page: the store's name, the digest time and the list of hooks, bound to the
// sheet's WebhooksModel; the webhook dialog edits one hook.
#include <windows.h>

#include <commctrl.h>
#include <prsht.h>

#include "platform/language.h"
#include "ui/pages_win32.h"
#include "ui/property_sheet_win32.h"
#include "ui/resource_ids.h"

namespace {

const char kSection[] = "webhooks page";

void ShowHooks(PropertySheetState* sheet, HWND page, int select) {
    std::vector<std::vector<std::string>> rows;
    for (const HookEntry& hook : sheet->webhooks.hooks)
        rows.push_back({hook.url, hook.EventsText()});
    HWND list = GetDlgItem(page, IDC_HOOKS_LIST);
    FillList(list, rows);
    if (select >= 0 && select < static_cast<int>(rows.size())) {
        LVITEMA item = {};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(select), reinterpret_cast<LPARAM>(&item));
    }
    const bool chosen = SelectedRow(list) >= 0;
    EnableWindow(GetDlgItem(page, IDC_HOOKS_EDIT), chosen);
    EnableWindow(GetDlgItem(page, IDC_HOOKS_REMOVE), chosen);
}

void OnInit(PropertySheetState* sheet, HWND page) {
    const DlgItemShape shapes[] = {{IDC_HOOKS_STORE_LABEL, 0, "store", kSection},
                                   {IDC_HOOKS_DIGEST_LABEL, 0, "digest", kSection},
                                   {IDC_HOOKS_DIGEST_HINT, 0, "digest_hint", kSection},
                                   {IDC_HOOKS_LIST_LABEL, 0, "hooks_text", kSection},
                                   {IDC_HOOKS_ADD, 0, "add", kSection},
                                   {IDC_HOOKS_EDIT, 0, "edit", kSection},
                                   {IDC_HOOKS_REMOVE, 0, "remove", kSection},
                                   {IDC_HOOKS_NOTE, 0, "next_start", kSection}};
    langPack.ShapeDialogItems(page, shapes, sizeof shapes / sizeof shapes[0]);
    SetDlgItemTextA(page, IDC_HOOKS_STORE, sheet->webhooks.storeName.c_str());
    SetDlgItemTextA(page, IDC_HOOKS_DIGEST, sheet->webhooks.digestTime.c_str());
    const ListColumn columns[] = {{"url", 64}, {"events", 36}};
    AddListColumns(GetDlgItem(page, IDC_HOOKS_LIST), kSection, columns, 2);
    ShowHooks(sheet, page, -1);
}

void EditHook(PropertySheetState* sheet, HWND page, int index) {
    WebhooksModel& model = sheet->webhooks;
    if (index >= static_cast<int>(model.hooks.size()))
        return;
    if (index >= 0) {
        sheet->editHook = model.hooks[static_cast<size_t>(index)];
    } else {
        sheet->editHook = HookEntry();
        sheet->editHook.number = model.NewHookNumber();
        if (sheet->editHook.number == 0) {
            ShowWarning(page, langPack.LoadText("hooks_full", kSection), kSection);
            return;
        }
    }
    sheet->editIndex = index;
    if (ShowHookDialog(sheet, page) != 1)
        return;
    model.StoreHook(sheet->editHook, index);
    int shown = index;
    for (size_t i = 0; i < model.hooks.size(); ++i)
        if (model.hooks[i].number == sheet->editHook.number)
            shown = static_cast<int>(i);
    ShowHooks(sheet, page, shown);
    PropSheet_Changed(GetParent(page), page);
}

void OnCommand(PropertySheetState* sheet, HWND page, int controlId) {
    const int selected = SelectedRow(GetDlgItem(page, IDC_HOOKS_LIST));
    if (controlId == IDC_HOOKS_ADD) {
        EditHook(sheet, page, -1);
    } else if (controlId == IDC_HOOKS_EDIT && selected >= 0) {
        EditHook(sheet, page, selected);
    } else if (controlId == IDC_HOOKS_REMOVE && selected >= 0) {
        sheet->webhooks.RemoveHook(selected);
        ShowHooks(sheet, page,
                  selected < static_cast<int>(sheet->webhooks.hooks.size()) ? selected : selected - 1);
        PropSheet_Changed(GetParent(page), page);
    }
}

// Leaving the page (or OK) takes the store's name and the digest time; a time that is no
// HH:MM is refused with the reader's sentence and the page stays.
bool TakeOptions(PropertySheetState* sheet, HWND page) {
    WebhooksModel& model = sheet->webhooks;
    model.storeName = TrimmedText(page, IDC_HOOKS_STORE);
    std::string digest = TrimmedText(page, IDC_HOOKS_DIGEST, 64);
    std::string message;
    if (WebhooksModel::CheckDigestTime(digest, &message) == 0) {
        ShowWarning(page, message, kSection);
        SetFocus(GetDlgItem(page, IDC_HOOKS_DIGEST));
        return false;
    }
    model.digestTime = digest;
    return true;
}

INT_PTR OnNotify(PropertySheetState* sheet, HWND page, const NMHDR* header) {
    if (header->idFrom == IDC_HOOKS_LIST) {
        if (header->code == LVN_ITEMCHANGED) {
            const bool chosen = SelectedRow(header->hwndFrom) >= 0;
            EnableWindow(GetDlgItem(page, IDC_HOOKS_EDIT), chosen);
            EnableWindow(GetDlgItem(page, IDC_HOOKS_REMOVE), chosen);
        } else if (header->code == static_cast<UINT>(NM_DBLCLK)) {
            int selected = SelectedRow(header->hwndFrom);
            if (selected >= 0)
                EditHook(sheet, page, selected);
        }
    } else if (header->code == static_cast<UINT>(PSN_KILLACTIVE)) {
        SetWindowLongPtrA(page, DWLP_MSGRESULT, TakeOptions(sheet, page) ? FALSE : TRUE);
        return TRUE;
    }
    return 0;
}

}  // namespace

INT_PTR HandleWebhooksPage(PropertySheetState* sheet, HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (sheet == nullptr)
        return 0;
    switch (message) {
        case WM_INITDIALOG:
            OnInit(sheet, page);
            break;
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED)
                OnCommand(sheet, page, LOWORD(wParam));
            break;
        case WM_NOTIFY:
            return OnNotify(sheet, page, reinterpret_cast<const NMHDR*>(lParam));
    }
    return 0;
}
