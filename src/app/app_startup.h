// The start-up and shutdown steps that the Windows tray program and the Linux service take in
// the same order:
//   1. the language pack exists (a global, before the entry);
//   2. the channel table is built (it opens the overlay library once) and told the settings file;
//   3. the mode is set (TCP mode creates the TCP server and its worker);
//   4. a second instance ends here, with nothing started and nothing read;
//   5. without a "title" text the program ends silently;
//   6. the settings are read, then capture starts (StartAfterChecks);
//   ... the program runs ...
//   7. capture stops: every capture thread ends, or the TCP network thread (StopBeforeExit);
//   8. the channel table is destroyed: the TCP server and its worker go, then the overlay
//      library is closed and the filter lists freed.
#pragma once

#include "platform/paths.h"

class ChannelTable;
class LangPack;

namespace zamri {

// The two settings files of the running program, built once at start-up.
struct AppPaths {
    char settings[kMaxPath] = {};
    char recorderSettings[kMaxPath] = {};
};

// The process-wide paths (empty until BuildAppPaths).
const AppPaths& ProcessPaths();
// Settings beside the executable (or settingsOverride when it is a non-empty text), the
// recorder's in the system directory. Returns 1, or 0 when a path could not be built.
int BuildAppPaths(const char* settingsOverride);

// Step 5: 1 when the language pack holds the text "title" (no section).
int LanguageHasTitle(LangPack& language);

// Step 6. stopAsked (when given) is asked before each part: a stop requested during start-up
// skips what is left. 1 when capture was started.
int StartAfterChecks(ChannelTable& table, bool (*stopAsked)(void*) = nullptr, void* context = nullptr);
// Step 7. A second call (the channel table's own, at its destruction) is harmless.
void StopBeforeExit(ChannelTable& table);

}  // namespace zamri
