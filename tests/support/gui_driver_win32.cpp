#include "support/gui_driver_win32.h"
#include "support/wait.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace gui_driver {

namespace {
std::vector<std::string> failures;
// Every program started, so that a scenario that runs out of time leaves none behind.
std::vector<HANDLE> startedProcesses;
int watchdogMilliseconds = 0;

DWORD WINAPI Watchdog(void*) {
    Sleep(static_cast<DWORD>(watchdogMilliseconds));
    failures.push_back("the scenario did not finish within " + std::to_string(watchdogMilliseconds / 1000) +
                       " s");
    for (HANDLE process : startedProcesses)
        TerminateProcess(process, 99);
    WriteResult();
    ExitProcess(1);
}
}  // namespace

void StartWatchdog(int milliseconds) {
    watchdogMilliseconds = milliseconds;
    CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr);
}

void Check(bool ok, const std::string& what) {
    if (!ok)
        failures.push_back(what);
}

int WriteResult() {
    std::string result;
    for (const std::string& failure : failures)
        result += failure + "\n";
    WriteWholeFile(InWork("result.txt"), failures.empty() ? "PASS\n" : result);
    return failures.empty() ? 0 : 1;
}

bool WaitFor(const std::function<bool()>& condition, int milliseconds) {
    return testing_support::WaitUntil(condition, milliseconds);
}

std::string ReadWholeFile(const std::string& path) {
    std::string content;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return content;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        content.append(chunk, got);
    std::fclose(file);
    return content;
}

void WriteWholeFile(const std::string& path, const std::string& content) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return;
    std::fwrite(content.data(), 1, content.size(), file);
    std::fclose(file);
}

std::string InWork(const char* name) {
    char directory[MAX_PATH];
    GetCurrentDirectoryA(sizeof directory, directory);
    return std::string(directory) + "\\" + name;
}

Program::Program(const std::string& arguments, const char* overlayLog) {
    SetEnvironmentVariableA("OVTEXT_LOG", InWork(overlayLog).c_str());
    std::string command = "\"" + InWork("zamri.exe") + "\"" + (arguments.empty() ? "" : " " + arguments);
    std::vector<char> line(command.begin(), command.end());
    line.push_back(0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    started_ = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &process_) != 0;
    Check(started_, "zamri.exe " + arguments + " could not be started");
    if (started_)
        startedProcesses.push_back(process_.hProcess);
}

Program::~Program() {
    if (!started_)
        return;
    startedProcesses.erase(std::remove(startedProcesses.begin(), startedProcesses.end(), process_.hProcess),
                           startedProcesses.end());
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
        TerminateProcess(process_.hProcess, 99);
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
}

DWORD Program::WaitExit(int milliseconds) {
    if (!started_)
        return STILL_ACTIVE;
    if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(milliseconds)) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
}

bool Program::Ended() {
    return started_ && WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0;
}

HWND WaitProgramWindow() {
    HWND window = nullptr;
    WaitFor([&] { return (window = FindWindowA("zamri", nullptr)) != nullptr; });
    Check(window != nullptr, "no window of class zamri");
    DWORD_PTR answer = 0;
    if (window != nullptr &&
        !SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(kPatienceMs), &answer)) {
        Check(false, "the program's window does not answer");
    }
    return window;
}

bool AskScript(const char* kind, const std::string& content, int patienceMs) {
    std::string request = InWork((std::string(kind) + ".request").c_str());
    std::string done = InWork((std::string(kind) + ".done").c_str());
    DeleteFileA(done.c_str());
    WriteWholeFile(request + ".tmp", content);
    MoveFileA((request + ".tmp").c_str(), request.c_str());
    bool answered =
        WaitFor([&] { return GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES; }, patienceMs);
    Check(answered, std::string("the script did not answer a ") + kind + " request");
    return answered;
}

void Screenshot(const std::string& name) {
    AskScript("shot", name);
}

std::vector<std::string> OverlayWrites(const char* name) {
    std::vector<std::string> writes;
    std::string log = ReadWholeFile(InWork(name));
    size_t position = 0;
    while (position < log.size()) {
        size_t end = log.find('\n', position);
        if (end == std::string::npos)
            break;
        std::string line = log.substr(position, end - position);
        position = end + 1;
        if (line.compare(0, 9, "OV_write\t") == 0)
            writes.push_back(line.substr(9));
    }
    return writes;
}

namespace {

struct DialogSearch {
    DWORD processId;
    int controlId;
    HWND found;
};

bool IsMessageBox(HWND window) {
    // A message box holds its text in a static control of id 0xFFFF and has an OK or Yes button;
    // our dialogs have neither of those ids.
    return GetDlgItem(window, 0xFFFF) != nullptr &&
           (GetDlgItem(window, IDOK) != nullptr || GetDlgItem(window, IDYES));
}

}  // namespace

HWND FindDialogWithControl(DWORD processId, int controlId) {
    DialogSearch search = {processId, controlId, nullptr};
    EnumWindows(
        [](HWND window, LPARAM parameter) -> BOOL {
            DialogSearch* s = reinterpret_cast<DialogSearch*>(parameter);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            char name[32] = {};
            GetClassNameA(window, name, sizeof name);
            if (owner != s->processId || std::strcmp(name, "#32770") != 0 || !IsWindowVisible(window))
                return TRUE;
            bool match =
                s->controlId == 0 ? IsMessageBox(window) : GetDlgItem(window, s->controlId) != nullptr;
            if (!match)
                return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitDialogWithControl(DWORD processId, int controlId) {
    HWND dialog = nullptr;
    WaitFor([&] { return (dialog = FindDialogWithControl(processId, controlId)) != nullptr; });
    return dialog;
}

std::string Narrow(const wchar_t* text) {
    std::string narrow;
    for (; *text != 0; ++text)
        narrow += *text < 0x100 ? static_cast<char>(*text) : '?';
    return narrow;
}

// WM_GETTEXT is sent, not read from the window's caption: a control of another process keeps
// its text to itself. The wide form is what wine carries across processes intact.
std::string WindowText(HWND window) {
    wchar_t text[1024] = {};
    if (window != nullptr)
        SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return Narrow(text);
}

std::string ControlText(HWND dialog, int controlId) {
    return WindowText(GetDlgItem(dialog, controlId));
}

}  // namespace gui_driver
