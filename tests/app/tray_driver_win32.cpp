// Drives the real tray program inside a wine virtual desktop, one scenario per run:
//   tray_driver.exe SCENARIO
// started in a directory that holds zamri.exe, its libraries and menu_probe.dll. The program
// is found by its window class, clicked by posting its tray callback message, and its menu is
// read through menu_probe.dll. Writes "result.txt" in that directory: "PASS", or one line per
// failure. A screenshot is asked of the calling script by creating "shot.request" (holding
// the picture's name) and waiting for "shot.done".
#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "support/gui_driver_win32.h"

using namespace gui_driver;

namespace {

constexpr UINT kTrayCallback = WM_USER + 100;
constexpr UINT kTrayIconId = 100;
int CountProgramWindows() {
    int count = 0;
    EnumWindows(
        [](HWND window, LPARAM counter) -> BOOL {
            char name[64] = {};
            GetClassNameA(window, name, sizeof name);
            if (std::strcmp(name, "zamri") == 0)
                ++*reinterpret_cast<int*>(counter);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

// The notification area answers a modification of an icon it holds, and refuses one it does not.
bool TrayIconShown(HWND window) {
    NOTIFYICONDATAA data = {};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = window;
    data.uID = kTrayIconId;
    return Shell_NotifyIconA(NIM_MODIFY, &data) != 0;
}

bool InstallProbe(HWND window, const char* procedure, int kind) {
    HMODULE probe = LoadLibraryA("menu_probe.dll");
    if (probe == nullptr)
        return false;
    auto hook = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(probe, procedure)));
    DWORD thread = GetWindowThreadProcessId(window, nullptr);
    return hook != nullptr && SetWindowsHookExA(kind, hook, probe, thread) != nullptr;
}

// The program's menus, recorded as it builds them.
bool InstallMenuProbe(HWND window) {
    return InstallProbe(window, "MenuProbeHook", WH_CALLWNDPROC);
}
// The commands that reach the program's window through its queue.
bool InstallCommandProbe(HWND window) {
    return InstallProbe(window, "CommandProbeHook", WH_GETMESSAGE);
}

int RecordedCommands(unsigned command) {
    std::string content = ReadWholeFile(InWork("menu.txt"));
    std::string line = "command\t" + std::to_string(command) + "\n";
    int count = 0;
    for (size_t at = content.find(line); at != std::string::npos; at = content.find(line, at + 1))
        ++count;
    return count;
}
using MenuItems = std::vector<std::pair<unsigned, std::string>>;

// Every popup menu the program has shown so far, as the probe recorded them.
std::vector<MenuItems> RecordedPopups() {
    std::vector<MenuItems> popups;
    std::string content = ReadWholeFile(InWork("menu.txt"));
    MenuItems current;
    bool open = false;
    size_t position = 0;
    while (position < content.size()) {
        size_t end = content.find('\n', position);
        if (end == std::string::npos)
            break;
        std::string line = content.substr(position, end - position);
        position = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line == "popup") {
            current.clear();
            open = true;
        } else if (line == "end") {
            if (open)
                popups.push_back(current);
            open = false;
        } else if (open) {
            size_t tab = line.find('\t');
            current.emplace_back(std::strtoul(line.substr(0, tab).c_str(), nullptr, 10),
                                 tab == std::string::npos ? "" : line.substr(tab + 1));
        }
    }
    return popups;
}

std::string Describe(const MenuItems& items) {
    std::string text;
    for (const auto& item : items)
        text += std::to_string(item.first) + ":" + item.second + " | ";
    return text;
}

HWND VisibleMenuWindow() {
    HWND menu = FindWindowA("#32768", nullptr);
    return menu != nullptr && IsWindowVisible(menu) ? menu : nullptr;
}

// Clicks the tray icon and waits for the menu to be on screen; returns the items it shows.
MenuItems OpenTrayMenu(HWND window, LPARAM button) {
    size_t before = RecordedPopups().size();
    PostMessageA(window, kTrayCallback, kTrayIconId, button);
    bool shown = WaitFor([&] { return RecordedPopups().size() > before && VisibleMenuWindow() != nullptr; });
    Check(shown, "no menu after button message " + std::to_string(button));
    std::vector<MenuItems> popups = RecordedPopups();
    Check(popups.size() == before + 1,
          "one click showed " + std::to_string(popups.size() - before) + " menus");
    return shown ? popups.back() : MenuItems();
}

void PressKeyInMenu(UINT key) {
    HWND menu = VisibleMenuWindow();
    if (menu == nullptr)
        return;
    PostMessageA(menu, WM_KEYDOWN, key, 0);
    PostMessageA(menu, WM_KEYUP, key, 0);
}

// A visible top-level dialog (class #32770) with exactly this title (and, when text is given,
// a message box with exactly this text), or nullptr. Capture threads may show boxes of their
// own, so titles are compared exactly.
HWND VisibleDialog(const char* title, const char* text = nullptr) {
    struct Search {
        const char* title;
        const char* text;
        HWND found;
    } search = {title, text, nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            Search* s = reinterpret_cast<Search*>(data);
            char name[64] = {};
            char caption[256] = {};
            GetClassNameA(window, name, sizeof name);
            if (std::strcmp(name, "#32770") != 0 || !IsWindowVisible(window))
                return TRUE;
            GetWindowTextA(window, caption, sizeof caption);
            if (std::strcmp(caption, s->title) != 0)
                return TRUE;
            if (s->text != nullptr) {
                char body[512] = {};
                GetDlgItemTextA(window, 0xFFFF, body, sizeof body);
                if (std::strcmp(body, s->text) != 0)
                    return TRUE;
            }
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A visible dialog owned by owner (a question the owner asks), or nullptr.
HWND OwnedDialog(HWND owner) {
    struct Search {
        HWND owner;
        HWND found;
    } search = {owner, nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            Search* s = reinterpret_cast<Search*>(data);
            char name[64] = {};
            GetClassNameA(window, name, sizeof name);
            if (std::strcmp(name, "#32770") != 0 || !IsWindowVisible(window))
                return TRUE;
            if (GetWindow(window, GW_OWNER) != s->owner)
                return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitDialog(const char* title, const char* text = nullptr) {
    HWND dialog = nullptr;
    Check(WaitFor([&] { return (dialog = VisibleDialog(title, text)) != nullptr; }),
          std::string("no dialog ") + title + (text != nullptr ? std::string(": ") + text : ""));
    return dialog;
}

bool WaitDialogGone(const char* title) {
    return WaitFor([&] { return VisibleDialog(title) == nullptr; });
}

void ClickButton(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    Check(button != nullptr, "no button " + std::to_string(id));
    if (button != nullptr)
        PostMessageA(button, BM_CLICK, 0, 0);
}

// Whether dialog 109's port list holds exactly these entries, in this order (the entries are
// found by text: reading them back across processes is not reliable under wine).
bool PortListIs(HWND dialog, const std::vector<std::string>& expected) {
    HWND list = GetDlgItem(dialog, 1104);
    if (SendMessageA(list, CB_GETCOUNT, 0, 0) != static_cast<LRESULT>(expected.size()))
        return false;
    for (size_t i = 0; i < expected.size(); ++i) {
        LRESULT found = SendMessageA(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                     reinterpret_cast<LPARAM>(expected[i].c_str()));
        if (found != static_cast<LRESULT>(i))
            return false;
    }
    return true;
}

// Selects an entry as the user would: the list changes, then tells its dialog.
void SelectPort(HWND dialog, int position) {
    HWND list = GetDlgItem(dialog, 1104);
    SendMessageA(list, CB_SETCURSEL, position, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(1104, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

// Types a file name into the open save dialog and confirms it; returns the save dialog.
HWND ChooseSaveFile(const std::string& path) {
    HWND dialog = WaitDialog("Save Binary Dump As");
    if (dialog == nullptr)
        return nullptr;
    HWND name = GetDlgItem(dialog, 0x47c);  // the explorer-style file name box
    if (name == nullptr)
        name = GetDlgItem(dialog, 0x480);
    Check(name != nullptr, "no file name box in the save dialog");
    SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    ClickButton(dialog, IDOK);
    return dialog;
}

// The overlay library was opened first and closed last, once.
void CheckOverlayOpenedAndClosed(const std::string& what, const char* name = "overlay.log") {
    std::string log = ReadWholeFile(InWork(name));
    Check(log.compare(0, 8, "OV_open\t") == 0, what + ": overlay record does not start with OV_open: " + log);
    size_t lastLine = log.rfind('\n', log.size() >= 2 ? log.size() - 2 : 0);
    std::string last = lastLine == std::string::npos ? log : log.substr(lastLine + 1);
    Check(last.compare(0, 9, "OV_close\t") == 0,
          what + ": overlay record does not end with OV_close: " + log);
    Check(log.find("OV_close") == log.rfind("OV_close"), what + ": overlay closed more than once");
}

void ExpectMenu(const MenuItems& items, const MenuItems& expected, const std::string& what) {
    Check(items == expected, what + ": menu is " + Describe(items) + " expected " + Describe(expected));
}

// Start, the tray icon, single instance with and without "/property", Exit.
void ScenarioInstances() {
    Program first("");
    HWND window = WaitProgramWindow();
    Check(window != nullptr, "no window of class zamri");
    if (window == nullptr)
        return;
    Check(TrayIconShown(window), "no tray icon");
    Check(!IsWindowVisible(window), "the program's window is visible");

    Check(InstallCommandProbe(window), "no command probe");

    Program second("", "second.log");
    Check(second.WaitExit() == 0, "second instance did not end with 0");
    Program third("/property", "third.log");
    Check(third.WaitExit() == 0, "second instance with /property did not end with 0");
    // A second instance is built and torn down like any run, with nothing started in between.
    CheckOverlayOpenedAndClosed("second instance", "second.log");
    CheckOverlayOpenedAndClosed("second instance with /property", "third.log");
    // The copy started with "/property" asked the running one to open its property sheet.
    Check(WaitFor([] { return RecordedCommands(102) == 1; }), "the running copy got no command 102");
    Check(CountProgramWindows() == 1, "more than one program window");
    Check(FindWindowA("zamri", nullptr) == window, "the first window is gone");
    Check(TrayIconShown(window), "the first instance's icon is gone");

    PostMessageA(window, WM_COMMAND, 103, 0);
    Check(first.WaitExit() == 0, "Exit did not end the program with 0");
    Check(!TrayIconShown(window), "tray icon left behind after Exit");
    CheckOverlayOpenedAndClosed("exit");
}

// A language file without "title": the program ends at once, silently, with 0.
void ScenarioNoTitle() {
    WriteWholeFile(InWork("zamri.lng"), "version=Version\r\n[Menu]\r\nexit=Quit\r\n");
    Program program("");
    // The window exists for the moment its creation is refused, but it never gets an icon.
    bool sawIcon = false;
    WaitFor([&] {
        HWND window = FindWindowA("zamri", nullptr);
        if (window != nullptr && TrayIconShown(window))
            sawIcon = true;
        return program.Ended();
    });
    Check(program.WaitExit(0) == 0, "did not end with exit code 0");
    Check(!sawIcon, "a tray icon appeared");
    Check(FindWindowA("zamri", nullptr) == nullptr, "a program window is left");
    CheckOverlayOpenedAndClosed("no title");
}

// The localized menu in serial mode; Exit chosen in the menu ends the program.
void ScenarioMenuSerial() {
    CopyFileA(InWork("zamri-de.lng").c_str(), InWork("zamri.lng").c_str(), FALSE);
    Program program("");
    HWND window = WaitProgramWindow();
    if (window == nullptr || !InstallMenuProbe(window)) {
        Check(false, "no window or menu probe");
        return;
    }
    // Mouse messages other than a button press open nothing; the right button press after
    // them shows the one menu.
    PostMessageA(window, kTrayCallback, kTrayIconId, WM_MOUSEMOVE);
    PostMessageA(window, kTrayCallback, kTrayIconId, WM_LBUTTONUP);
    PostMessageA(window, kTrayCallback, kTrayIconId, WM_RBUTTONDBLCLK);
    MenuItems items = OpenTrayMenu(window, WM_RBUTTONDOWN);
    ExpectMenu(items, {{102, "&Eigenschaften..."}, {40006, "&Binaer-Mitschnitt"}, {0, ""}, {103, "&Beenden"}},
               "serial menu");
    Screenshot("tray-menu-serial");
    PressKeyInMenu(VK_ESCAPE);
    Check(WaitFor([] { return VisibleMenuWindow() == nullptr; }), "Escape left the menu open");

    // Built afresh: a left click shows the same menu again; Exit from it ends the program.
    items = OpenTrayMenu(window, WM_LBUTTONDOWN);
    ExpectMenu(items, {{102, "&Eigenschaften..."}, {40006, "&Binaer-Mitschnitt"}, {0, ""}, {103, "&Beenden"}},
               "second serial menu");
    PressKeyInMenu(VK_UP);  // from no selection, up wraps to the last item: Exit
    PressKeyInMenu(VK_RETURN);
    Check(program.WaitExit() == 0, "Exit from the menu did not end the program with 0");
    Check(!TrayIconShown(window), "tray icon left behind after Exit");
    CheckOverlayOpenedAndClosed("serial menu exit");
}

// In TCP mode the menu has no Binary Dump item; without a language file the English texts.
void ScenarioMenuTcp() {
    Program program("/TCP");
    HWND window = WaitProgramWindow();
    if (window == nullptr || !InstallMenuProbe(window)) {
        Check(false, "no window or menu probe");
        return;
    }
    MenuItems items = OpenTrayMenu(window, WM_RBUTTONDOWN);
    ExpectMenu(items, {{102, "&Properties..."}, {0, ""}, {103, "E&xit"}}, "TCP menu");
    Screenshot("tray-menu-tcp");
    PressKeyInMenu(VK_UP);
    PressKeyInMenu(VK_RETURN);
    Check(program.WaitExit() == 0, "Exit from the menu did not end the program with 0");
    CheckOverlayOpenedAndClosed("tcp menu exit");
}

// TCP mode end to end: the Linux zamri-send talks to the Windows program; Exit afterwards.
void ScenarioTcpEndToEnd() {
    Program program("/tcp");
    HWND window = WaitProgramWindow();
    Check(window != nullptr, "no window of class zamri");
    if (window == nullptr)
        return;
    // zamri.ini (written by the script) names the port; the sender runs on camera 2.
    if (AskScript("send", "STORE 0042  TILL 3\nBREAD      1.20\nTOTAL      1.20\n")) {
        std::vector<std::string> expected = {"1\t1\t0\tSTORE 0042  TILL 3", "1\t1\t0\tBREAD      1.20",
                                             "1\t1\t2\tTOTAL      1.20"};
        bool arrived = WaitFor([&] { return OverlayWrites().size() >= expected.size(); });
        Check(arrived && OverlayWrites() == expected,
              "lines at the overlay: " + ReadWholeFile(InWork("overlay.log")));
    }
    PostMessageA(window, WM_COMMAND, 103, 0);
    Check(program.WaitExit() == 0, "Exit did not end the program with 0");
    CheckOverlayOpenedAndClosed("tcp end to end");
}

// With the web page on (the script sets HttpPort): a Linux client gets the live stream and a
// Linux Chromium shows the lines the Linux sender sent; the menu begins with "Live View".
void ScenarioWeb() {
    Program program("/tcp");
    HWND window = WaitProgramWindow();
    if (window == nullptr || !InstallMenuProbe(window)) {
        Check(false, "no window or menu probe");
        return;
    }
    if (AskScript("send", "STORE 0042  TILL 3\nK\xE4se      1.20\nTOTAL      1.20\n") &&
        AskScript("web", "", 4 * kPatienceMs)) {
        std::string verdict = ReadWholeFile(InWork("web.result"));
        Check(verdict == "PASS", "the page seen from Linux: " + verdict);
    }
    MenuItems items = OpenTrayMenu(window, WM_RBUTTONDOWN);
    ExpectMenu(items, {{40010, "Live View"}, {102, "&Properties..."}, {0, ""}, {103, "E&xit"}},
               "menu with the page");
    Screenshot("tray-menu-live-view");
    PressKeyInMenu(VK_UP);
    PressKeyInMenu(VK_RETURN);
    Check(program.WaitExit() == 0, "Exit from the menu did not end the program with 0");
    CheckOverlayOpenedAndClosed("web page");
}

// The visible message boxes titled "zamri", by the text they show.
std::vector<std::pair<HWND, std::string>> ProgramMessages() {
    std::vector<std::pair<HWND, std::string>> found;
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            char name[64] = {};
            char caption[64] = {};
            GetClassNameA(window, name, sizeof name);
            GetWindowTextA(window, caption, sizeof caption);
            if (std::strcmp(name, "#32770") == 0 && IsWindowVisible(window) &&
                std::strcmp(caption, "zamri") == 0) {
                char body[512] = {};
                GetDlgItemTextA(window, 0xFFFF, body, sizeof body);
                reinterpret_cast<std::vector<std::pair<HWND, std::string>>*>(data)->emplace_back(window,
                                                                                                 body);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// A journal folder that cannot be made and a collector that refuses (zamri.ini, written by the
// script) are each shown once, in a message box of their own, while capture goes on: lines sent
// while a message waits for the user reach the overlay.
void ScenarioTrouble() {
    Program program("/tcp");
    HWND window = WaitProgramWindow();
    Check(window != nullptr, "no window of class zamri");
    if (window == nullptr)
        return;
    std::vector<std::string> shown;
    for (int box = 0; box < 2; ++box) {
        std::vector<std::pair<HWND, std::string>> messages;
        if (!WaitFor([&] { return !(messages = ProgramMessages()).empty(); })) {
            Check(false, "message " + std::to_string(box + 1) + " was not shown");
            break;
        }
        shown.push_back(messages.front().second.substr(0, 8));
        if (box == 0) {
            Screenshot("trouble-message");
            if (AskScript("send", "STORE 0042  TILL 3\nTOTAL      1.20\n"))
                Check(WaitFor([&] { return OverlayWrites().size() == 2; }),
                      "lines sent while the message was open: " + ReadWholeFile(InWork("overlay.log")));
        }
        ClickButton(messages.front().first, IDOK);
        HWND closed = messages.front().first;
        WaitFor([&] { return !IsWindow(closed) || !IsWindowVisible(closed); });
    }
    std::sort(shown.begin(), shown.end());
    Check(shown == std::vector<std::string>({"Journal:", "Syslog: "}),
          "the messages were not one about the journal and one about the export");
    // Trouble that goes on is not shown again.
    if (AskScript("send", "BREAD      1.20\nTOTAL      1.20\n"))
        Check(WaitFor([&] { return OverlayWrites().size() == 4; }),
              "lines after the messages did not arrive");
    Sleep(1500);
    Check(ProgramMessages().empty(),
          "a further message: " + (ProgramMessages().empty() ? "" : ProgramMessages().front().second));
    PostMessageA(window, WM_COMMAND, 103, 0);
    Check(program.WaitExit() == 0, "Exit did not end the program with 0");
    CheckOverlayOpenedAndClosed("trouble");
}

// Writes bytes into the printer line's other end (the script maps it to COM8), kept open for
// the whole run at the channel's line settings.
bool FeedPrinterLine(const std::string& bytes) {
    static HANDLE port = INVALID_HANDLE_VALUE;
    if (port == INVALID_HANDLE_VALUE) {
        port =
            CreateFileA("\\\\.\\COM8", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        DCB line = {};
        line.DCBlength = sizeof line;
        if (port != INVALID_HANDLE_VALUE && GetCommState(port, &line)) {
            line.BaudRate = 9600;
            line.ByteSize = 8;
            line.Parity = NOPARITY;
            line.StopBits = ONESTOPBIT;
            line.fBinary = TRUE;
            SetCommState(port, &line);
        }
    }
    if (port == INVALID_HANDLE_VALUE) {
        Check(false, "cannot open COM8, the printer line's other end");
        return false;
    }
    // (wine reports 0 bytes written to a pseudo-terminal that took them all.)
    DWORD written = 0;
    bool ok = WriteFile(port, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0;
    Check(ok, "writing to COM8 failed");
    return ok;
}

// Chooses the menu's Binary Dump item (the second) with the keyboard.
void ChooseBinaryDump(HWND window, const std::string& expectedText) {
    MenuItems items = OpenTrayMenu(window, WM_RBUTTONDOWN);
    Check(items.size() == 4 && items[1] == std::make_pair(40006u, expectedText),
          "Binary Dump item: " + Describe(items) + " expected " + expectedText);
    PressKeyInMenu(VK_DOWN);
    PressKeyInMenu(VK_DOWN);
    PressKeyInMenu(VK_RETURN);
}

size_t FileSize(const std::string& path) {
    return ReadWholeFile(path).size();
}

// Serial mode end to end over a printer line (COM7, whose other end is COM8): the lines reach
// the overlay; a Binary Dump started through dialog 109 and the save dialog records the raw
// bytes; the stop question ends it; Exit stops capture.
void ScenarioSerial() {
    Program program("");
    HWND window = WaitProgramWindow();
    if (window == nullptr || !InstallMenuProbe(window)) {
        Check(false, "no window or menu probe");
        return;
    }
    // The capture thread opens its port after the window exists, and an opening port drops what
    // was waiting in it: feed a line until one arrives, then end that receipt and wait for it.
    bool ready = false;
    for (int attempt = 0; attempt < 30 && !ready; ++attempt) {
        if (!FeedPrinterLine("READY\r\n"))
            return;
        ready = WaitFor([] { return !OverlayWrites().empty(); }, 1000);
    }
    Check(ready, "no line from the printer line arrived");
    FeedPrinterLine("SYNC\r\n\f");
    Check(WaitFor([] {
              std::vector<std::string> writes = OverlayWrites();
              return writes.size() >= 2 && writes.back() == "1\t0\t2\t" &&
                     writes[writes.size() - 2] == "1\t0\t0\tSYNC";
          }),
          "the first receipt did not end: " + ReadWholeFile(InWork("overlay.log")));
    size_t base = OverlayWrites().size();

    if (!FeedPrinterLine("STORE 0042\r\nTOTAL 1.20\r\n\f"))
        return;
    std::vector<std::string> expected = {"1\t0\t1\tSTORE 0042", "1\t0\t0\tTOTAL 1.20", "1\t0\t2\t"};
    auto receipt = [&] {
        std::vector<std::string> writes = OverlayWrites();
        return std::vector<std::string>(writes.begin() + static_cast<long>(std::min(base, writes.size())),
                                        writes.end());
    };
    Check(WaitFor([&] { return receipt().size() >= 3; }) && receipt() == expected,
          "serial lines at the overlay: " + ReadWholeFile(InWork("overlay.log")));

    // A dump into a file that does not exist yet.
    std::string dumpPath = InWork("dump.txt");
    ChooseBinaryDump(window, "&Binary Dump");
    HWND dialog = WaitDialog("Binary Dump");
    if (dialog == nullptr)
        return;
    Check(PortListIs(dialog, {"COM7"}), "dialog 109 does not offer exactly COM7");
    Screenshot("binary-dump-dialog");
    SelectPort(dialog, 0);
    ClickButton(dialog, IDOK);
    ChooseSaveFile(dumpPath);
    Check(WaitDialogGone("Binary Dump"), "dialog 109 did not close after a file was chosen");

    std::string raw = "DUMP\x1b@\x1d!\x11\r\n\x80\xff\xe9 LINE\r\n\f";
    raw.push_back('\0');
    raw += "END\r\n";
    FeedPrinterLine(raw);
    Check(WaitFor([&] { return FileSize(dumpPath) >= raw.size(); }) && ReadWholeFile(dumpPath) == raw,
          "dump file holds " + std::to_string(FileSize(dumpPath)) + " bytes, not the " +
              std::to_string(raw.size()) + " sent");

    // The item now stops the dump; No keeps it running.
    ChooseBinaryDump(window, "Stop &Binary Dump");
    HWND question = WaitDialog("Warning", "Do you stop Binary Dump?");
    if (question == nullptr)
        return;
    ClickButton(question, IDNO);
    Check(WaitDialogGone("Warning"), "the question stayed open");
    ChooseBinaryDump(window, "Stop &Binary Dump");
    question = WaitDialog("Warning", "Do you stop Binary Dump?");
    if (question == nullptr)
        return;
    ClickButton(question, IDYES);
    Check(WaitDialogGone("Warning"), "the question stayed open");
    // The box is gone before the tray acts on its answer; a message sent now is handled after.
    Check(SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, nullptr) != 0, "the tray hangs");

    // After the stop, bytes still reach the overlay but no longer the file.
    size_t linesBefore = OverlayWrites().size();
    FeedPrinterLine("AFTER\r\n");
    Check(WaitFor([&] { return OverlayWrites().size() > linesBefore; }), "no line after the dump stopped");
    Check(ReadWholeFile(dumpPath) == raw, "bytes reached the dump file after the stop");

    // A second dump into the same, now existing, file: the overwrite question, then the file
    // holds only the second dump's bytes.
    ChooseBinaryDump(window, "&Binary Dump");
    dialog = WaitDialog("Binary Dump");
    if (dialog == nullptr)
        return;
    ClickButton(dialog, IDOK);  // the remembered selection, COM7
    HWND saveDialog = ChooseSaveFile(dumpPath);
    HWND overwrite = nullptr;
    Check(WaitFor([&] { return (overwrite = OwnedDialog(saveDialog)) != nullptr; }), "no overwrite question");
    if (overwrite != nullptr)
        ClickButton(overwrite, IDYES);
    Check(WaitDialogGone("Binary Dump"), "dialog 109 did not close after the overwrite");
    Check(WaitFor([&] { return FileSize(dumpPath) == 0; }), "the existing file was not emptied");
    FeedPrinterLine("SECOND\r\n");
    Check(WaitFor([&] { return ReadWholeFile(dumpPath) == "SECOND\r\n"; }),
          "second dump holds: " + ReadWholeFile(dumpPath));

    PostMessageA(window, WM_COMMAND, 103, 0);
    Check(program.WaitExit() == 0, "Exit did not end the program with 0");
    CheckOverlayOpenedAndClosed("serial exit");
}

// Dialog 109 offers the enabled ports among the first 16 records; with no running capture
// for the chosen port, OK reports "not connecting" and the dialog stays open.
void ScenarioDumpRefused() {
    Program program("");
    HWND window = WaitProgramWindow();
    if (window == nullptr || !InstallMenuProbe(window)) {
        Check(false, "no window or menu probe");
        return;
    }
    ChooseBinaryDump(window, "&Binary Dump");
    HWND dialog = WaitDialog("Binary Dump");
    if (dialog == nullptr)
        return;
    Check(PortListIs(dialog, {"COM21", "COM23"}), "dialog 109 does not offer exactly COM21 and COM23");
    SelectPort(dialog, 1);
    ClickButton(dialog, IDOK);
    ChooseSaveFile(InWork("refused.txt"));
    HWND error = WaitDialog("error", "not connecting");
    if (error == nullptr)
        return;
    ClickButton(error, IDOK);
    Check(WaitFor([&] { return VisibleDialog("error", "not connecting") == nullptr; }),
          "the message stayed open");
    Check(VisibleDialog("Binary Dump") != nullptr, "dialog 109 closed after the refusal");
    ClickButton(dialog, IDCANCEL);
    Check(WaitDialogGone("Binary Dump"), "Cancel did not close dialog 109");
    // No dump runs: the item still starts one; the remembered position is the second port.
    ChooseBinaryDump(window, "&Binary Dump");
    dialog = WaitDialog("Binary Dump");
    if (dialog != nullptr) {
        Check(SendMessageA(GetDlgItem(dialog, 1104), CB_GETCURSEL, 0, 0) == 1, "position not remembered");
        ClickButton(dialog, IDCANCEL);
        WaitDialogGone("Binary Dump");
    }
    PostMessageA(window, WM_COMMAND, 103, 0);
    Check(program.WaitExit() == 0, "Exit did not end the program with 0");
}

// The only copy started with "/property" shows its tray icon and then opens the property sheet.
void ScenarioPropertyAtStart() {
    Program program("/property");
    HWND window = WaitProgramWindow();
    Check(window != nullptr, "no window of class zamri");
    if (window == nullptr)
        return;
    Check(TrayIconShown(window), "no tray icon");
    HWND sheet = WaitDialog("zamri Properties");
    if (sheet == nullptr)
        return;
    Screenshot("property-sheet");
    ClickButton(sheet, IDCANCEL);
    Check(WaitFor([] { return VisibleDialog("zamri Properties") == nullptr; }), "Cancel left the sheet open");
    PostMessageA(window, WM_COMMAND, 103, 0);
    Check(program.WaitExit() == 0, "Exit did not end the program with 0");
}

}  // namespace

int main(int argc, char** argv) {
    std::string scenario = argc > 1 ? argv[1] : "";
    StartWatchdog(120000);
    SetEnvironmentVariableA("MENU_PROBE_FILE", InWork("menu.txt").c_str());
    if (scenario == "instances") {
        ScenarioInstances();
    } else if (scenario == "notitle") {
        ScenarioNoTitle();
    } else if (scenario == "menu-serial") {
        ScenarioMenuSerial();
    } else if (scenario == "menu-tcp") {
        ScenarioMenuTcp();
    } else if (scenario == "tcp-e2e") {
        ScenarioTcpEndToEnd();
    } else if (scenario == "web") {
        ScenarioWeb();
    } else if (scenario == "serial") {
        ScenarioSerial();
    } else if (scenario == "dump-refused") {
        ScenarioDumpRefused();
    } else if (scenario == "trouble") {
        ScenarioTrouble();
    } else if (scenario == "property-start") {
        ScenarioPropertyAtStart();
    } else {
        Check(false, "unknown scenario " + scenario);
    }
    return WriteResult();
}
