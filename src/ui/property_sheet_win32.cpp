// The property sheet opened by the tray menu's "Property..." (command 102): the mode's first
// page, the filter page and the About page over a working copy of the channel records.
#include <windows.h>

#include <commctrl.h>
#include <prsht.h>

#include "app/tray_app.h"
#include "platform/language.h"
#include "ui/pages_win32.h"
#include "ui/resource_ids.h"

namespace {

struct PageInfo {
    int dialogId;
    const char* key;
    const char* section;
    DLGPROC procedure;
};

}  // namespace

TrayApp* TrayAppOf(HWND window) {
    return reinterpret_cast<TrayApp*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

void StorePageTrayApp(HWND page, LPARAM initParam) {
    const PROPSHEETPAGEA* sheetPage = reinterpret_cast<const PROPSHEETPAGEA*>(initParam);
    SetWindowLongPtrA(page, GWLP_USERDATA, sheetPage != nullptr ? sheetPage->lParam : 0);
}

std::string ControlText(HWND dialog, int controlId, int maxLength) {
    std::vector<char> buffer(static_cast<size_t>(maxLength) + 1, 0);
    GetDlgItemTextA(dialog, controlId, buffer.data(), maxLength + 1);
    return buffer.data();
}

INT_PTR ShowModalDialog(int templateId, HWND owner, DLGPROC procedure, TrayApp* app) {
    return DialogBoxParamA(AppInstance(), MAKEINTRESOURCEA(templateId), owner, procedure,
                           reinterpret_cast<LPARAM>(app));
}

void AddComboItem(HWND combo, const char* text, LPARAM value) {
    LRESULT index = SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    if (index >= 0)
        SendMessageA(combo, CB_SETITEMDATA, static_cast<WPARAM>(index), value);
}

int TrayApp::ShowPropertySheet() {
    if (propertySheetOpen != 0)
        return 0;
    propertySheetOpen = 1;
    tcpRestartPending = 0;

    sheetHeader = PROPSHEETHEADERA{};
    sheetHeader.dwSize = sizeof sheetHeader;
    sheetHeader.dwFlags = 0;  // pages are given as handles
    sheetHeader.hwndParent = hwnd;
    sheetHeader.hInstance = AppInstance();
    sheetHeader.nStartPage = 0;
    sheetHeader.nPages = 0;
    sheetHeader.phpage = sheetPages;

    char caption[64];
    langPack.LoadText(caption, sizeof caption, "properties", nullptr);
    sheetHeader.pszCaption = caption;

    const PageInfo firstPage =
        channelTable.GetMode() == 1
            ? PageInfo{IDD_TCP_PAGE, "TITLE", "TCP_CONFIG_PAGE", PropertyPageProc<HandleTcpPage>}
            : PageInfo{IDD_CONNECTION_PAGE, "title", "connection page",
                       PropertyPageProc<HandleConnectionPage>};
    const PageInfo pages[] = {firstPage,
                              {IDD_FILTER_PAGE, "title", "filter page", PropertyPageProc<HandleFilterPage>},
                              {IDD_ABOUT_PAGE, "title", "about page", PropertyPageProc<HandleAboutPage>}};
    char titles[3][64];
    for (int i = 0; i < 3; ++i) {
        const char* title = langPack.LoadText(titles[i], sizeof titles[i], pages[i].key, pages[i].section);
        PROPSHEETPAGEA page = {};
        page.dwSize = sizeof page;
        // Without a text the template's own caption stays.
        page.dwFlags = title != nullptr ? PSP_USETITLE : 0;
        page.hInstance = AppInstance();
        page.pszTemplate = MAKEINTRESOURCEA(langPack.ResourceId(pages[i].dialogId) & 0xFFFF);
        page.pszTitle = title;
        page.pfnDlgProc = pages[i].procedure;
        page.lParam = reinterpret_cast<LPARAM>(this);
        HPROPSHEETPAGE handle = CreatePropertySheetPageA(&page);
        if (handle != nullptr && sheetHeader.nPages < kPropertyPageRoom)
            sheetPages[sheetHeader.nPages++] = handle;
    }

    if (PropertySheetA(&sheetHeader) > 0)
        ApplyPropertySheet();
    propertySheetOpen = 0;
    return 1;
}

int TrayApp::ApplyPropertySheet() {
    const bool tcpMode = channelTable.GetMode() == 1;
    if (!tcpMode || tcpRestartPending == 1)
        channelTable.StopCapture();
    for (int i = 0; i < kChannelCount; ++i) {
        channelTable.UpdateChannel(static_cast<unsigned>(i), workingChannels[i]);
        channelTable.SaveChannel(i);
        if (!tcpMode && workingChannels[i].enabled == 1)
            channelTable.StartChannel(i);
    }
    if (tcpMode && tcpRestartPending == 1)
        channelTable.StartCapture();
    return 1;
}
