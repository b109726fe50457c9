// The Exceptions page: the built-in kinds' switches and thresholds and the list of the user's
// rules, bound to the sheet's ExceptionsModel; the rule dialog edits one rule.
#include <windows.h>

#include <commctrl.h>
#include <prsht.h>

#include "platform/language.h"
#include "ui/pages_win32.h"
#include "ui/property_sheet_win32.h"
#include "ui/resource_ids.h"

namespace {

const char kSection[] = "exceptions page";
// In the order of the kinds: void, refund, no-sale, discount, price-override, cancel.
const char* const kKindKeys[zamri::kExceptionKindCount] = {"void",     "refund",         "no_sale",
                                                           "discount", "price_override", "cancel"};

int KindCheck(int kind) {
    return IDC_EXC_VOID + kind;
}

int KindThreshold(int kind) {
    return IDC_EXC_VOID_THRESHOLD + kind;
}

void ShowRules(PropertySheetState* sheet, HWND page, int select) {
    std::vector<std::vector<std::string>> rows;
    for (const RuleEntry& rule : sheet->exceptions.rules)
        rows.push_back({rule.name, rule.Summary()});
    HWND list = GetDlgItem(page, IDC_EXC_RULE_LIST);
    FillList(list, rows);
    if (select >= 0 && select < static_cast<int>(rows.size())) {
        LVITEMA item = {};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(select), reinterpret_cast<LPARAM>(&item));
    }
    const bool chosen = SelectedRow(list) >= 0;
    EnableWindow(GetDlgItem(page, IDC_EXC_RULE_EDIT), chosen);
    EnableWindow(GetDlgItem(page, IDC_EXC_RULE_REMOVE), chosen);
}

void OnInit(PropertySheetState* sheet, HWND page) {
    const DlgItemShape shapes[] = {{IDC_EXC_KINDS_LABEL, 0, "kinds_text", kSection},
                                   {IDC_EXC_RULES_LABEL, 0, "rules_text", kSection},
                                   {IDC_EXC_RULE_ADD, 0, "add", kSection},
                                   {IDC_EXC_RULE_EDIT, 0, "edit", kSection},
                                   {IDC_EXC_RULE_REMOVE, 0, "remove", kSection}};
    langPack.ShapeDialogItems(page, shapes, sizeof shapes / sizeof shapes[0]);
    for (int k = 0; k < zamri::kExceptionKindCount; ++k) {
        const ExceptionKindRow& row = sheet->exceptions.kinds[k];
        SetDlgItemTextA(page, KindCheck(k), langPack.LoadText(kKindKeys[k], kSection));
        CheckDlgButton(page, KindCheck(k), row.on ? BST_CHECKED : BST_UNCHECKED);
        SetDlgItemTextA(page, KindThreshold(k), row.threshold.c_str());
        ShowWindow(GetDlgItem(page, KindThreshold(k)), row.hasThreshold ? SW_SHOW : SW_HIDE);
    }
    const ListColumn columns[] = {{"name", 40}, {"rule", 60}};
    AddListColumns(GetDlgItem(page, IDC_EXC_RULE_LIST), kSection, columns, 2);
    ShowRules(sheet, page, -1);
}

void EditRule(PropertySheetState* sheet, HWND page, int index) {
    ExceptionsModel& model = sheet->exceptions;
    if (index >= static_cast<int>(model.rules.size()))
        return;
    if (index >= 0) {
        sheet->editRule = model.rules[static_cast<size_t>(index)];
    } else {
        sheet->editRule = RuleEntry();
        sheet->editRule.number = model.NewRuleNumber();
        if (sheet->editRule.number == 0) {
            ShowWarning(page, langPack.LoadText("rules_full", kSection), kSection);
            return;
        }
    }
    sheet->editIndex = index;
    if (ShowRuleDialog(sheet, page) != 1)
        return;
    model.StoreRule(sheet->editRule, index);
    int shown = index;
    for (size_t i = 0; i < model.rules.size(); ++i)
        if (model.rules[i].number == sheet->editRule.number)
            shown = static_cast<int>(i);
    ShowRules(sheet, page, shown);
    PropSheet_Changed(GetParent(page), page);
}

void OnCommand(PropertySheetState* sheet, HWND page, int controlId) {
    const int selected = SelectedRow(GetDlgItem(page, IDC_EXC_RULE_LIST));
    if (controlId == IDC_EXC_RULE_ADD) {
        EditRule(sheet, page, -1);
    } else if (controlId == IDC_EXC_RULE_EDIT && selected >= 0) {
        EditRule(sheet, page, selected);
    } else if (controlId == IDC_EXC_RULE_REMOVE && selected >= 0) {
        sheet->exceptions.RemoveRule(selected);
        ShowRules(sheet, page,
                  selected < static_cast<int>(sheet->exceptions.rules.size()) ? selected : selected - 1);
        PropSheet_Changed(GetParent(page), page);
    }
}

// Leaving the page (or OK) takes the switches and thresholds; a threshold that is no amount is
// refused with the reader's sentence and the page stays.
bool TakeKinds(PropertySheetState* sheet, HWND page) {
    ExceptionsModel& model = sheet->exceptions;
    for (int k = 0; k < zamri::kExceptionKindCount; ++k) {
        model.kinds[k].on = IsDlgButtonChecked(page, KindCheck(k)) == BST_CHECKED;
        if (model.kinds[k].hasThreshold)
            model.kinds[k].threshold = TrimmedText(page, KindThreshold(k), 64);
    }
    std::string message;
    int kind = 0;
    if (model.CheckThresholds(&message, &kind) == 1)
        return true;
    ShowWarning(page, message, kSection);
    SetFocus(GetDlgItem(page, KindThreshold(kind)));
    return false;
}

INT_PTR OnNotify(PropertySheetState* sheet, HWND page, const NMHDR* header) {
    if (header->idFrom == IDC_EXC_RULE_LIST) {
        if (header->code == LVN_ITEMCHANGED) {
            const bool chosen = SelectedRow(header->hwndFrom) >= 0;
            EnableWindow(GetDlgItem(page, IDC_EXC_RULE_EDIT), chosen);
            EnableWindow(GetDlgItem(page, IDC_EXC_RULE_REMOVE), chosen);
        } else if (header->code == static_cast<UINT>(NM_DBLCLK)) {
            int selected = SelectedRow(header->hwndFrom);
            if (selected >= 0)
                EditRule(sheet, page, selected);
        }
    } else if (header->code == static_cast<UINT>(PSN_KILLACTIVE)) {
        SetWindowLongPtrA(page, DWLP_MSGRESULT, TakeKinds(sheet, page) ? FALSE : TRUE);
        return TRUE;
    }
    return 0;
}

}  // namespace

INT_PTR HandleExceptionsPage(PropertySheetState* sheet, HWND page, UINT message, WPARAM wParam,
                             LPARAM lParam) {
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
