// The page on which the Important, Ignore and Mask lists are edited in place, and card-number
// masking is switched; both modes.
#include <windows.h>

#include <commctrl.h>
#include <prsht.h>

#include "delivery/line_delivery.h"
#include "mask/mask_set.h"
#include "platform/language.h"
#include "ui/page_rules.h"
#include "ui/pages_win32.h"
#include "ui/property_sheet_win32.h"
#include "ui/resource_ids.h"

namespace {

const char kSection[] = "filter page";
// The mask list's kind beside the filter kinds; its entries belong to the delivery step.
constexpr int kMaskList = 2;

struct ListBinding {
    int listId;
    int kind;
    const char* headerKey;
    int addId;
    int deleteId;
};

const ListBinding kLists[3] = {
    {IDC_IMPORTANT_LIST, kFilterImportant, "goods", IDC_IMPORTANT_ADD, IDC_IMPORTANT_DELETE},
    {IDC_IGNORE_LIST, kFilterIgnore, "sentence", IDC_IGNORE_ADD, IDC_IGNORE_DELETE},
    {IDC_MASK_LIST, kMaskList, "mask", IDC_MASK_ADD, IDC_MASK_DELETE}};

void AppendItem(HWND list, const char* text) {
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<char*>(text);
    SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

std::vector<std::string> Items(HWND list) {
    std::vector<std::string> items;
    int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[kFilterEntryMaxLength + 1] = {};
        LVITEMA item = {};
        item.iSubItem = 0;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        items.push_back(text);
    }
    return items;
}

void OnInit(PropertySheetState* sheet, HWND page) {
    const DlgItemShape shapes[] = {{IDC_IMPORTANT_LABEL, 0, "important_text", kSection},
                                   {IDC_IGNORE_LABEL, 0, "ignore_text", kSection},
                                   {IDC_IMPORTANT_ADD, 0, "add", kSection},
                                   {IDC_IMPORTANT_DELETE, 0, "delete", kSection},
                                   {IDC_IGNORE_ADD, 0, "add", kSection},
                                   {IDC_IGNORE_DELETE, 0, "delete", kSection},
                                   {IDC_MASK_LABEL, 0, "mask_text", kSection},
                                   {IDC_MASK_ADD, 0, "add", kSection},
                                   {IDC_MASK_DELETE, 0, "delete", kSection},
                                   {IDC_MASK_CARDS, 0, "mask_cards", kSection},
                                   {IDC_IMPORTANT_LIST, 0, nullptr, nullptr},
                                   {IDC_IGNORE_LIST, 0, nullptr, nullptr},
                                   {IDC_MASK_LIST, 0, nullptr, nullptr}};
    langPack.ShapeDialogItems(page, shapes, sizeof shapes / sizeof shapes[0]);
    MaskSettings masks = sheet->delivery.GetMaskSettings();
    CheckDlgButton(page, IDC_MASK_CARDS, masks.cardNumbers ? BST_CHECKED : BST_UNCHECKED);
    for (const ListBinding& binding : kLists) {
        HWND list = GetDlgItem(page, binding.listId);
        RECT client;
        GetClientRect(list, &client);
        char header[256];
        langPack.LoadText(header, sizeof header, binding.headerKey, kSection);
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
        column.fmt = LVCFMT_LEFT;
        column.cx = client.right - client.left;
        column.pszText = header;
        SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
        if (binding.kind == kMaskList) {
            for (const std::string& pattern : masks.patterns)
                AppendItem(list, pattern.c_str());
            continue;
        }
        int count = 0;
        char** entries = nullptr;
        sheet->channelTable.GetFilterList(binding.kind, &count, &entries);
        for (int i = 0; entries != nullptr && i < count; ++i)
            AppendItem(list, entries[i] != nullptr ? entries[i] : "");
    }
}

void AddItem(HWND list) {
    char text[256];
    langPack.LoadText(text, sizeof text, "new_item", kSection);
    AppendItem(list, text);
    int last = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)) - 1;
    SetFocus(list);
    SendMessageA(list, LVM_EDITLABELA, static_cast<WPARAM>(last), 0);
}

void DeleteSelected(HWND list) {
    for (;;) {
        int selected =
            static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
        if (selected < 0)
            break;
        SendMessageA(list, LVM_DELETEITEM, static_cast<WPARAM>(selected), 0);
    }
}

