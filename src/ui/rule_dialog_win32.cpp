// The modal dialog that edits one exception rule; OK is refused, with the receipt reader's own
// sentence, while the rule is one the program would leave out.
#include "platform/language.h"
#include "ui/pages_win32.h"
#include "ui/property_sheet_win32.h"
#include "ui/resource_ids.h"

namespace {

const char kSection[] = "rule dlg";

struct RuleField {
    int controlId;
    std::string RuleEntry::*field;
};
const RuleField kFields[] = {{IDC_RULE_NAME, &RuleEntry::name},    {IDC_RULE_LINE, &RuleEntry::line},
                             {IDC_RULE_MATCH, &RuleEntry::match},  {IDC_RULE_HOURS, &RuleEntry::hours},
                             {IDC_RULE_FIRST, &RuleEntry::first},  {IDC_RULE_THEN, &RuleEntry::then},
                             {IDC_RULE_WITHIN, &RuleEntry::within}};

void OnInit(PropertySheetState* sheet, HWND dialog) {
    sheet->CenterDialog(dialog);
    SetWindowTextA(dialog, langPack.LoadText("title", kSection));
    const DlgItemShape shapes[] = {{IDC_RULE_NAME_LABEL, 0, "name", kSection},
                                   {IDC_RULE_LINE_LABEL, 0, "line", kSection},
                                   {IDC_RULE_MATCH_LABEL, 0, "match", kSection},
                                   {IDC_RULE_HOURS_LABEL, 0, "hours", kSection},
                                   {IDC_RULE_SEQUENCE_GROUP, 0, "sequence", kSection},
                                   {IDC_RULE_FIRST_LABEL, 0, "first", kSection},
                                   {IDC_RULE_THEN_LABEL, 0, "then", kSection},
                                   {IDC_RULE_WITHIN_LABEL, 0, "within", kSection},
                                   {IDC_RULE_BANNER, 0, "banner", kSection},
                                   {IDC_RULE_HINT, 0, "hint", kSection},
                                   {IDOK, 0, "ok", kSection},
                                   {IDCANCEL, 0, "cancel", kSection}};
    langPack.ShapeDialogItems(dialog, shapes, sizeof shapes / sizeof shapes[0]);
    const RuleEntry& rule = sheet->editRule;
    for (const RuleField& f : kFields)
        SetDlgItemTextA(dialog, f.controlId, (rule.*f.field).c_str());
    CheckDlgButton(dialog, IDC_RULE_BANNER, rule.banner ? BST_CHECKED : BST_UNCHECKED);
}

void OnOk(PropertySheetState* sheet, HWND dialog) {
    RuleEntry rule;
    rule.number = sheet->editRule.number;
    for (const RuleField& f : kFields)
        rule.*f.field = TrimmedText(dialog, f.controlId);
    rule.banner = IsDlgButtonChecked(dialog, IDC_RULE_BANNER) == BST_CHECKED;
    std::string message;
    if (sheet->exceptions.CheckRule(rule, sheet->editIndex, &message) == 0) {
        ShowWarning(dialog, message, kSection);
        SetFocus(GetDlgItem(dialog, IDC_RULE_NAME));
        return;
    }
    sheet->editRule = rule;
    EndDialog(dialog, 1);
}

INT_PTR HandleRuleDialog(PropertySheetState* sheet, HWND dialog, UINT message, WPARAM wParam, LPARAM) {
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

INT_PTR ShowRuleDialog(PropertySheetState* sheet, HWND owner) {
    return ShowModalDialog(IDD_RULE, owner, ModalDialogProc<HandleRuleDialog>, sheet);
}
