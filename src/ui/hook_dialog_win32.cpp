// The modal dialog that edits one webhook; OK is refused while the program would leave the hook
// out at start, with the start-up check's own sentence.
#include "platform/language.h"
#include "ui/pages_win32.h"
#include "ui/property_sheet_win32.h"
#include "ui/resource_ids.h"

namespace {

const char kSection[] = "hook dlg";
// In the order of the events: exception, transaction, health, digest.
const char* const kEventKeys[zamri::kAlertEventCount] = {"exception", "transaction", "health", "digest"};

void OnInit(PropertySheetState* sheet, HWND dialog) {
    sheet->CenterDialog(dialog);
    SetWindowTextA(dialog, langPack.LoadText("title", kSection));
    const DlgItemShape shapes[] = {{IDC_HOOK_URL_LABEL, 0, "url", kSection},
                                   {IDC_HOOK_SECRET_LABEL, 0, "secret", kSection},
                                   {IDC_HOOK_EVENTS_GROUP, 0, "events", kSection},
                                   {IDOK, 0, "ok", kSection},
                                   {IDCANCEL, 0, "cancel", kSection}};
    langPack.ShapeDialogItems(dialog, shapes, sizeof shapes / sizeof shapes[0]);
    const HookEntry& hook = sheet->editHook;
    SetDlgItemTextA(dialog, IDC_HOOK_URL, hook.url.c_str());
    SetDlgItemTextA(dialog, IDC_HOOK_SECRET, hook.secret.c_str());
    for (int e = 0; e < zamri::kAlertEventCount; ++e) {
        SetDlgItemTextA(dialog, IDC_HOOK_EXCEPTION + e, langPack.LoadText(kEventKeys[e], kSection));
        CheckDlgButton(dialog, IDC_HOOK_EXCEPTION + e, (hook.events >> e) & 1u ? BST_CHECKED : BST_UNCHECKED);
    }
}

void OnOk(PropertySheetState* sheet, HWND dialog) {
    HookEntry hook;
    hook.number = sheet->editHook.number;
    hook.url = TrimmedText(dialog, IDC_HOOK_URL);
    hook.secret = TrimmedText(dialog, IDC_HOOK_SECRET);
    hook.events = 0;
    for (int e = 0; e < zamri::kAlertEventCount; ++e)
        if (IsDlgButtonChecked(dialog, IDC_HOOK_EXCEPTION + e) == BST_CHECKED)
            hook.events |= 1u << e;
    std::string message;
    switch (WebhooksModel::CheckHook(hook, &message)) {
        case 0:
            sheet->editHook = hook;
            EndDialog(dialog, 1);
            return;
        case 1:
            message = langPack.LoadText("no_url", kSection);
            break;
        case 2:
            message = langPack.LoadText("no_event", kSection);
            break;
    }
    ShowWarning(dialog, message, kSection);
    SetFocus(GetDlgItem(dialog, IDC_HOOK_URL));
}

INT_PTR HandleHookDialog(PropertySheetState* sheet, HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (sheet == nullptr)
        return FALSE;
    switch (message) {
        case WM_INITDIALOG:
            OnInit(sheet, dialog);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                OnOk(sheet, dialog);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, 0);
                return TRUE;
            }
            break;
    }
    return FALSE;
}

}  // namespace

INT_PTR ShowHookDialog(PropertySheetState* sheet, HWND owner) {
    return ShowModalDialog(IDD_HOOK, owner, ModalDialogProc<HandleHookDialog>, sheet);
}
