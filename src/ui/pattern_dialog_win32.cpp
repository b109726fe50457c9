// The small modal dialog that chooses how one serial channel's receipts end.
#include <cstring>

#include "platform/language.h"
#include "ui/page_rules.h"
#include "ui/pages_win32.h"
#include "ui/property_sheet_win32.h"
#include "ui/resource_ids.h"

namespace {

const char kSection[] = "pattern dlg";

ChannelConfig& EditedRecord(PropertySheetState* sheet) {
    return sheet->workingChannels[sheet->editChannel];
}

void OnInit(PropertySheetState* sheet, HWND dialog) {
    sheet->CenterDialog(dialog);
    char title[64];
    langPack.LoadText(title, sizeof title, "pattern_title", kSection);
    SetWindowTextA(dialog, title);
    const DlgItemShape shapes[] = {{IDC_PATTERN_FORMFEED, 0, "formfeed", kSection},
                                   {IDC_PATTERN_FOOTER, 0, "footer", kSection},
                                   {IDC_PATTERN_TEXT, 0, nullptr, nullptr},
                                   {IDOK, 0, "ok", kSection},
                                   {IDCANCEL, 0, "cancel", kSection}};
    langPack.ShapeDialogItems(dialog, shapes, 5);

    ChannelConfig& record = EditedRecord(sheet);
    if (std::strcmp(record.patternText, "0") == 0)
        record.patternText[0] = 0;
    SetDlgItemTextA(dialog, IDC_PATTERN_TEXT, record.patternText);
    if (record.patternFlags == 0) {
        CheckRadioButton(dialog, IDC_PATTERN_FORMFEED, IDC_PATTERN_FOOTER, IDC_PATTERN_FORMFEED);
        EnableWindow(GetDlgItem(dialog, IDC_PATTERN_TEXT), FALSE);
    } else if (record.patternFlags == 1) {
        CheckRadioButton(dialog, IDC_PATTERN_FORMFEED, IDC_PATTERN_FOOTER, IDC_PATTERN_FOOTER);
        EnableWindow(GetDlgItem(dialog, IDC_PATTERN_TEXT), TRUE);
    }
}

void OnOk(PropertySheetState* sheet, HWND dialog) {
    std::string text = ControlText(dialog, IDC_PATTERN_TEXT, 62);
    bool formFeed = IsDlgButtonChecked(dialog, IDC_PATTERN_FORMFEED) == BST_CHECKED;
    if (ApplyPatternChoice(formFeed, text.c_str(), EditedRecord(sheet)) == 0) {
        char message[256];
        char caption[256];
        langPack.LoadText(message, sizeof message, "emptyfooter", kSection);
        langPack.LoadText(caption, sizeof caption, "warn", kSection);
        MessageBoxA(dialog, message, caption, MB_OK);
        SetFocus(GetDlgItem(dialog, IDC_PATTERN_TEXT));
        return;
    }
    EndDialog(dialog, 1);
}

INT_PTR HandlePatternDialog(PropertySheetState* sheet, HWND dialog, UINT message, WPARAM wParam,
                            LPARAM lParam) {
    if (sheet == nullptr)
        return FALSE;
    switch (message) {
        case WM_INITDIALOG:
            OnInit(sheet, dialog);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_PATTERN_FORMFEED:
                    EnableWindow(GetDlgItem(dialog, IDC_PATTERN_TEXT), FALSE);
                    return TRUE;
                case IDC_PATTERN_FOOTER:
                    EnableWindow(GetDlgItem(dialog, IDC_PATTERN_TEXT), TRUE);
                    return TRUE;
                case IDOK:
                    OnOk(sheet, dialog);
                    return TRUE;
                case IDCANCEL:
                    EndDialog(dialog, 2);
                    return TRUE;
            }
            break;
    }
    return FALSE;
}

}  // namespace

INT_PTR ShowPatternDialog(PropertySheetState* sheet, HWND owner) {
    return ShowModalDialog(IDD_PATTERN, owner, ModalDialogProc<HandlePatternDialog>, sheet);
}
