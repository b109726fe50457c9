// The TCP mode's first page: the listening port and, per camera, how a receipt ends.
#include <windows.h>

#include <commctrl.h>
#include <prsht.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/language.h"
#include "ui/page_rules.h"
#include "ui/pages_win32.h"
#include "ui/property_sheet_win32.h"
#include "ui/resource_ids.h"

namespace {

const char kSection[] = "TCP_CONFIG_PAGE";
const char kCurrentCameraProperty[] = "zamri.currentCamera";

// The camera whose footer settings the controls show, kept with the page window.
int CurrentCamera(HWND page) {
    return static_cast<int>(reinterpret_cast<intptr_t>(GetPropA(page, kCurrentCameraProperty)));
}
void SetCurrentCamera(HWND page, int camera) {
    SetPropA(page, kCurrentCameraProperty, reinterpret_cast<HANDLE>(static_cast<intptr_t>(camera)));
}

void ChoosePattern(HWND page, int radioId) {
    CheckRadioButton(page, IDC_TCP_FORMFEED, IDC_TCP_FOOTER, radioId);
    EnableWindow(GetDlgItem(page, IDC_TCP_FOOTER_TEXT), radioId == IDC_TCP_FOOTER);
}

void Warn(HWND page, const char* text, int focusId) {
    MessageBoxA(page, text, "Warning", MB_OK);
    SetFocus(GetDlgItem(page, focusId));
}

bool StoreCamera(PropertySheetState* sheet, HWND page, bool apply);

// The listen address and the allowed senders: checked, and when they changed, stored and
// written at once; the server takes them when it starts again after OK.
bool StoreSenderRules(PropertySheetState* sheet, HWND page) {
    ChannelTable& table = sheet->channelTable;
    std::string address = ControlText(page, IDC_TCP_LISTEN_ADDRESS, sizeof table.tcpListenAddress - 1);
    std::string allowed = ControlText(page, IDC_TCP_ALLOWED_SENDERS, sizeof table.tcpAllowedSenders - 1);
    size_t first = address.find_first_not_of(" \t");
    address = first == std::string::npos ? std::string()
                                         : address.substr(first, address.find_last_not_of(" \t") - first + 1);
    std::string bad;
    int problem = CheckTcpSenderRules(address, allowed, &bad);
    if (problem != 0) {
        PropSheet_SetCurSel(GetParent(page), nullptr, 0);
        std::string text = langPack.LoadText(problem == 1 ? "BAD_LISTEN" : "BAD_SENDERS", kSection);
        Warn(page, (text + "\n\n" + bad).c_str(),
             problem == 1 ? IDC_TCP_LISTEN_ADDRESS : IDC_TCP_ALLOWED_SENDERS);
        return false;
    }
    if (address != table.tcpListenAddress || allowed != table.tcpAllowedSenders) {
        std::snprintf(table.tcpListenAddress, sizeof table.tcpListenAddress, "%s", address.c_str());
        std::snprintf(table.tcpAllowedSenders, sizeof table.tcpAllowedSenders, "%s", allowed.c_str());
        table.SaveTcpSenderRules();
        sheet->tcpRestartPending = 1;
    }
    return true;
}

void ShowCamera(PropertySheetState* sheet, HWND page) {
    int selected = static_cast<int>(SendDlgItemMessageA(page, IDC_TCP_CAMERA, CB_GETCURSEL, 0, 0));
    if (selected < 0 || selected >= kChannelCount)
        return;
    if (selected != CurrentCamera(page) && !StoreCamera(sheet, page, false))
        return;
    const ChannelConfig& record = sheet->workingChannels[selected];
    ChoosePattern(page, record.patternFlags == 1 ? IDC_TCP_FOOTER : IDC_TCP_FORMFEED);
    SetDlgItemTextA(page, IDC_TCP_FOOTER_TEXT, record.patternText);
    SetCurrentCamera(page, selected);
}

bool StoreCamera(PropertySheetState* sheet, HWND page, bool apply) {
    int current = CurrentCamera(page);
    ChannelConfig& record = sheet->workingChannels[current];
    if (IsDlgButtonChecked(page, IDC_TCP_FOOTER) == BST_CHECKED) {
        std::string footer = ControlText(page, IDC_TCP_FOOTER_TEXT, kChannelTextSize - 1);
        if (footer.empty()) {
            SendDlgItemMessageA(page, IDC_TCP_CAMERA, CB_SETCURSEL, static_cast<WPARAM>(current), 0);
            ShowCamera(sheet, page);
            PropSheet_SetCurSel(GetParent(page), nullptr, 0);
            char text[260];
            langPack.LoadText(text, sizeof text, "FILL_FOOTER", kSection);
            Warn(page, text, IDC_TCP_FOOTER_TEXT);
            return false;
        }
        record.patternFlags = 1;
        std::snprintf(record.patternText, sizeof record.patternText, "%s", footer.c_str());
    } else {
        record.patternFlags = 0;
    }
    if (apply) {
        // Only a real port number is taken: 0 or text would leave the program without a
        // listening port after the restart.
        int port = 0;
        if (ParseTcpPortText(ControlText(page, IDC_TCP_PORT, 16).c_str(), &port) == 0) {
            PropSheet_SetCurSel(GetParent(page), nullptr, 0);
            Warn(page, langPack.LoadText("PORT_RANGE", kSection), IDC_TCP_PORT);
            return false;
        }
        if (port != sheet->channelTable.GetTcpPort()) {
            sheet->channelTable.SetTcpPort(port);
            sheet->tcpRestartPending = 1;
        }
        if (!StoreSenderRules(sheet, page))
            return false;
    }
    return true;
}

void OnInit(PropertySheetState* sheet, HWND page) {
    sheet->CenterDialog(GetParent(page));
    for (int i = 0; i < kChannelCount; ++i)
        sheet->workingChannels[i] = *sheet->channelTable.GetChannel(i);
    const struct {
        int id;
        const char* key;
    } texts[] = {{IDC_TCP_PORT_LABEL, "PORT_SATIC"},
                 {IDC_TCP_PORT_DEFAULT, "PORT_BTN"},
                 {IDC_TCP_CAMERA_GROUP, "CAMERA_GRB"},
                 {IDC_TCP_PATTERN_GROUP, "PATTERN_GRB"},
                 {IDC_TCP_FORMFEED, "FF_RD"},
                 {IDC_TCP_FOOTER, "FOOT_RD"},
                 {IDC_TCP_LISTEN_LABEL, "LISTEN_STATIC"},
                 {IDC_TCP_ALLOWED_LABEL, "ALLOWED_STATIC"}};
    for (const auto& text : texts)
        SetDlgItemTextA(page, text.id, langPack.LoadText(text.key, kSection));

    char port[16];
    std::snprintf(port, sizeof port, "%u", static_cast<unsigned>(sheet->channelTable.GetTcpPort()));
    SetDlgItemTextA(page, IDC_TCP_PORT, port);
    SendDlgItemMessageA(page, IDC_TCP_PORT_SPIN, UDM_SETRANGE32, 1, 65535);
    ChannelTable& table = sheet->channelTable;
    SendDlgItemMessageA(page, IDC_TCP_LISTEN_ADDRESS, EM_LIMITTEXT, sizeof table.tcpListenAddress - 1, 0);
    SetDlgItemTextA(page, IDC_TCP_LISTEN_ADDRESS, table.tcpListenAddress);
    SendDlgItemMessageA(page, IDC_TCP_ALLOWED_SENDERS, EM_LIMITTEXT, sizeof table.tcpAllowedSenders - 1, 0);
    SetDlgItemTextA(page, IDC_TCP_ALLOWED_SENDERS, table.tcpAllowedSenders);

    HWND cameras = GetDlgItem(page, IDC_TCP_CAMERA);
    std::string name = langPack.LoadText("CAMERA_NAME", kSection);
    for (int i = 1; i <= kChannelCount; ++i)
        AddComboItem(cameras, (name + std::to_string(i)).c_str(), i - 1);
    SetCurrentCamera(page, 0);
    SendMessageA(cameras, CB_SETCURSEL, 0, 0);
    ShowCamera(sheet, page);
}

}  // namespace

