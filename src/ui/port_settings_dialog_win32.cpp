// The modal dialog that edits one channel's serial settings in the working copy.
#include <cstdio>
#include <string>

#include "app/language.h"
#include "app/tray_app.h"
#include "ui/pages_win32.h"
#include "ui/port_settings_model.h"
#include "ui/resource_ids.h"

namespace {

const char kSection[] = "portconfig page";
constexpr int kParityItems = 5;

void FillList(HWND dialog, int listId, const std::vector<PortListItem>& items) {
    HWND list = GetDlgItem(dialog, listId);
    SendMessageA(list, CB_RESETCONTENT, 0, 0);
    for (const PortListItem& item : items)
        AddComboItem(list, item.text.c_str(), item.value);
}

// The emulation list is sorted by its text, so its positions are found through the values.
int EmulationPositionOf(HWND list, int value) {
    int count = static_cast<int>(SendMessageA(list, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        if (static_cast<int>(SendMessageA(list, CB_GETITEMDATA, static_cast<WPARAM>(i), 0)) == value)
            return i;
    }
    return -1;
}

std::string CodePageText(const char* key) {
    char text[128];
    langPack.LoadText(text, sizeof text, key, kSection);
    return text;
}

ChannelConfig& EditedRecord(TrayApp* app) {
    return app->workingChannels[app->editChannel];
}

void OnInit(TrayApp* app, HWND dialog) {
    app->CenterDialog(dialog);
    char title[128];
    langPack.LoadText(title, sizeof title, "title", kSection);
    SetWindowTextA(dialog, title);

    const DlgItemShape shapes[] = {{IDC_PORT_LABEL, 0, "portname", kSection},
                                   {IDC_PORT_LIST, 0, nullptr, nullptr},
                                   {IDC_BAUD_LABEL, 0, "baudrate", kSection},
                                   {IDC_BAUD_LIST, 0, nullptr, nullptr},
                                   {IDC_DATABITS_LABEL, 0, "databits", kSection},
                                   {IDC_DATABITS_LIST, 0, nullptr, nullptr},
                                   {IDC_PARITY_LABEL, 0, "parity", kSection},
                                   {IDC_PARITY_LIST, 0, nullptr, nullptr},
                                   {IDC_STOPBITS_LABEL, 0, "stopbits", kSection},
                                   {IDC_STOPBITS_LIST, 0, nullptr, nullptr},
                                   {IDC_FLOW_LABEL, 0, "flowcontrol", kSection},
                                   {IDC_FLOW_DTRDSR, 0, "dtrdsr", kSection},
                                   {IDC_FLOW_RTSCTS, 0, "rtscts", kSection},
                                   {IDC_FLOW_XONXOFF, 0, "xonxoff", kSection},
                                   {IDC_PRINTER_LABEL, 0, "printer", kSection},
                                   {IDC_EMULATION_LIST, 0, "emulation", kSection},
                                   {IDOK, 0, "ok", kSection},
                                   {IDCANCEL, 0, nullptr, nullptr},
                                   {IDC_PATTERN_LABEL, 0, "pattern", kSection},
                                   {IDC_PATTERN_SETTING, 0, "setting", kSection},
                                   {IDC_CODEPAGE_LABEL, 0, "codepage", kSection},
                                   {IDC_CODEPAGE_LIST, 0, nullptr, nullptr},
                                   {IDC_IDLE_LABEL, 0, "idleend", kSection},
                                   {IDC_IDLE_SECONDS, 0, nullptr, nullptr},
                                   {IDC_IDLE_HINT, 0, "idlehint", kSection}};
    langPack.ShapeDialogItems(dialog, shapes, static_cast<int>(sizeof shapes / sizeof shapes[0]));

    FillList(dialog, IDC_PORT_LIST, PortNameItems());
    FillList(dialog, IDC_BAUD_LIST, BaudRateItems());
    FillList(dialog, IDC_DATABITS_LIST, DataBitsItems());
    HWND parity = GetDlgItem(dialog, IDC_PARITY_LIST);
    SendMessageA(parity, CB_RESETCONTENT, 0, 0);
    for (int i = 0; i < kParityItems; ++i) {
        char text[64];
        langPack.LoadText(text, sizeof text, kParityKeys[i], kSection);
        AddComboItem(parity, text, i);
    }
    FillList(dialog, IDC_STOPBITS_LIST, StopBitsItems());
    FillList(dialog, IDC_EMULATION_LIST, EmulationItems());
    FillList(dialog, IDC_CODEPAGE_LIST,
             CodePageItems(CodePageText("codepagedefault"), CodePageText("codepagenone")));

    const ChannelConfig& record = EditedRecord(app);
    PortSelections s = SelectionsForRecord(record, kParityItems);
    SendDlgItemMessageA(dialog, IDC_PORT_LIST, CB_SETCURSEL, static_cast<WPARAM>(s.port), 0);
    SendDlgItemMessageA(dialog, IDC_BAUD_LIST, CB_SETCURSEL, static_cast<WPARAM>(s.baudRate), 0);
    SendDlgItemMessageA(dialog, IDC_DATABITS_LIST, CB_SETCURSEL, static_cast<WPARAM>(s.dataBits), 0);
    SendDlgItemMessageA(dialog, IDC_PARITY_LIST, CB_SETCURSEL, static_cast<WPARAM>(s.parity), 0);
    SendDlgItemMessageA(dialog, IDC_STOPBITS_LIST, CB_SETCURSEL, static_cast<WPARAM>(s.stopBits), 0);
    int emulation = EmulationPositionOf(GetDlgItem(dialog, IDC_EMULATION_LIST), record.emulation);
    SendDlgItemMessageA(dialog, IDC_EMULATION_LIST, CB_SETCURSEL, static_cast<WPARAM>(emulation), 0);
    SendDlgItemMessageA(dialog, IDC_CODEPAGE_LIST, CB_SETCURSEL, static_cast<WPARAM>(s.codePage), 0);
    SetDlgItemInt(dialog, IDC_IDLE_SECONDS, static_cast<UINT>(s.idleSeconds), FALSE);
    SendDlgItemMessageA(dialog, IDC_IDLE_SECONDS, EM_LIMITTEXT, 4, 0);
    CheckDlgButton(dialog, IDC_FLOW_DTRDSR, s.dtrDsr ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_FLOW_RTSCTS, s.rtsCts ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_FLOW_XONXOFF, s.xonXoff ? BST_CHECKED : BST_UNCHECKED);
}

int Selection(HWND dialog, int listId) {
    return static_cast<int>(SendDlgItemMessageA(dialog, listId, CB_GETCURSEL, 0, 0));
}

void StoreAndClose(TrayApp* app, HWND dialog) {
    PortSelections s;
    s.port = Selection(dialog, IDC_PORT_LIST);
    s.baudRate = Selection(dialog, IDC_BAUD_LIST);
    s.dataBits = Selection(dialog, IDC_DATABITS_LIST);
    s.parity = Selection(dialog, IDC_PARITY_LIST);
    s.stopBits = Selection(dialog, IDC_STOPBITS_LIST);
    // The model's emulation positions are its own order; map the sorted list's item by value.
    int emulationItem = Selection(dialog, IDC_EMULATION_LIST);
    s.emulation =
        emulationItem >= 0
            ? FindItemByValue(EmulationItems(),
                              static_cast<int>(SendDlgItemMessageA(dialog, IDC_EMULATION_LIST, CB_GETITEMDATA,
                                                                   static_cast<WPARAM>(emulationItem), 0)))
            : -1;
    s.codePage = Selection(dialog, IDC_CODEPAGE_LIST);
    char idle[16] = {};
    GetDlgItemTextA(dialog, IDC_IDLE_SECONDS, idle, sizeof idle);
    s.idleSeconds = ParseIdleSeconds(idle, EditedRecord(app).decoding.idleSeconds);
    s.dtrDsr = IsDlgButtonChecked(dialog, IDC_FLOW_DTRDSR) == BST_CHECKED;
    s.rtsCts = IsDlgButtonChecked(dialog, IDC_FLOW_RTSCTS) == BST_CHECKED;
    s.xonXoff = IsDlgButtonChecked(dialog, IDC_FLOW_XONXOFF) == BST_CHECKED;
    StoreSelections(s, kParityItems, EditedRecord(app));
    EndDialog(dialog, 1);
}

INT_PTR HandlePortSettings(TrayApp* app, HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (app == nullptr)
        return FALSE;
    switch (message) {
        case WM_INITDIALOG:
            OnInit(app, dialog);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                    StoreAndClose(app, dialog);
                    return TRUE;
                case IDCANCEL:
                    EndDialog(dialog, 0);
                    return TRUE;
                case IDC_PATTERN_SETTING:
                    if (HIWORD(wParam) == BN_CLICKED)
                        ShowPatternDialog(app, dialog);
                    return TRUE;
            }
            break;
    }
    return FALSE;
}

}  // namespace

INT_PTR ShowPortSettingsDialog(TrayApp* app, HWND owner) {
    return ShowModalDialog(IDD_PORT_SETTINGS, owner, ModalDialogProc<HandlePortSettings>, app);
}
