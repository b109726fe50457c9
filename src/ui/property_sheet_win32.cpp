// The property sheet opened by the tray menu's "Property..." (command 102).
#include "app/tray_app.h"

// The sheet comes with the configuration pages (connection, TCP, filter and About); until they
// exist the command opens nothing.
int TrayApp::ShowPropertySheet() {
    return 0;
}
