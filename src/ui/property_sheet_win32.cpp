// The property sheet opened by the tray menu's "Property..." (command 102): the mode's first
// page, the filter page and the About page over a working copy of the channel records.
#include "ui/property_sheet_win32.h"

#include <commctrl.h>
#include <prsht.h>

#include "platform/language.h"
#include "ui/pages_win32.h"
#include "ui/resource_ids.h"

namespace {

constexpr int kPageCount = 3;

struct PageInfo {
    int dialogId;
    const char* key;
    const char* section;
    DLGPROC procedure;
};

}  // namespace

PropertySheetState* SheetStateOf(HWND window) {
    return reinterpret_cast<PropertySheetState*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

void StorePageSheetState(HWND page, LPARAM initParam) {
    const PROPSHEETPAGEA* sheetPage = reinterpret_cast<const PROPSHEETPAGEA*>(initParam);
    SetWindowLongPtrA(page, GWLP_USERDATA, sheetPage != nullptr ? sheetPage->lParam : 0);
}

std::string ControlText(HWND dialog, int controlId, int maxLength) {
    std::vector<char> buffer(static_cast<size_t>(maxLength) + 1, 0);
    GetDlgItemTextA(dialog, controlId, buffer.data(), maxLength + 1);
    return buffer.data();
}

INT_PTR ShowModalDialog(int templateId, HWND owner, DLGPROC procedure, PropertySheetState* sheet) {
    return DialogBoxParamA(sheet->instance, MAKEINTRESOURCEA(templateId), owner, procedure,
                           reinterpret_cast<LPARAM>(sheet));
}

void AddComboItem(HWND combo, const char* text, LPARAM value) {
    LRESULT index = SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    if (index >= 0)
        SendMessageA(combo, CB_SETITEMDATA, static_cast<WPARAM>(index), value);
}

int ShowPropertySheet(PropertySheetState& sheet, HINSTANCE instance, HWND owner) {
    if (sheet.open != 0)
        return 0;
    sheet.open = 1;
    sheet.instance = instance;
    sheet.tcpRestartPending = 0;
    ChannelTable& table = sheet.channelTable;

    HPROPSHEETPAGE pageHandles[kPageCount] = {};
    PROPSHEETHEADERA header = {};
    header.dwSize = sizeof header;
    header.dwFlags = 0;  // pages are given as handles
    header.hwndParent = owner;
    header.hInstance = instance;
    header.nStartPage = 0;
    header.nPages = 0;
    header.phpage = pageHandles;

    char caption[64];
    langPack.LoadText(caption, sizeof caption, "properties", nullptr);
    header.pszCaption = caption;

    const PageInfo firstPage =
        table.GetMode() == 1
            ? PageInfo{IDD_TCP_PAGE, "TITLE", "TCP_CONFIG_PAGE", PropertyPageProc<HandleTcpPage>}
            : PageInfo{IDD_CONNECTION_PAGE, "title", "connection page",
                       PropertyPageProc<HandleConnectionPage>};
    const PageInfo pages[kPageCount] = {
        firstPage,
        {IDD_FILTER_PAGE, "title", "filter page", PropertyPageProc<HandleFilterPage>},
        {IDD_ABOUT_PAGE, "title", "about page", PropertyPageProc<HandleAboutPage>}};
    char titles[kPageCount][64];
    for (int i = 0; i < kPageCount; ++i) {
        const char* title = langPack.LoadText(titles[i], sizeof titles[i], pages[i].key, pages[i].section);
        PROPSHEETPAGEA page = {};
        page.dwSize = sizeof page;
        // Without a text the template's own caption stays.
        page.dwFlags = title != nullptr ? PSP_USETITLE : 0;
        page.hInstance = instance;
        page.pszTemplate = MAKEINTRESOURCEA(langPack.ResourceId(pages[i].dialogId) & 0xFFFF);
        page.pszTitle = title;
        page.pfnDlgProc = pages[i].procedure;
        page.lParam = reinterpret_cast<LPARAM>(&sheet);
        HPROPSHEETPAGE handle = CreatePropertySheetPageA(&page);
        if (handle != nullptr)
            pageHandles[header.nPages++] = handle;
    }

    if (PropertySheetA(&header) > 0)
        ApplyPropertySheet(sheet);
    sheet.open = 0;
    return 1;
}

int ApplyPropertySheet(PropertySheetState& sheet) {
    ChannelTable& table = sheet.channelTable;
    const bool tcpMode = table.GetMode() == 1;
    if (!tcpMode || sheet.tcpRestartPending == 1)
        table.StopCapture();
    for (int i = 0; i < kChannelCount; ++i) {
        table.UpdateChannel(static_cast<unsigned>(i), sheet.workingChannels[i]);
        table.SaveChannel(i);
        if (!tcpMode && sheet.workingChannels[i].enabled == 1)
            table.StartChannel(i);
    }
    if (tcpMode && sheet.tcpRestartPending == 1)
        table.StartCapture();
    return 1;
}
