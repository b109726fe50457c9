// The last page in both modes: the program's title and version.
#include "platform/language.h"
#include "ui/page_rules.h"
#include "ui/pages_win32.h"
#include "ui/resource_ids.h"

namespace {}  // namespace

INT_PTR HandleAboutPage(PropertySheetState* sheet, HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_INITDIALOG)
        return 0;
    const DlgItemShape shapes[] = {{IDC_ABOUT_TITLE, 4, nullptr, nullptr},
                                   {IDC_ABOUT_VERSION, 0, nullptr, nullptr}};
    langPack.ShapeDialogItems(page, shapes, 2);
    char title[256];
    if (langPack.LoadText(title, sizeof title, "title", nullptr) != nullptr)
        SetDlgItemTextA(page, IDC_ABOUT_TITLE, title);
    char version[128];
    if (langPack.LoadText(version, sizeof version, "version", nullptr) != nullptr) {
        SetDlgItemTextA(page, IDC_ABOUT_VERSION, VersionLine(version).c_str());
    }
    return 0;
}