INT_PTR HandleTcpPage(PropertySheetState* sheet, HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (sheet == nullptr)
        return 0;
    switch (message) {
        case WM_INITDIALOG:
            OnInit(sheet, page);
            break;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_TCP_PORT_DEFAULT:
                    if (HIWORD(wParam) == BN_CLICKED)
                        SetDlgItemTextA(page, IDC_TCP_PORT, "10000");
                    break;
                case IDC_TCP_FORMFEED:
                case IDC_TCP_FOOTER:
                    if (HIWORD(wParam) == BN_CLICKED)
                        ChoosePattern(page, LOWORD(wParam));
                    break;
                case IDC_TCP_CAMERA:
                    if (HIWORD(wParam) == CBN_SELCHANGE)
                        ShowCamera(sheet, page);
                    break;
            }
            break;
        case WM_NOTIFY:
            if (reinterpret_cast<const NMHDR*>(lParam)->code == static_cast<UINT>(PSN_APPLY) &&
                !StoreCamera(sheet, page, true)) {
                SetWindowLongPtrA(page, DWLP_MSGRESULT, PSNRET_INVALID_NOCHANGEPAGE);
                return 1;
            }
            break;
        case WM_DESTROY:
            RemovePropA(page, kCurrentCameraProperty);
            break;
    }
    return 0;
}
