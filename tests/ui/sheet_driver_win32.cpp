// Drives the property sheet of the real program inside a wine virtual desktop, one scenario
// per run:  sheet_driver.exe SCENARIO [PORT]
// started in a directory that holds zamri.exe and its libraries. Controls are found by their
// ids and worked with posted messages, as a user's clicks would; results are read from the
// controls and from the settings file. Writes "result.txt": "PASS" or one line per failure.
#include <windows.h>

#include <commctrl.h>
#include <prsht.h>

#include <cstdlib>
#include <string>

#include "send_client.h"
#include "support/gui_driver_win32.h"
#include "support/printer_bytes.h"

using namespace gui_driver;

namespace {

constexpr int kSheetTabs = 0x3020;  // the property sheet's tab control

std::string Settings() {
    return ReadWholeFile(InWork("zamri.ini"));
}

std::string SettingsValue(const char* section, const char* key) {
    char value[512];
    GetPrivateProfileStringA(section, key, "<missing>", value, sizeof value, InWork("zamri.ini").c_str());
    return value;
}

void Click(HWND dialog, int controlId) {
    PostMessageA(GetDlgItem(dialog, controlId), BM_CLICK, 0, 0);
}

bool Checked(HWND dialog, int controlId) {
    return SendMessageA(GetDlgItem(dialog, controlId), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool Enabled(HWND dialog, int controlId) {
    return IsWindowEnabled(GetDlgItem(dialog, controlId)) != FALSE;
}

void SetText(HWND dialog, int controlId, const char* text) {
    SendMessageA(GetDlgItem(dialog, controlId), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

int ComboCount(HWND dialog, int listId) {
    return static_cast<int>(SendDlgItemMessageA(dialog, listId, CB_GETCOUNT, 0, 0));
}

int ComboSelection(HWND dialog, int listId) {
    return static_cast<int>(SendDlgItemMessageA(dialog, listId, CB_GETCURSEL, 0, 0));
}

std::string ComboText(HWND dialog, int listId, int item) {
    wchar_t text[256] = {};
    if (item < 0)
        return "<none>";
    SendDlgItemMessageW(dialog, listId, CB_GETLBTEXT, static_cast<WPARAM>(item),
                        reinterpret_cast<LPARAM>(text));
    return Narrow(text);
}

std::string SelectedText(HWND dialog, int listId) {
    return ComboText(dialog, listId, ComboSelection(dialog, listId));
}

void Select(HWND dialog, int listId, int item) {
    SendDlgItemMessageA(dialog, listId, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
}

// Opens the sheet through the program's property command and waits for it.
HWND OpenSheet(HWND window, DWORD processId) {
    PostMessageA(window, WM_COMMAND, 102, 0);
    HWND sheet = WaitDialogWithControl(processId, kSheetTabs);
    Check(sheet != nullptr, "the property sheet did not open");
    return sheet;
}

HWND CurrentPage(HWND sheet) {
    return reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

HWND ShowPage(HWND sheet, int index, int controlOnPage) {
    PostMessageA(sheet, PSM_SETCURSEL, static_cast<WPARAM>(index), 0);
    HWND page = nullptr;
    WaitFor(
        [&] { return (page = CurrentPage(sheet)) != nullptr && GetDlgItem(page, controlOnPage) != nullptr; });
    return page;
}

// Presses a sheet button and waits until the sheet is gone and the program's main thread has
// finished what follows (the apply runs there before it reads messages again).
bool CloseSheet(HWND sheet, DWORD processId, WPARAM button) {
    HWND window = GetWindow(sheet, GW_OWNER);
    PostMessageA(sheet, PSM_PRESSBUTTON, button, 0);
    bool closed = WaitFor([&] { return FindDialogWithControl(processId, kSheetTabs) == nullptr; });
    Check(closed, "the property sheet did not close");
    DWORD_PTR ignored = 0;
    if (window != nullptr)
        SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, kPatienceMs, &ignored);
    return closed;
}

// Dismisses a message box; returns its text.
std::string AnswerMessageBox(DWORD processId, const std::string& screenshot) {
    HWND box = WaitDialogWithControl(processId, 0);
    Check(box != nullptr, "no message box");
    if (box == nullptr)
        return "";
    std::string text = ControlText(box, 0xFFFF);
    if (!screenshot.empty())
        Screenshot(screenshot);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    Check(WaitFor([&] { return !IsWindow(box); }), "the message box stayed open");
    return text;
}

void Exit(Program& program, HWND window) {
    PostMessageA(window, WM_COMMAND, 103, 0);
    Check(program.WaitExit() == 0, "Exit did not end the program with 0");
}

// Serial mode: the connection page, the port settings and pattern dialogs, OK and Cancel.
void ScenarioSerial() {
    WriteWholeFile(InWork("zamri.ini"), "[Channel]\r\n1=0,COM8,9600,2,8,1,5,0,1,0\r\n");
    const std::string stored = Settings();
    Program program("");
    HWND window = WaitProgramWindow();
    if (window == nullptr)
        return;
    DWORD pid = program.ProcessId();

    HWND sheet = OpenSheet(window, pid);
    if (sheet == nullptr)
        return;
    Check(SendMessageA(GetDlgItem(sheet, kSheetTabs), TCM_GETITEMCOUNT, 0, 0) == 5,
          "serial sheet without 5 pages");
    HWND page = CurrentPage(sheet);
    Check(GetDlgItem(page, 1046) != nullptr, "the first page is not the connection page");
    Check(ControlText(page, 1095) == "COM8", "channel 1 port shows " + ControlText(page, 1095));
    Check(!Enabled(page, 1095) && !Enabled(page, 1048), "an off channel's port and button are enabled");
    Check(ControlText(page, 1134) == "COM16", "channel 16 port shows " + ControlText(page, 1134));
    // The property command while the sheet is open opens nothing more.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(window, WM_COMMAND, 102, 0, SMTO_NORMAL, kPatienceMs, &ignored);
    Check(FindDialogWithControl(pid, kSheetTabs) == sheet, "a second sheet opened");
    Screenshot("sheet-serial-connection");

    // Ticking a channel and cancelling changes nothing.
    Click(page, 1046);
    Check(WaitFor([&] { return Enabled(page, 1095) && Enabled(page, 1048); }),
          "ticking did not enable the row");
    CloseSheet(sheet, pid, PSBTN_CANCEL);
    Check(Settings() == stored, "Cancel changed the settings file");

    sheet = OpenSheet(window, pid);
    if (sheet == nullptr)
        return;
    page = CurrentPage(sheet);
    Check(!Checked(page, 1046), "the cancelled tick came back");
    Click(page, 1046);
    Check(WaitFor([&] { return Enabled(page, 1048); }), "ticking did not enable the button");

    // The port settings dialog shows the record.
    Click(page, 1048);
    HWND port = WaitDialogWithControl(pid, 1148);
    Check(port != nullptr, "the port settings dialog did not open");
    if (port == nullptr)
        return;
    Check(ComboCount(port, 1148) == 24 && ComboText(port, 1148, 23) == "COM24", "port list");
    Check(ComboCount(port, 1149) == 9 && ComboText(port, 1149, 8) == "115200 bps", "baud list");
    Check(ComboCount(port, 1150) == 4 && ComboCount(port, 1151) == 5 && ComboCount(port, 1152) == 3, "lists");
    Check(SelectedText(port, 1148) == "COM8", "port selected: " + SelectedText(port, 1148));
    Check(SelectedText(port, 1149) == "9600 bps", "baud selected: " + SelectedText(port, 1149));
    Check(SelectedText(port, 1150) == "8", "data bits selected: " + SelectedText(port, 1150));
    Check(SelectedText(port, 1151) == "Even", "parity selected: " + SelectedText(port, 1151));
    Check(SelectedText(port, 1152) == "1.5", "stop bits selected: " + SelectedText(port, 1152));
    Check(ComboCount(port, 1107) == 4 && ComboText(port, 1107, 1) == "ESC/POS" &&
              ComboText(port, 1107, 2) == "Star",
          "emulation list");
    Check(SelectedText(port, 1107) == "ESC/P", "emulation selected: " + SelectedText(port, 1107));
    Check(ComboCount(port, 1158) > 30 && SelectedText(port, 1158) == "As the printer ships",
          "code page selected: " + SelectedText(port, 1158));
    Check(ControlText(port, 1160) == "0", "idle seconds: " + ControlText(port, 1160));
    Check(Checked(port, 1153) && !Checked(port, 1154) && Checked(port, 1155), "flow control 5");
    Screenshot("port-settings");
    Select(port, 1149, 5);
    PostMessageA(port, WM_COMMAND, IDCANCEL, 0);
    Check(WaitFor([&] { return !IsWindow(port); }), "Cancel did not close the port settings");

    Click(page, 1048);
    port = WaitDialogWithControl(pid, 1148);
    if (port == nullptr)
        return;
    Check(SelectedText(port, 1149) == "9600 bps", "Cancel stored the baud rate");

    // The pattern dialog: a stored footer "0" opens empty; Footer with no text is refused.
    Click(port, 1119);
    HWND pattern = WaitDialogWithControl(pid, 1115);
    Check(pattern != nullptr, "the pattern dialog did not open");
    if (pattern == nullptr)
        return;
    Check(ControlText(pattern, 1119).empty(), "footer 0 did not open empty");
    Check(Checked(pattern, 1117) && Enabled(pattern, 1119), "Footer is not chosen");
    Screenshot("pattern");
    PostMessageA(pattern, WM_COMMAND, IDOK, 0);
    std::string warning = AnswerMessageBox(pid, "pattern-empty-footer");
    Check(warning.find("footer") != std::string::npos, "empty footer warning: " + warning);
    Check(IsWindow(pattern) != FALSE, "the pattern dialog closed on an empty footer");
    SetText(pattern, 1119, "THANK YOU");
    PostMessageA(pattern, WM_COMMAND, IDOK, 0);
    Check(WaitFor([&] { return !IsWindow(pattern); }), "OK did not close the pattern dialog");

    Select(port, 1149, 5);  // 19200 bps
    Select(port, 1150, 2);  // 7 data bits
    Select(port, 1107, 1);  // ESC/POS, code 2
    Select(port, 1158, 8);  // PC850
    SetText(port, 1160, "30");
    Click(port, 1155);  // XON/XOFF off
    Check(WaitFor([&] { return !Checked(port, 1155); }), "XON/XOFF did not clear");
    PostMessageA(port, WM_COMMAND, IDOK, 0);
    Check(WaitFor([&] { return !IsWindow(port); }), "OK did not close the port settings");

    // OK writes all 32 records and PORT.
    CloseSheet(sheet, pid, PSBTN_OK);
    Check(SettingsValue("Channel", "1") == "1,COM8,19200,2,7,1,1,2,1,THANK YOU",
          "channel 1 saved as " + SettingsValue("Channel", "1"));
    for (int i = 2; i <= 32; ++i) {
        std::string expected = "0,COM" + std::to_string(i) + ",9600,0,8,0,0,0,0,";
        Check(SettingsValue("Channel", std::to_string(i).c_str()) == expected,
              "channel " + std::to_string(i));
    }
    Check(SettingsValue("Channel", "PORT") == "10000", "PORT not written");
    Check(
        SettingsValue("Channel 1", "CodePage") == "850" && SettingsValue("Channel 1", "IdleSeconds") == "30",
        "code page and idle end saved as " + SettingsValue("Channel 1", "CodePage") + ", " +
            SettingsValue("Channel 1", "IdleSeconds"));

    // The ticked channel captures: bytes written to its port reach the overlay library.
    if (AskScript("port", "HELLO FROM COM8\r\nTHANK YOU\r\n")) {
        bool arrived = WaitFor([] { return OverlayWrites().size() >= 2; });
        std::vector<std::string> writes = OverlayWrites();
        Check(arrived && writes[0] == "1\t0\t1\tHELLO FROM COM8" && writes[1] == "1\t0\t2\tTHANK YOU",
              "lines from COM8: " + ReadWholeFile(InWork("overlay.log")));
    }
    Exit(program, window);
}

// A golden receipt in the readable notation (the script copies it in), as the till sends it.
std::string GoldenReceiptBytes(const char* name) {
    std::string text = ReadWholeFile(InWork(name)), notation;
    size_t position = 0;
    while (position < text.size()) {
        size_t end = text.find('\n', position);
        std::string line =
            text.substr(position, end == std::string::npos ? std::string::npos : end - position);
        position = end == std::string::npos ? text.size() : end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] != '#')
            notation += line;
    }
    std::string error;
    std::string bytes = testing_support::PrinterBytes(notation, &error);
    Check(error.empty() && !bytes.empty(), std::string(name) + ": " + error);
    return bytes;
}

// Detect in the port settings dialog: listens on COM8 while a supermarket till prints (its
// stream selects PC858 and cuts), fills the printer language and code page, and stores them only
// with OK.
void ScenarioDetect() {
    WriteWholeFile(InWork("zamri.ini"), "[Channel]\r\n1=0,COM8,9600,0,8,0,0,0,0,\r\n");
    Program program("");
    HWND window = WaitProgramWindow();
    if (window == nullptr)
        return;
    DWORD pid = program.ProcessId();
    HWND sheet = OpenSheet(window, pid);
    if (sheet == nullptr)
        return;
    HWND page = CurrentPage(sheet);
    Click(page, 1046);
    Check(WaitFor([&] { return Enabled(page, 1048); }), "ticking did not enable the button");
    Click(page, 1048);
    HWND port = WaitDialogWithControl(pid, 1172);
    Check(port != nullptr, "the port settings dialog has no Detect button");
    if (port == nullptr)
        return;
    Check(SelectedText(port, 1107) == "ESC/P", "emulation before: " + SelectedText(port, 1107));

    Click(port, 1172);
    Check(WaitFor(
              [&] { return ControlText(port, 1174).rfind("Listening at", 0) == 0 && !Enabled(port, IDOK); }),
          "Detect shows no listening: " + ControlText(port, 1174));
    Screenshot("port-detect-listening");  // nothing was printed yet: it listens on
    std::string receipt = GoldenReceiptBytes("escpos_market.receipt");
    std::string receipts;
    for (int i = 0; i < 8; ++i)
        receipts += receipt;
    AskScript("port", receipts);
    bool done = WaitFor([&] { return Enabled(port, IDOK); }, 60000);
    Check(done, "detection did not end: " + ControlText(port, 1174));
    std::string status = ControlText(port, 1174);
    Check(SelectedText(port, 1107) == "ESC/POS", "emulation after Detect: " + SelectedText(port, 1107));
    Check(SelectedText(port, 1158).rfind("PC858", 0) == 0,
          "code page after Detect: " + SelectedText(port, 1158));
    Check(status.find("ESC/POS") != std::string::npos, "status after Detect: " + status);
    Screenshot("port-detect");
    Check(SettingsValue("Channel 1", "CodePage") == "<missing>", "Detect stored before OK");

    PostMessageA(port, WM_COMMAND, IDOK, 0);
    Check(WaitFor([&] { return !IsWindow(port); }), "OK did not close the port settings");
    CloseSheet(sheet, pid, PSBTN_OK);
    std::string record = SettingsValue("Channel", "1");
    Check(record.rfind("1,COM8,", 0) == 0 && record.find(",2,0,") != std::string::npos,
          "channel 1 saved as " + record);
    Check(SettingsValue("Channel 1", "CodePage") == "858",
          "code page saved as " + SettingsValue("Channel 1", "CodePage"));
    Exit(program, window);
}

// The filter page: add, edit in place, delete, OK only when changed.
void ScenarioFilter() {
    WriteWholeFile(InWork("zamri.ini"),
                   "[Important]\r\ncount=1\r\n0=Total\r\n[Ignore]\r\ncount=2\r\n0=void\r\n1=cash\r\n"
                   "[Mask]\r\ncount=1\r\n0=MEMBER *\r\n");
    Program program("");
    HWND window = WaitProgramWindow();
    if (window == nullptr)
        return;
    DWORD pid = program.ProcessId();
    HWND sheet = OpenSheet(window, pid);
    if (sheet == nullptr)
        return;
    HWND page = ShowPage(sheet, 1, 3070);
    Check(page != nullptr, "no filter page");
    if (page == nullptr)
        return;
    HWND important = GetDlgItem(page, 3070);
    HWND ignore = GetDlgItem(page, 3071);
    auto count = [](HWND list) { return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); };
    auto editor = [](HWND list) {
        return reinterpret_cast<HWND>(SendMessageA(list, LVM_GETEDITCONTROL, 0, 0));
    };
    Check(count(important) == 1 && count(ignore) == 2, "lists not loaded");

    // Add, then type the text in place and press Enter.
    Click(page, 1103);
    HWND edit = nullptr;
    Check(WaitFor([&] { return (edit = editor(important)) != nullptr; }), "Add did not start editing");
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("TOTAL DUE"));
    PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
    Check(WaitFor([&] { return editor(important) == nullptr; }), "Enter did not end editing");
    Check(count(important) == 2, "Important list has " + std::to_string(count(important)) + " items");

    // Delete the selected first Ignore entry; add one without editing it.
    PostMessageA(ignore, WM_KEYDOWN, VK_HOME, 0);
    Check(WaitFor([&] { return SendMessageA(ignore, LVM_GETSELECTEDCOUNT, 0, 0) == 1; }), "no selection");
    Click(page, 1106);
    Check(WaitFor([&] { return count(ignore) == 1; }), "Delete did not remove the entry");
    Click(page, 1105);
    Check(WaitFor([&] { return (edit = editor(ignore)) != nullptr; }), "Add did not start editing");
    PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
    Check(WaitFor([&] { return editor(ignore) == nullptr && count(ignore) == 2; }), "second Add");
    Screenshot("sheet-filter");

    CloseSheet(sheet, pid, PSBTN_OK);
    Check(SettingsValue("Important", "count") == "2" && SettingsValue("Important", "1") == "TOTAL DUE",
          "Important list saved as " + Settings());
    Check(SettingsValue("Ignore", "count") == "2" && SettingsValue("Ignore", "0") == "cash" &&
              SettingsValue("Ignore", "1") == "New item",
          "Ignore list saved as " + Settings());

    // A change of letter case only is not saved.
    const std::string stored = Settings();
    sheet = OpenSheet(window, pid);
    if (sheet == nullptr)
        return;
    page = ShowPage(sheet, 1, 3070);
    important = GetDlgItem(page, 3070);
    edit = reinterpret_cast<HWND>(SendMessageA(important, LVM_EDITLABELA, 0, 0));
    Check(edit != nullptr, "no in-place editor");
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("TOTAL"));
    PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
    Check(WaitFor([&] { return editor(important) == nullptr; }), "Enter did not end editing");
    CloseSheet(sheet, pid, PSBTN_OK);
    Check(Settings() == stored, "a case-only change was saved: " + stored + " became " + Settings());

    // Masks: one that does not compile is refused with its reason and the sheet stays open;
    // mended in place, it is saved with the card-number switch.
    sheet = OpenSheet(window, pid);
    if (sheet == nullptr)
        return;
    page = ShowPage(sheet, 1, 3072);
    HWND masks = GetDlgItem(page, 3072);
    Check(count(masks) == 1, "mask list not loaded");
    Check(Checked(page, 1163), "card-number masking is not ticked");
    Click(page, 1161);
    Check(WaitFor([&] { return (edit = editor(masks)) != nullptr; }), "Add did not start editing a mask");
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("re:(TEL"));
    PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
    Check(WaitFor([&] { return editor(masks) == nullptr && count(masks) == 2; }), "the mask was not added");
    Click(page, 1163);
    Check(WaitFor([&] { return !Checked(page, 1163); }), "card-number masking did not untick");
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    std::string refusal = AnswerMessageBox(pid, "sheet-filter-bad-mask");
    Check(refusal.rfind("The mask \"re:(TEL\" is not a valid regular expression", 0) == 0,
          "refusal says: " + refusal);
    Check(FindDialogWithControl(pid, kSheetTabs) == sheet, "the sheet closed with a bad mask");
    Check(SettingsValue("Mask", "count") == "1", "a bad mask was saved: " + Settings());
    edit = reinterpret_cast<HWND>(SendMessageA(masks, LVM_EDITLABELA, 1, 0));
    Check(edit != nullptr, "no in-place editor for the mask");
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("re:TEL (\\d+)"));
    PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
    Check(WaitFor([&] { return editor(masks) == nullptr; }), "Enter did not end editing the mask");
    Screenshot("sheet-filter-masks");
    CloseSheet(sheet, pid, PSBTN_OK);
    Check(SettingsValue("Mask", "count") == "2" && SettingsValue("Mask", "0") == "MEMBER *" &&
              SettingsValue("Mask", "1") == "re:TEL (\\d+)" &&
              SettingsValue("Options", "MaskCardNumbers") == "0",
          "masks saved as " + Settings());
    Exit(program, window);
}