void OnCommand(HWND page, int controlId) {
    for (const ListBinding& binding : kLists) {
        HWND list = GetDlgItem(page, binding.listId);
        if (controlId == binding.addId)
            AddItem(list);
        if (controlId == binding.deleteId)
            DeleteSelected(list);
    }
}

// Saves and uses the masks when the list or the switch changed. Masks compare exactly: in a
// regular expression the case of a letter can matter (\d is not \D).
void ApplyMasks(PropertySheetState* sheet, HWND page) {
    MaskSettings stored = sheet->delivery.GetMaskSettings();
    MaskSettings edited;
    edited.cardNumbers = IsDlgButtonChecked(page, IDC_MASK_CARDS) == BST_CHECKED;
    edited.patterns = Items(GetDlgItem(page, IDC_MASK_LIST));
    if (edited.cardNumbers == stored.cardNumbers && edited.patterns == stored.patterns)
        return;
    const char* path = sheet->channelTable.GetSettingsPath();
    WriteMaskCardNumbers(path, edited.cardNumbers);
    WriteMaskPatterns(path, edited.patterns);
    sheet->delivery.SetMasks(edited);
}

// Leaving the page (or OK) with a mask that does not compile is refused with its reason, and
// the mask is selected for the user to mend.
bool MasksCompile(HWND page) {
    HWND list = GetDlgItem(page, IDC_MASK_LIST);
    std::string message;
    int bad = FirstBadMask(Items(list), &message);
    if (bad < 0)
        return true;
    MessageBoxA(page, message.c_str(), "Warning", MB_OK | MB_ICONWARNING);
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(bad), reinterpret_cast<LPARAM>(&item));
    SetFocus(list);
    return false;
}

void ApplyLists(PropertySheetState* sheet, HWND page) {
    ApplyMasks(sheet, page);
    for (const ListBinding& binding : kLists) {
        if (binding.kind == kMaskList)
            continue;
        std::vector<std::string> items = Items(GetDlgItem(page, binding.listId));
        int count = 0;
        char** stored = nullptr;
        sheet->channelTable.GetFilterList(binding.kind, &count, &stored);
        if (FilterListUnchanged(stored, count, items))
            continue;
        // The new list is built whole before it replaces the old one; when it cannot be built
        // the stored list stays as it was rather than being emptied.
        char** array = BuildFilterArray(items);
        if (array != nullptr)
            sheet->channelTable.ReplaceFilterList(binding.kind, static_cast<int>(items.size()), array);
    }
}

INT_PTR OnNotify(PropertySheetState* sheet, HWND page, const NMHDR* header) {
    if (header->code == LVN_ENDLABELEDITA &&
        (header->idFrom == IDC_IMPORTANT_LIST || header->idFrom == IDC_IGNORE_LIST ||
         header->idFrom == IDC_MASK_LIST)) {
        const NMLVDISPINFOA* info = reinterpret_cast<const NMLVDISPINFOA*>(header);
        if (info->item.pszText != nullptr) {
            LVITEMA item = {};
            item.iSubItem = 0;
            item.pszText = info->item.pszText;
            SendMessageA(header->hwndFrom, LVM_SETITEMTEXTA, static_cast<WPARAM>(info->item.iItem),
                         reinterpret_cast<LPARAM>(&item));
        }
    } else if (header->code == static_cast<UINT>(PSN_KILLACTIVE)) {
        SetWindowLongPtrA(page, DWLP_MSGRESULT, MasksCompile(page) ? FALSE : TRUE);
        return TRUE;
    } else if (header->code == static_cast<UINT>(PSN_APPLY)) {
        ApplyLists(sheet, page);
    }
    return 0;
}

}  // namespace

INT_PTR HandleFilterPage(PropertySheetState* sheet, HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (sheet == nullptr)
        return 0;
    switch (message) {
        case WM_INITDIALOG:
            OnInit(sheet, page);
            break;
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED)
                OnCommand(page, LOWORD(wParam));
            break;
        case WM_NOTIFY:
            return OnNotify(sheet, page, reinterpret_cast<const NMHDR*>(lParam));
    }
    return 0;
}
