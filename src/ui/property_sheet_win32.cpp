// The property sheet opened by the tray menu's "Property..." (command 102): the mode's first
// page, the filter, Exceptions and Webhooks pages and the About page over a working copy of the
// channel records and of the exception and webhook settings.
#include "ui/property_sheet_win32.h"

#include <commctrl.h>
#include <prsht.h>

#include "config/settings.h"
#include "delivery/line_delivery.h"
#include "platform/language.h"
#include "text/setting_value.h"
#include "ui/pages_win32.h"
#include "ui/resource_ids.h"

namespace {

constexpr int kPageCount = 5;

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

void AddListColumns(HWND list, const char* section, const ListColumn* columns, int count) {
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    RECT client;
    GetClientRect(list, &client);
    const int width = client.right - client.left;
    for (int i = 0; i < count; ++i) {
        char header[128];
        langPack.LoadText(header, sizeof header, columns[i].key, section);
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
        column.fmt = LVCFMT_LEFT;
        column.cx = width * columns[i].percent / 100;
        column.pszText = header;
        SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }
}

void FillList(HWND list, const std::vector<std::vector<std::string>>& rows) {
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    for (size_t r = 0; r < rows.size(); ++r) {
        for (size_t c = 0; c < rows[r].size(); ++c) {
            LVITEMA item = {};
            item.mask = LVIF_TEXT;
            item.iItem = static_cast<int>(r);
            item.iSubItem = static_cast<int>(c);
            item.pszText = const_cast<char*>(rows[r][c].c_str());
            SendMessageA(list, c == 0 ? LVM_INSERTITEMA : LVM_SETITEMTEXTA, c == 0 ? 0 : r,
                         reinterpret_cast<LPARAM>(&item));
        }
    }
}

int SelectedRow(HWND list) {
    return static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void ShowWarning(HWND owner, const std::string& text, const char* section) {
    char caption[128];
    langPack.LoadText(caption, sizeof caption, "warn", section);
    MessageBoxA(owner, text.c_str(), caption, MB_OK | MB_ICONWARNING);
}

std::string TrimmedText(HWND dialog, int controlId, int maxLength) {
    return std::string(zamri::TrimBlanks(ControlText(dialog, controlId, maxLength)));
}

int ShowPropertySheet(PropertySheetState& sheet, HINSTANCE instance, HWND owner) {
    if (sheet.open != 0)
        return 0;
    sheet.open = 1;
    sheet.instance = instance;
    sheet.tcpRestartPending = 0;
    ChannelTable& table = sheet.channelTable;
    const char* path = table.GetSettingsPath();
    sheet.exceptions.Read(path, zamri::UsableRecorderCodePage(table.GetSettings()->recorderCodePage));
    sheet.webhooks.Read(path);

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
        {IDD_EXCEPTIONS_PAGE, "title", "exceptions page", PropertyPageProc<HandleExceptionsPage>},
        {IDD_WEBHOOKS_PAGE, "title", "webhooks page", PropertyPageProc<HandleWebhooksPage>},
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
    const char* path = table.GetSettingsPath();
    int exceptionWrites = sheet.exceptions.Write(path);
    // The receipt readers take the new rules at once, as the program reads them from the file;
    // webhooks and the digest are set up when the program starts.
    if (exceptionWrites != 0) {
        std::shared_ptr<zamri::Settings> read = zamri::ReadSettings(path, table.channels);
        if (sheet.receiptsChanged)
            sheet.receiptsChanged(*read);
        else
            sheet.delivery.SetReceipts(read->receipts);
    }
    int hookWrites = sheet.webhooks.Write(path);
    if (exceptionWrites < 0 || hookWrites < 0) {
        char text[256];
        langPack.LoadText(text, sizeof text, "not_saved", nullptr);
        ShowWarning(nullptr, text, nullptr);
        return 0;
    }
    return 1;
}