// TCP mode: the TCP page, its footer warning, the port and the server's restart.
void ScenarioTcp(int port) {
    std::string ini = "[Channel]\r\n3=0,COM3,9600,0,8,0,0,0,1,BYE\r\nPORT=" + std::to_string(port) +
                      "\r\n[Ignore]\r\ncount=1\r\n0=secret\r\n";
    WriteWholeFile(InWork("zamri.ini"), ini);
    Program program("/tcp");
    HWND window = WaitProgramWindow();
    if (window == nullptr)
        return;
    DWORD pid = program.ProcessId();
    HWND sheet = OpenSheet(window, pid);
    if (sheet == nullptr)
        return;
    HWND page = CurrentPage(sheet);
    Check(GetDlgItem(page, 1120) != nullptr, "the first page is not the TCP page");
    Check(SendMessageA(GetDlgItem(sheet, kSheetTabs), TCM_GETITEMCOUNT, 0, 0) == 5,
          "TCP sheet without 5 pages");
    Check(ControlText(page, 1120) == std::to_string(port), "port shows " + ControlText(page, 1120));
    Check(ComboCount(page, 1125) == 32 && ComboText(page, 1125, 31) == "Camera 32", "camera list");

    HWND cameras = GetDlgItem(page, 1125);
    auto chooseCamera = [&](int index) {
        Select(page, 1125, index);
        PostMessageA(page, WM_COMMAND, MAKEWPARAM(1125, CBN_SELCHANGE), reinterpret_cast<LPARAM>(cameras));
    };
    chooseCamera(2);
    Check(WaitFor([&] { return Checked(page, 1127) && ControlText(page, 1128) == "BYE"; }),
          "camera 3's footer");
    Screenshot("sheet-tcp");
    SetText(page, 1128, "");
    chooseCamera(0);
    std::string warning = AnswerMessageBox(pid, "tcp-empty-footer");
    Check(warning.find("footer") != std::string::npos, "empty footer warning: " + warning);
    Check(ComboSelection(page, 1125) == 2, "the camera changed despite the empty footer");
    SetText(page, 1128, "BYE");

    // OK with the port unchanged: saved, and the server is not restarted, so a till that was
    // connected before stays connected.
    SendClient till;
    Check(till.Connect("127.0.0.1", port) == 1 && till.OpeningExchange() == 1, "the till could not connect");
    CloseSheet(sheet, pid, PSBTN_OK);
    Check(SettingsValue("Channel", "PORT") == std::to_string(port), "PORT changed");
    Check(SettingsValue("Channel", "3") == "0,COM3,9600,0,8,0,0,0,1,BYE",
          "camera 3: " + SettingsValue("Channel", "3"));
    const char still[] = "STILL CONNECTED\n";
    Check(till.SendTextLine(3, still, static_cast<int>(sizeof still - 1)) == 1, "the till's send failed");
    Check(WaitFor([] { return OverlayWrites().size() >= 1; }), "the till's connection did not survive OK");
    // Camera 3 ends its receipts at "BYE"; the Ignore list drops the secret line.
    if (AskScript("send", std::to_string(port) + "\n3\nHELLO\nsecret line\nBYE\n")) {
        Check(WaitFor([] { return OverlayWrites().size() >= 3; }), "no lines after OK");
    }

    // A port that is no port is refused and the sheet stays open.
    sheet = OpenSheet(window, pid);
    if (sheet == nullptr)
        return;
    page = CurrentPage(sheet);
    SetText(page, 1120, "0");
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    warning = AnswerMessageBox(pid, "");
    Check(warning.find("65535") != std::string::npos, "port warning: " + warning);
    Check(FindDialogWithControl(pid, kSheetTabs) == sheet, "the sheet closed with port 0");

    Check(SettingsValue("Options", "AllowedSenders") == "<missing>", "an OK that kept the list wrote it");

    // "Default", a listen address and allowed senders: a malformed sender is named and the
    // sheet stays; then OK moves the server to 10000 on 127.0.0.1 for 127.0.0.1 only.
    Click(page, 1123);
    Check(WaitFor([&] { return ControlText(page, 1120) == "10000"; }), "Default did not set 10000");
    SetText(page, 1132, "127.0.0.1");
    SetText(page, 1134, "127.0.0.1 10.0.0.0/99");
    Screenshot("sheet-tcp-senders");
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    warning = AnswerMessageBox(pid, "tcp-bad-sender");
    Check(warning.find("10.0.0.0/99") != std::string::npos, "sender warning: " + warning);
    Check(FindDialogWithControl(pid, kSheetTabs) == sheet, "the sheet closed with a malformed sender");
    SetText(page, 1134, "127.0.0.1");
    CloseSheet(sheet, pid, PSBTN_OK);
    Check(SettingsValue("Channel", "PORT") == "10000", "PORT is " + SettingsValue("Channel", "PORT"));
    Check(SettingsValue("Options", "ListenAddress") == "127.0.0.1" &&
              SettingsValue("Options", "AllowedSenders") == "127.0.0.1",
          "[Options] holds " + SettingsValue("Options", "ListenAddress") + " / " +
              SettingsValue("Options", "AllowedSenders"));
    Check(till.WaitForClose(kPatienceMs) == 1, "the server was not restarted on the new port");
    if (AskScript("send", "10000\n3\nAFTER MOVE\n")) {
        Check(WaitFor([] { return OverlayWrites().size() >= 4; }), "nothing arrived on port 10000");
    }
    std::vector<std::string> writes = OverlayWrites();
    std::vector<std::string> expected = {"1\t2\t0\tSTILL CONNECTED", "1\t2\t0\tHELLO", "1\t2\t2\tBYE",
                                         "1\t2\t0\tAFTER MOVE"};
    Check(writes == expected, "lines at the overlay: " + ReadWholeFile(InWork("overlay.log")));
    Exit(program, window);
}

