/* Resource and control ids of the Windows program (read by the C++ sources and by windres). */
#pragma once

/* Icons: the mode icon is the class icon and the tray icon. */
#define IDI_SERIAL_MODE 106
#define IDI_TCP_MODE 118

/* The tray icon's popup menu and its commands. */
#define IDR_TRAY_MENU 107
#define IDM_PROPERTY 102
#define IDM_EXIT 103
#define IDM_BINARY_DUMP 40006

/* The Binary Dump dialog. */
#define IDD_BINARY_DUMP 109
#define IDC_DUMP_PORT 1104
#define IDC_DUMP_UNUSED_CHECK 1106

/* The tray icon's own id and the message its clicks arrive with (WM_USER + 100). */
#define ID_TRAY_ICON 100
#define WM_TRAY_CALLBACK 1124
