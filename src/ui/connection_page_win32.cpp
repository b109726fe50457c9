// The serial mode's first page: channels 1 to 16, each with an on/off check box, its port name
// and a "..." button that opens the port settings dialog.
#include <windows.h>

#include <commctrl.h>
#include <prsht.h>

#include "platform/language.h"
#include "ui/pages_win32.h"
#include "ui/property_sheet_win32.h"
#include "ui/resource_ids.h"

namespace {

constexpr int kShownChannels = 16;
const char kSection[] = "connection page";

struct ChannelRow {
    int check;
    int port;
    int more;
};

const ChannelRow kRows[kShownChannels] = {
    {1046, 1095, 1048}, {1049, 1096, 1051}, {1052, 1097, 1054}, {1055, 1098, 1057},
    {1058, 1099, 1060}, {1061, 1100, 1063}, {1064, 1101, 1066}, {1067, 1102, 1069},
    {1070, 1127, 1072}, {1073, 1128, 1075}, {1076, 1129, 1078}, {1079, 1130, 1081},
    {1082, 1131, 1084}, {1085, 1132, 1087}, {1088, 1133, 1090}, {1091, 1134, 1093}};

int RowOfControl(int controlId) {
    for (int i = 0; i < kShownChannels; ++i) {
        if (kRows[i].check == controlId || kRows[i].port == controlId || kRows[i].more == controlId)
            return i;
    }
    return -1;
}

void EnableRow(HWND page, int row, bool enabled) {
    EnableWindow(GetDlgItem(page, kRows[row].port), enabled);
    EnableWindow(GetDlgItem(page, kRows[row].more), enabled);
}

void ShapeItems(HWND page) {
    static const char* const kKeys[kShownChannels] = {"ch1",  "ch2",  "ch3",  "ch4",  "ch5",  "ch6",
                                                      "ch7",  "ch8",  "ch9",  "ch10", "ch11", "ch12",
                                                      "ch13", "ch14", "ch15", "ch16"};
    DlgItemShape shapes[1 + 3 * kShownChannels] = {};
    int n = 0;
    shapes[n++] = {IDC_CONNECTION_COMMENT, 0, "comment", kSection};
    for (int i = 0; i < kShownChannels; ++i)
        shapes[n++] = {kRows[i].check, 0, kKeys[i], kSection};
    for (int i = 0; i < kShownChannels; ++i)
        shapes[n++] = {kRows[i].port, 0, nullptr, nullptr};
    for (int i = 0; i < kShownChannels; ++i)
        shapes[n++] = {kRows[i].more, 0, nullptr, nullptr};
    langPack.ShapeDialogItems(page, shapes, n);
}

void OnInit(PropertySheetState* sheet, HWND page) {
    sheet->CenterDialog(GetParent(page));
    ShapeItems(page);
    for (int i = 0; i < kChannelCount; ++i)
        sheet->workingChannels[i] = *sheet->channelTable.GetChannel(i);
    for (int i = 0; i < kShownChannels; ++i) {
        const ChannelConfig& record = sheet->workingChannels[i];
        SetDlgItemTextA(page, kRows[i].port, record.portName);
        CheckDlgButton(page, kRows[i].check, record.enabled != 0 ? BST_CHECKED : BST_UNCHECKED);
        EnableRow(page, i, record.enabled != 0);
    }
}

void OnCommand(PropertySheetState* sheet, HWND page, int controlId, int code) {
    int row = RowOfControl(controlId);
    if (row < 0 || code != BN_CLICKED)
        return;
    if (controlId == kRows[row].check) {
        bool ticked = IsDlgButtonChecked(page, controlId) == BST_CHECKED;
        EnableRow(page, row, ticked);
        sheet->workingChannels[row].enabled = ticked ? 1 : 0;
    } else if (controlId == kRows[row].more) {
        sheet->editChannel = row;
        if (ShowPortSettingsDialog(sheet, page) != 0) {
            SetDlgItemTextA(page, kRows[row].port, sheet->workingChannels[row].portName);
        }
    }
}

}  // namespace

INT_PTR HandleConnectionPage(PropertySheetState* sheet, HWND page, UINT message, WPARAM wParam,
                             LPARAM lParam) {
    if (sheet == nullptr)
        return 0;
    switch (message) {
        case WM_INITDIALOG:
            OnInit(sheet, page);
            break;
        case WM_COMMAND:
            OnCommand(sheet, page, LOWORD(wParam), HIWORD(wParam));
            break;
    }
    return 0;
}