// Serial mode with a network source: typing its name greys out the line settings, a malformed
// allowed sender is refused, OK saves both, and a print job sent to the port reaches the overlay.
void ScenarioNetwork(int listenPort) {
    WriteWholeFile(InWork("zamri.ini"), "[Channel]\r\n1=0,COM8,9600,2,8,1,5,2,0,\r\n");
    const std::string name = "listen://127.0.0.1:" + std::to_string(listenPort);
    Program program("");
    HWND window = WaitProgramWindow();
    if (window == nullptr)
        return;
    DWORD pid = program.ProcessId();
    HWND sheet = OpenSheet(window, pid);
    if (sheet == nullptr)
        return;
    HWND page = CurrentPage(sheet);
    Click(page, 1046);
    Check(WaitFor([&] { return Enabled(page, 1048); }), "ticking did not enable the button");
    Click(page, 1048);
    HWND port = WaitDialogWithControl(pid, 1148);
    Check(port != nullptr, "the port settings dialog did not open");
    if (port == nullptr)
        return;
    Check(Enabled(port, 1149) && !Enabled(port, 1171), "a COM port without line settings or with senders");
    SetText(port, 1148, name.c_str());
    PostMessageA(port, WM_COMMAND, MAKEWPARAM(1148, CBN_EDITCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(port, 1148)));
    Check(WaitFor([&] {
              return !Enabled(port, 1149) && !Enabled(port, 1152) && !Enabled(port, 1153) &&
                     Enabled(port, 1171);
          }),
          "typing a network name did not grey out the line settings");
    SetText(port, 1171, "127.0.0.1 bogus");
    Screenshot("port-settings-network");
    PostMessageA(port, WM_COMMAND, IDOK, 0);
    std::string warning = AnswerMessageBox(pid, "port-settings-bad-sender");
    Check(warning.find("bogus") != std::string::npos, "sender warning: " + warning);
    Check(IsWindow(port) != FALSE, "the dialog closed on a malformed sender");
    SetText(port, 1171, "127.0.0.1");
    PostMessageA(port, WM_COMMAND, IDOK, 0);
    Check(WaitFor([&] { return !IsWindow(port); }), "OK did not close the port settings");
    Check(ControlText(page, 1095) == name, "the connection page shows " + ControlText(page, 1095));
    Screenshot("sheet-network-connection");
    CloseSheet(sheet, pid, PSBTN_OK);
    Check(SettingsValue("Channel", "1") == "1," + name + ",9600,2,8,1,5,2,0,",
          "channel 1 saved as " + SettingsValue("Channel", "1"));
    Check(SettingsValue("Channel 1", "AllowedSenders") == "127.0.0.1",
          "allowed senders saved as " + SettingsValue("Channel 1", "AllowedSenders"));
    Check(SettingsValue("Channel 2", "AllowedSenders") == "<missing>", "a section for channel 2 appeared");

    // The channel now listens: a till's print job reaches the overlay on camera 1.
    SendClient till;
    Check(WaitFor([&] { return till.Connect("127.0.0.1", listenPort) == 1; }), "nothing listens on the port");
    const char job[] = "\x1b@NET LINE\nTOTAL 1.00\n\x1dV\x42\x03\x0c";
    Check(till.SendBytes(job, static_cast<int>(sizeof job - 1)) == 1, "the print job could not be sent");
    till.Close();
    Check(WaitFor([] { return OverlayWrites().size() >= 3; }), "no lines from the network channel");
    std::vector<std::string> expected = {"1\t0\t1\tNET LINE", "1\t0\t0\tTOTAL 1.00", "1\t0\t2\t"};
    Check(OverlayWrites() == expected, "lines at the overlay: " + ReadWholeFile(InWork("overlay.log")));

    // Choosing a COM port again brings the line settings back.
    sheet = OpenSheet(window, pid);
    if (sheet == nullptr)
        return;
    page = CurrentPage(sheet);
    Click(page, 1048);
    port = WaitDialogWithControl(pid, 1148);
    if (port == nullptr)
        return;
    Check(ControlText(port, 1148) == name && !Enabled(port, 1149),
          "the dialog reopened without the network name");
    Select(port, 1148, 2);
    PostMessageA(port, WM_COMMAND, MAKEWPARAM(1148, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(port, 1148)));
    Check(WaitFor([&] { return Enabled(port, 1149) && !Enabled(port, 1171); }),
          "COM3 left the line settings grey");
    PostMessageA(port, WM_COMMAND, IDCANCEL, 0);
    Check(WaitFor([&] { return !IsWindow(port); }), "Cancel did not close the port settings");
    CloseSheet(sheet, pid, PSBTN_CANCEL);
    Exit(program, window);
}

