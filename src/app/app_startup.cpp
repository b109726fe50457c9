#include "app/app_startup.h"

#include <cstdio>

#include "app/line_outputs.h"
#include "config/channel_table.h"
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

int StartAfterChecks(ChannelTable& table, bool (*stopAsked)(void*), void* context,
                     const std::function<void()>& beforeCapture) {
    if (stopAsked != nullptr && stopAsked(context))
        return 0;
    table.LoadSettings();
    if (stopAsked != nullptr && stopAsked(context))
        return 0;
    // The journal and the export are in place before the first line can arrive.
    ProcessLineOutputs().Start(table, processPaths.recorderSettings);
    if (beforeCapture)
        beforeCapture();
    table.StartCapture();
    return 1;
}

void StopBeforeExit(ChannelTable& table) {
    table.StopCapture();
    // After capture: the last lines are in the sinks' queues by now.
    ProcessLineOutputs().Stop(table);
}

}  // namespace zamri
