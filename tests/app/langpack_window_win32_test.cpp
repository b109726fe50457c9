// The language pack's dialog chores on real windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/langpack.h"

namespace {

std::string TextOf(HWND parent, int id) {
    char text[256] = {};
    GetDlgItemTextA(parent, id, text, sizeof text);
    return text;
}

TEST(LangPackWindows, ShapeDialogItemsSetsTheTextsOfKeyedControlsOnly) {
    HWND parent =
        CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, parent);
    const int ids[] = {1101, 1102, 1103, 3070};
    for (int id : ids) {
        CreateWindowExA(0, "STATIC", "template", WS_CHILD, 0, 0, 50, 20, parent,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    }
    LangPack pack("zamri");
    pack.UseBuiltInTexts();
    const DlgItemShape items[] = {
        {1101, 0, "important_text", "filter page"},
        {1102, 0, "no such key", "filter page"},  // a missing text leaves the control alone
        {1103, 0, "add", "filter page"},
        {3070, 0, nullptr, nullptr},
    };
    pack.ShapeDialogItems(parent, items, 4);
    EXPECT_EQ(pack.LoadText("important_text", "filter page"), TextOf(parent, 1101));
    EXPECT_EQ("template", TextOf(parent, 1102));
    EXPECT_EQ("Add", TextOf(parent, 1103));
    EXPECT_EQ("template", TextOf(parent, 3070));
    DestroyWindow(parent);
}

TEST(LangPackWindows, CenterDialogCentresOnTheWorkAreaWithoutAVisibleOwner) {
    HWND dialog =
        CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, dialog);
    DialogHelper helper;
    EXPECT_EQ(1, helper.CenterDialog(dialog));
    RECT area;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    RECT placed;
    GetWindowRect(dialog, &placed);
    EXPECT_NEAR((area.left + area.right) / 2, (placed.left + placed.right) / 2, 1);
    EXPECT_NEAR((area.top + area.bottom) / 2, (placed.top + placed.bottom) / 2, 1);
    EXPECT_EQ(200, placed.right - placed.left);
    DestroyWindow(dialog);
    EXPECT_EQ(0, helper.CenterDialog(nullptr));
}

}  // namespace
