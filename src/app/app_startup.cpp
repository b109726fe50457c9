#include "app/app_startup.h"

#include <cstdio>

#include "platform/langpack.h"

namespace zamri {

namespace {
AppPaths processPaths;
}  // namespace

const AppPaths& ProcessPaths() {
    return processPaths;
}

int BuildAppPaths(const char* settingsOverride) {
    int ok = 1;
    if (settingsOverride != nullptr && settingsOverride[0] != 0) {
        int written =
            std::snprintf(processPaths.settings, sizeof processPaths.settings, "%s", settingsOverride);
        if (written < 0 || written >= static_cast<int>(sizeof processPaths.settings)) {
            processPaths.settings[0] = 0;
            ok = 0;
        }
    } else if (!DefaultSettingsPath(processPaths.settings, sizeof processPaths.settings)) {
        ok = 0;
    }
    if (!DefaultRecorderSettingsPath(processPaths.recorderSettings, sizeof processPaths.recorderSettings))
        ok = 0;
    return ok;
}

int LanguageHasTitle(LangPack& language) {
    char title[256];
    return language.LoadText(title, sizeof title, "title", nullptr) != nullptr ? 1 : 0;
}

}  // namespace zamri
