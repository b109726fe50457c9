// The Windows tray program: zamri.exe [/tcp | /property]
#include <windows.h>

#include <commctrl.h>

#include "app/command_line.h"
#include "app/tray_app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The whole text after the program name and its blanks; trailing blanks stay.
    const char* commandLine = zamri::ArgumentsOfCommandLine(GetCommandLineA());

    // Registers the version 6 controls that the manifest binds (list views, up-down controls)
    // before any dialog needs them.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    {
        TrayApp app;
        app.channelTable.SetMode(zamri::ModeFromCommandLine(commandLine));
        if (app.Init(instance, commandLine) != nullptr)
            app.Run();
    }
    // Whatever happened, and whatever the quit message carried.
    return 0;
}
