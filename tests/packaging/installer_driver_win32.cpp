// Clicks through the Windows installer and then the uninstaller as a user would, page by page,
// asking the calling script for a screenshot of each page: installer_driver.exe SETUP.exe
// The installer goes to its default folder in TCP mode and starts the program from its last
// page; the uninstaller must stop that running copy before it removes the files.
#include <windows.h>

#include <string>

#include "support/gui_driver_win32.h"
#include "zamri_version.h"

using namespace gui_driver;

namespace {

const char kSetupTitle[] = "zamri " ZAMRI_VERSION " Setup";
const char kUninstallTitle[] = "zamri " ZAMRI_VERSION " Uninstall";
const int kNextButton = 1;
const int kDirectoryEdit = 1019;
const int kComponentTree = 1032;

HWND CurrentPage(HWND wizard) {
    return FindWindowExA(wizard, nullptr, "#32770", nullptr);
}

// A direct child of the page whose text begins with prefix.
HWND ChildWithText(HWND page, const std::string& prefix) {
    for (HWND child = GetWindow(page, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if (WindowText(child).compare(0, prefix.size(), prefix) == 0)
            return child;
    }
    return nullptr;
}

// Waits for a page other than previous that satisfies isIt; a screenshot of the wizard follows.
HWND WaitPage(HWND wizard, HWND previous, const std::string& name, bool (*isIt)(HWND)) {
    HWND page = nullptr;
    bool shown = WaitFor([&] {
        page = CurrentPage(wizard);
        return page != nullptr && page != previous && IsWindowVisible(page) && isIt(page);
    });
    Check(shown, "page " + name + " did not come");
    if (!shown)
        return nullptr;
    // The page is drawn by its own thread; give it a moment before the picture is taken.
    Sleep(400);
    RECT box;
    GetWindowRect(wizard, &box);
    Screenshot(name + " " + std::to_string(box.left) + " " + std::to_string(box.top) + " " +
               std::to_string(box.right - box.left) + " " + std::to_string(box.bottom - box.top));
    return page;
}

void Next(HWND wizard) {
    HWND button = GetDlgItem(wizard, kNextButton);
    WaitFor([&] { return IsWindowEnabled(button) != FALSE; });
    PostMessageA(wizard, WM_COMMAND, MAKEWPARAM(kNextButton, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

// The wizard's title is its caption followed by the page's subcaption (a blank here).
HWND FindWizard(const char* title) {
    struct Search {
        std::string title;
        HWND found;
    } search = {title, nullptr};
    EnumWindows(
        [](HWND window, LPARAM parameter) -> BOOL {
            Search* s = reinterpret_cast<Search*>(parameter);
            char name[32] = {};
            GetClassNameA(window, name, sizeof name);
            if (std::string(name) != "#32770" ||
                WindowText(window).compare(0, s->title.size(), s->title) != 0)
                return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitWizard(const char* title) {
    HWND wizard = nullptr;
    WaitFor([&] { return (wizard = FindWizard(title)) != nullptr; });
    Check(wizard != nullptr, std::string("no window \"") + title + "\"");
    return wizard;
}

std::string RunEntry() {
    char value[1024] = {};
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "zamri",
                     RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return "";
    return value;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

HANDLE Start(const std::string& program) {
    std::string command = "\"" + program + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        Check(false, program + " could not be started");
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

void Install(const std::string& setup, std::string& folder) {
    HANDLE process = Start(setup);
    if (process == nullptr)
        return;
    HWND wizard = WaitWizard(kSetupTitle);
    if (wizard == nullptr)
        return;
    HWND page = WaitPage(wizard, nullptr, "installer-1-welcome",
                         [](HWND p) { return ChildWithText(p, "Welcome to") != nullptr; });
    Next(wizard);
    page = WaitPage(wizard, page, "installer-2-folder",
                    [](HWND p) { return GetDlgItem(p, kDirectoryEdit) != nullptr; });
    folder = ControlText(page, kDirectoryEdit);
    Check(EndsWith(folder, "\\AppData\\Local\\Programs\\zamri"), "default folder: " + folder);
    Next(wizard);
    page = WaitPage(wizard, page, "installer-3-components",
                    [](HWND p) { return GetDlgItem(p, kComponentTree) != nullptr; });
    Next(wizard);
    page = WaitPage(wizard, page, "installer-4-mode", [](HWND p) {
        HWND tcp = ChildWithText(p, "&TCP");
        HWND serial = ChildWithText(p, "&Serial");
        if (tcp == nullptr || serial == nullptr)
            return false;
        // The user picks TCP before the picture is taken.
        Check(SendMessageA(serial, BM_GETCHECK, 0, 0) == BST_CHECKED, "serial mode is not the default");
        SendMessageA(serial, BM_SETCHECK, BST_UNCHECKED, 0);
        SendMessageA(tcp, BM_SETCHECK, BST_CHECKED, 0);
        return true;
    });
    Next(wizard);
    page = WaitPage(wizard, page, "installer-5-finish", [](HWND p) {
        HWND run = ChildWithText(p, "Start zamri now");
        return ChildWithText(p, "Completing") != nullptr && run != nullptr &&
               SendMessageA(run, BM_GETCHECK, 0, 0) == BST_CHECKED;
    });
    Next(wizard);
    Check(WaitForSingleObject(process, kPatienceMs) == WAIT_OBJECT_0, "the installer did not end");
    CloseHandle(process);

    Check(RunEntry() == "\"" + folder + "\\zamri.exe\" /tcp", "Run entry: " + RunEntry());
    Check(WaitFor([] { return FindWindowA("zamri", nullptr) != nullptr; }),
          "the finish page did not start zamri");
}

void Uninstall(const std::string& folder) {
    HWND program = FindWindowA("zamri", nullptr);
    DWORD programId = 0;
    GetWindowThreadProcessId(program, &programId);
    HANDLE running = OpenProcess(SYNCHRONIZE, FALSE, programId);

    HANDLE process = Start(folder + "\\uninstall.exe");
    if (process != nullptr)
        CloseHandle(process);
    HWND wizard = WaitWizard(kUninstallTitle);
    if (wizard == nullptr)
        return;
    HWND page = WaitPage(wizard, nullptr, "uninstaller-1-confirm",
                         [](HWND p) { return ChildWithText(p, "zamri will be uninstalled") != nullptr; });
    Next(wizard);
    page = WaitPage(wizard, page, "uninstaller-2-components",
                    [](HWND p) { return GetDlgItem(p, kComponentTree) != nullptr; });
    Next(wizard);
    // The last page closes with its Close button once the work is done.
    HWND button = GetDlgItem(wizard, kNextButton);
    Check(WaitFor([&] { return ControlText(wizard, kNextButton) == "&Close" && IsWindowEnabled(button); }),
          "the uninstaller did not finish");
    Next(wizard);
    Check(WaitFor([&] { return !IsWindow(wizard); }), "the uninstaller did not end");

    Check(running != nullptr && WaitForSingleObject(running, 0) == WAIT_OBJECT_0,
          "the running zamri was not stopped");
    if (running != nullptr)
        CloseHandle(running);
    Check(!Exists(folder + "\\zamri.exe"), "zamri.exe is still there");
    Check(RunEntry().empty(), "the Run entry is still there: " + RunEntry());
}

}  // namespace

int main(int argc, char** argv) {
    StartWatchdog(150000);
    if (argc < 2) {
        Check(false, "usage: installer_driver.exe SETUP.exe");
        return WriteResult();
    }
    std::string folder;
    Install(argv[1], folder);
    if (!folder.empty())
        Uninstall(folder);
    return WriteResult();
}
