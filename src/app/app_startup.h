// What the Windows tray program and the Linux service do before the program object starts:
// the paths of the two settings files, and the language pack's "title" check (without it the
// program ends silently). The start and stop order itself is the program object's
// (program/program.h).
#pragma once

#include "platform/paths.h"

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

// 1 when the language pack holds the text "title" (no section).
int LanguageHasTitle(LangPack& language);

}  // namespace zamri