int ListCount(HWND page, int listId) {
    return static_cast<int>(SendDlgItemMessageA(page, listId, LVM_GETITEMCOUNT, 0, 0));
}

// Selects a list view's first row as the Home key does.
void SelectFirstRow(HWND page, int listId) {
    HWND list = GetDlgItem(page, listId);
    PostMessageA(list, WM_KEYDOWN, VK_HOME, 0);
    Check(WaitFor([&] { return SendMessageA(list, LVM_GETSELECTEDCOUNT, 0, 0) == 1; }), "no row selected");
}

// The Exceptions page: a threshold that is no amount and a rule the receipt reader would leave
// out are refused with the reader's words; a new rule and the switches reach the file after OK,
// the other keys stay; a removed rule's section goes.
void ScenarioExceptions() {
    WriteWholeFile(InWork("zamri.ini"),
                   "[Channel]\r\n1=0,COM8,9600,2,8,1,5,0,1,0\r\n[Important]\r\ncount=1\r\n0=TOTAL\r\n"
                   "[Options]\r\nExceptionRefundThreshold=50\r\n"
                   "[Rule 1]\r\nName=Big refund\r\nLine=REFUND {amount}\r\nMatch=amount >= 100\r\n");
    Program program("");
    HWND window = WaitProgramWindow();
    if (window == nullptr)
        return;
    DWORD pid = program.ProcessId();
    HWND sheet = OpenSheet(window, pid);
    if (sheet == nullptr)
        return;
    HWND page = ShowPage(sheet, 2, 1214);
    Check(page != nullptr, "no Exceptions page");
    if (page == nullptr)
        return;
    Check(ListCount(page, 1214) == 1, "the rule list has " + std::to_string(ListCount(page, 1214)) + " rows");
    Check(Checked(page, 1201) && Checked(page, 1204), "the kinds are not ticked");
    Check(ControlText(page, 1208) == "50.00", "refund threshold shows " + ControlText(page, 1208));
    Check(!IsWindowVisible(GetDlgItem(page, 1209)), "no-sale shows a threshold");

    Click(page, 1204);
    Check(WaitFor([&] { return !Checked(page, 1204); }), "discount did not untick");
    SetText(page, 1208, "lots");
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    std::string refusal = AnswerMessageBox(pid, "");
    Check(refusal.rfind("[Options] ExceptionRefundThreshold: \"lots\" is no amount", 0) == 0,
          "threshold refusal says: " + refusal);
    Check(FindDialogWithControl(pid, kSheetTabs) == sheet, "the sheet closed with a bad threshold");
    SetText(page, 1208, "25");

    Click(page, 1215);
    HWND rule = WaitDialogWithControl(pid, 1221);
    Check(rule != nullptr, "Add did not open the rule dialog");
    if (rule == nullptr)
        return;
    SetText(rule, 1221, "Big sale");
    SetText(rule, 1225, "totl > 500");
    SetText(rule, 1227, "22:00-06:00");
    Click(rule, IDOK);
    refusal = AnswerMessageBox(pid, "rule-bad-match");
    Check(refusal.rfind("[Rule 2] Match: The condition \"totl > 500\" names no field", 0) == 0,
          "rule refusal says: " + refusal);
    Check(IsWindow(rule) != FALSE, "the rule dialog closed with a bad rule");
    SetText(rule, 1225, "total > 500 and tender = CASH");
    Screenshot("rule-dialog");
    Click(rule, IDOK);
    Check(WaitFor([&] { return !IsWindow(rule); }), "the rule dialog stayed open");
    Check(WaitFor([&] { return ListCount(page, 1214) == 2; }), "the new rule is not listed");
    Screenshot("sheet-exceptions");
    CloseSheet(sheet, pid, PSBTN_OK);
    Check(SettingsValue("Rule 2", "Name") == "Big sale" &&
              SettingsValue("Rule 2", "Match") == "total > 500 and tender = CASH" &&
              SettingsValue("Rule 2", "Hours") == "22:00-06:00" &&
              SettingsValue("Rule 2", "Line") == "<missing>",
          "the rule saved as " + Settings());
    Check(SettingsValue("Options", "ExceptionDiscount") == "0" &&
              SettingsValue("Options", "ExceptionRefundThreshold") == "25.00" &&
              SettingsValue("Options", "ExceptionVoid") == "<missing>",
          "the kinds saved as " + Settings());
    Check(SettingsValue("Rule 1", "Match") == "amount >= 100" && SettingsValue("Important", "0") == "TOTAL" &&
              SettingsValue("Channel", "1") == "0,COM8,9600,2,8,1,5,0,1,0",
          "other keys changed: " + Settings());

    sheet = OpenSheet(window, pid);
    if (sheet == nullptr)
        return;
    page = ShowPage(sheet, 2, 1214);
    SelectFirstRow(page, 1214);
    Click(page, 1217);
    Check(WaitFor([&] { return ListCount(page, 1214) == 1; }), "Remove did not remove the rule");
    CloseSheet(sheet, pid, PSBTN_OK);
    Check(SettingsValue("Rule 1", "Name") == "<missing>" && SettingsValue("Rule 2", "Name") == "Big sale",
          "after Remove: " + Settings());
    Exit(program, window);
}

