// Helpers for the programs that drive the real Windows program under wine from outside: they
// start it, find its windows and controls, send them messages, ask the calling script for what
// only Linux can do (screenshots, the Linux sender, bytes into a pseudo-terminal), and collect
// failures for "result.txt".
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace gui_driver {

constexpr int kPatienceMs = 30000;

void Check(bool ok, const std::string& what);
// "PASS", or one line per failure; also the process's exit code (0 or 1).
int WriteResult();
// A scenario that hangs (a dialog that never comes, a program that never ends) still ends after
// milliseconds with a result, and leaves no program behind.
void StartWatchdog(int milliseconds);

bool WaitFor(const std::function<bool()>& condition, int milliseconds = kPatienceMs);

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& content);
// The path of name in the directory the driver runs in.
std::string InWork(const char* name);

// zamri.exe started with arguments; its overlay calls are recorded into overlayLog.
class Program {
  public:
    explicit Program(const std::string& arguments, const char* overlayLog = "overlay.log");
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    // The exit code, or STILL_ACTIVE when the process has not ended in time.
    DWORD WaitExit(int milliseconds = kPatienceMs);
    bool Ended();
    DWORD ProcessId() const { return process_.dwProcessId; }

  private:
    bool started_ = false;
    PROCESS_INFORMATION process_ = {};
};

// The program's window once its creation handler has finished (it answers a sent message only
// when its message loop runs).
HWND WaitProgramWindow();

// Asks the calling script for kind ("shot", "send", "port", ...) with content; waits for it.
bool AskScript(const char* kind, const std::string& content, int patienceMs = kPatienceMs);
void Screenshot(const std::string& name);

// The OV_write lines of the overlay record, without their "OV_write<TAB>".
std::vector<std::string> OverlayWrites(const char* name = "overlay.log");

// A top-level window of the process whose class is "#32770" and that holds controlId (or, for
// controlId 0, a message box: a static text and an OK button and nothing of ours).
HWND FindDialogWithControl(DWORD processId, int controlId);
HWND WaitDialogWithControl(DWORD processId, int controlId);
std::string WindowText(HWND window);
std::string Narrow(const wchar_t* text);
std::string ControlText(HWND dialog, int controlId);

}  // namespace gui_driver
