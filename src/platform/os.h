// Operating-system helpers that the shared code needs; one backend per platform
// (os_win32.cpp, os_posix.cpp).
#pragma once

#include <string>

namespace zamri {

// Message box styles, with the values of the Windows constants of the same meaning.
constexpr unsigned kMsgOk = 0x0;
constexpr unsigned kMsgYesNo = 0x4;
constexpr unsigned kMsgIconError = 0x10;
constexpr unsigned kMsgIconQuestion = 0x20;
constexpr unsigned kMsgIconWarning = 0x30;

// Shows an error the user must see. Windows: a message box with no owner window, which blocks
// only the calling thread until it is dismissed. Linux: one line "caption: text" on standard
// error. Returns the button pressed (1 = OK) or 0.
int ShowMessage(const char* text, const char* caption, unsigned style);

// Lets tests (and the Linux front) see messages instead of the platform's display. The sink is
// called in place of the display; nullptr restores the platform's own. Returns the previous.
using MessageSink = int (*)(const char* text, const char* caption, unsigned style);
MessageSink SetMessageSink(MessageSink sink);

// The last messages shown through ShowMessage (newest last), for the status page.
struct RecentMessage {
    long long utcMs;
    char text[240];
};
constexpr int kRecentMessageCount = 10;
// Copies up to max of them into out; returns how many.
int RecentMessages(RecentMessage* out, int max);
// One line of the program's error output, for what the user should be able to look up but need
// not answer (refused senders, ignored settings). Linux: standard error. Windows: appended to
// "zamri-errors.log" beside the executable. The text carries no line end.
void WriteErrorLine(const char* text);
// Lets tests see those lines; nullptr restores the platform's own. Returns the previous.
using ErrorLineSink = void (*)(const char* text);
ErrorLineSink SetErrorLineSink(ErrorLineSink sink);

void SleepMilliseconds(int milliseconds);

// This machine's name ("" when it cannot be told), and this process's id, as syslog messages
// carry them.
std::string ComputerName();
int ProcessId();

// For a thread that works off what another thread hands it (a queue's worker): once woken, it
// waits for the thread that woke it to finish and sleep rather than taking the processor from
// it at once. Linux: the batch scheduling class, which keeps the thread's fair share but ends the
// extra switch (and the waker's forced second wake-up) that came with every line a network
// thread queued, a third of what each line cost. Windows has no such class and keeps the
// thread as it is. Returns 1 when the thread was changed, 0 when it was left as it was.
int MarkThreadAsBackgroundWorker();

// Full path of the running executable into out (size bytes); returns its length, 0 on failure.
int GetExecutablePath(char* out, int size);

// The directory that holds the recorder's settings file: the Windows directory on Windows; on
// Linux the value of ZAMRI_WINDOWS_DIR, else "/etc". Returns the length, 0 on failure.
int GetSystemSettingsDirectory(char* out, int size);

}  // namespace zamri