// The Webhooks page: a digest time that is no HH:MM and a URL the start-up check would leave out
// are refused with its words; a new hook and the time reach the file after OK, the other keys
// (a hook's CAFile, WebhookTimeout) stay.
void ScenarioWebhooks() {
    WriteWholeFile(InWork("zamri.ini"),
                   "[Channel]\r\n1=0,COM8,9600,2,8,1,5,0,1,0\r\n"
                   "[Options]\r\nStoreName=Main Street\r\nWebhookTimeout=20\r\n"
                   "[Webhook 1]\r\nURL=http://127.0.0.1:9/a\r\nSecret=s1\r\nCAFile=store-ca.pem\r\n");
    Program program("");
    HWND window = WaitProgramWindow();
    if (window == nullptr)
        return;
    DWORD pid = program.ProcessId();
    HWND sheet = OpenSheet(window, pid);
    if (sheet == nullptr)
        return;
    HWND page = ShowPage(sheet, 3, 1246);
    Check(page != nullptr, "no Webhooks page");
    if (page == nullptr)
        return;
    Check(ControlText(page, 1241) == "Main Street", "store name shows " + ControlText(page, 1241));
    Check(ListCount(page, 1246) == 1, "the hook list has " + std::to_string(ListCount(page, 1246)) + " rows");

    SetText(page, 1243, "25:00");
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    std::string refusal = AnswerMessageBox(pid, "");
    Check(refusal == "\"25:00\" is no local time from 00:00 to 23:59; no digest is made.",
          "digest refusal says: " + refusal);
    Check(FindDialogWithControl(pid, kSheetTabs) == sheet, "the sheet closed with a bad digest time");
    SetText(page, 1243, "07:30");

    Click(page, 1247);
    HWND hook = WaitDialogWithControl(pid, 1261);
    Check(hook != nullptr, "Add did not open the webhook dialog");
    if (hook == nullptr)
        return;
    Check(Checked(hook, 1265) && !Checked(hook, 1268), "a new hook does not take exceptions alone");
    SetText(hook, 1261, "ftp://127.0.0.1/hook");
    SetText(hook, 1263, "k2");
    Click(hook, IDOK);
    refusal = AnswerMessageBox(pid, "hook-bad-url");
    Check(refusal.rfind("[Webhook 2] URL: ", 0) == 0, "URL refusal says: " + refusal);
    Check(IsWindow(hook) != FALSE, "the webhook dialog closed with a bad URL");
    SetText(hook, 1261, "http://127.0.0.1:9/hook");
    Click(hook, 1265);
    Click(hook, 1268);
    Check(WaitFor([&] { return !Checked(hook, 1265) && Checked(hook, 1268); }), "the events did not change");
    Screenshot("hook-dialog");
    Click(hook, IDOK);
    Check(WaitFor([&] { return !IsWindow(hook); }), "the webhook dialog stayed open");
    Check(WaitFor([&] { return ListCount(page, 1246) == 2; }), "the new hook is not listed");
    Screenshot("sheet-webhooks");
    CloseSheet(sheet, pid, PSBTN_OK);
    Check(SettingsValue("Webhook 2", "URL") == "http://127.0.0.1:9/hook" &&
              SettingsValue("Webhook 2", "Secret") == "k2" &&
              SettingsValue("Webhook 2", "Events") == "digest",
          "the hook saved as " + Settings());
    Check(SettingsValue("Options", "DigestTime") == "07:30" &&
              SettingsValue("Options", "WebhookTimeout") == "20" &&
              SettingsValue("Options", "StoreName") == "Main Street" &&
              SettingsValue("Webhook 1", "CAFile") == "store-ca.pem" &&
              SettingsValue("Webhook 1", "Events") == "<missing>",
          "other keys changed: " + Settings());
    Exit(program, window);
}

// The About page, opened through a second instance started with "/property".
void ScenarioAbout() {
    Program program("");
    HWND window = WaitProgramWindow();
    if (window == nullptr)
        return;
    Program second("/property", "second.log");
    Check(second.WaitExit() == 0, "the second instance did not end with 0");
    HWND sheet = WaitDialogWithControl(program.ProcessId(), kSheetTabs);
    Check(sheet != nullptr, "/property did not open the sheet in the running program");
    if (sheet == nullptr)
        return;
    HWND page = ShowPage(sheet, 4, 105);
    Check(page != nullptr, "no About page");
    if (page == nullptr)
        return;
    Check(ControlText(page, 105) == "Version 1.3.0.0 ", "version text: '" + ControlText(page, 105) + "'");
    Check(ControlText(page, 104) == "zamri - receipt text capture", "title text: " + ControlText(page, 104));
    Screenshot("sheet-about");
    CloseSheet(sheet, program.ProcessId(), PSBTN_CANCEL);
    Exit(program, window);
}

}  // namespace

int main(int argc, char** argv) {
    std::string scenario = argc > 1 ? argv[1] : "";
    StartWatchdog(200000);
    if (scenario == "serial") {
        ScenarioSerial();
    } else if (scenario == "detect") {
        ScenarioDetect();
    } else if (scenario == "filter") {
        ScenarioFilter();
    } else if (scenario == "tcp") {
        ScenarioTcp(argc > 2 ? std::atoi(argv[2]) : 0);
    } else if (scenario == "network") {
        ScenarioNetwork(argc > 2 ? std::atoi(argv[2]) : 0);
    } else if (scenario == "exceptions") {
        ScenarioExceptions();
    } else if (scenario == "webhooks") {
        ScenarioWebhooks();
    } else if (scenario == "about") {
        ScenarioAbout();
    } else {
        Check(false, "unknown scenario " + scenario);
    }
    return WriteResult();
}
