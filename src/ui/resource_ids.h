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
/* Added to the menu at run time, only while the web page is served. */
#define IDM_LIVE_VIEW 40010

/* The Binary Dump dialog. */
#define IDD_BINARY_DUMP 109
#define IDC_DUMP_PORT 1104
#define IDC_DUMP_UNUSED_CHECK 1106

/* The tray icon's own id and the message its clicks arrive with (WM_USER + 100). */
#define ID_TRAY_ICON 100
#define WM_TRAY_CALLBACK 1124

/* Property pages and the dialogs they open. */
#define IDD_CONNECTION_PAGE 100
#define IDD_ABOUT_PAGE 101
#define IDD_FILTER_PAGE 108
#define IDD_PATTERN 112
#define IDD_TCP_PAGE 113
#define IDD_PORT_SETTINGS 1140

/* Connection page: label, then per channel 1 to 16 a check box, a port edit and a "..." button. */
#define IDC_CONNECTION_COMMENT 1094
#define IDC_CH1_CHECK 1046
#define IDC_CH1_PORT 1095
#define IDC_CH1_MORE 1048

/* About page. */
#define IDC_ABOUT_TITLE 104
#define IDC_ABOUT_VERSION 105
#define IDC_ABOUT_ICON 106

/* Filter page. */
#define IDC_IMPORTANT_LABEL 1101
#define IDC_IGNORE_LABEL 1102
#define IDC_IMPORTANT_ADD 1103
#define IDC_IMPORTANT_DELETE 1104
#define IDC_IGNORE_ADD 1105
#define IDC_IGNORE_DELETE 1106
#define IDC_IMPORTANT_LIST 3070
#define IDC_IGNORE_LIST 3071
#define IDC_MASK_LABEL 1160
#define IDC_MASK_ADD 1161
#define IDC_MASK_DELETE 1162
#define IDC_MASK_CARDS 1163
#define IDC_MASK_LIST 3072

/* Pattern dialog. */
#define IDC_PATTERN_FORMFEED 1115
#define IDC_PATTERN_FOOTER 1117
#define IDC_PATTERN_TEXT 1119

/* TCP configuration page. */
#define IDC_TCP_PORT_LABEL 1124
#define IDC_TCP_PORT 1120
#define IDC_TCP_PORT_SPIN 1122
#define IDC_TCP_PORT_DEFAULT 1123
#define IDC_TCP_CAMERA_GROUP 1129
#define IDC_TCP_CAMERA 1125
#define IDC_TCP_PATTERN_GROUP 1130
#define IDC_TCP_FORMFEED 1126
#define IDC_TCP_FOOTER 1127
#define IDC_TCP_FOOTER_TEXT 1128
#define IDC_TCP_LISTEN_LABEL 1131
#define IDC_TCP_LISTEN_ADDRESS 1132
#define IDC_TCP_ALLOWED_LABEL 1133
#define IDC_TCP_ALLOWED_SENDERS 1134

/* Port settings dialog. */
#define IDC_PORT_GROUP 1141
#define IDC_PORT_LABEL 1142
#define IDC_BAUD_LABEL 1143
#define IDC_DATABITS_LABEL 1144
#define IDC_PARITY_LABEL 1145
#define IDC_STOPBITS_LABEL 1146
#define IDC_FLOW_LABEL 1147
#define IDC_PORT_LIST 1148
#define IDC_BAUD_LIST 1149
#define IDC_DATABITS_LIST 1150
#define IDC_PARITY_LIST 1151
#define IDC_STOPBITS_LIST 1152
#define IDC_FLOW_DTRDSR 1153
#define IDC_FLOW_RTSCTS 1154
#define IDC_FLOW_XONXOFF 1155
#define IDC_PATTERN_LABEL 1156
#define IDC_PATTERN_SETTING 1119
#define IDC_PRINTER_LABEL 1108
#define IDC_EMULATION_LIST 1107
#define IDC_ALLOWED_LABEL 1170
#define IDC_ALLOWED_SENDERS 1171
#define IDC_PORT_ICON_SERIAL 110
#define IDC_PORT_ICON_PRINTER 111
#define IDC_CODEPAGE_LABEL 1157
#define IDC_CODEPAGE_LIST 1158
#define IDC_IDLE_LABEL 1159
#define IDC_IDLE_SECONDS 1160
#define IDC_IDLE_HINT 1161
#define IDC_DETECT 1172
#define IDC_DETECT_PROGRESS 1173
#define IDC_DETECT_STATUS 1174

/* Exceptions page: per built-in kind a check box and a threshold edit, then the rule list. */
#define IDD_EXCEPTIONS_PAGE 120
#define IDC_EXC_KINDS_LABEL 1200
#define IDC_EXC_VOID 1201
#define IDC_EXC_VOID_THRESHOLD 1207
#define IDC_EXC_RULES_LABEL 1213
#define IDC_EXC_RULE_LIST 1214
#define IDC_EXC_RULE_ADD 1215
#define IDC_EXC_RULE_EDIT 1216
#define IDC_EXC_RULE_REMOVE 1217

/* Rule dialog. */
#define IDD_RULE 121
#define IDC_RULE_NAME_LABEL 1220
#define IDC_RULE_NAME 1221
#define IDC_RULE_LINE_LABEL 1222
#define IDC_RULE_LINE 1223
#define IDC_RULE_MATCH_LABEL 1224
#define IDC_RULE_MATCH 1225
#define IDC_RULE_HOURS_LABEL 1226
#define IDC_RULE_HOURS 1227
#define IDC_RULE_SEQUENCE_GROUP 1228
#define IDC_RULE_FIRST_LABEL 1229
#define IDC_RULE_FIRST 1230
#define IDC_RULE_THEN_LABEL 1231
#define IDC_RULE_THEN 1232
#define IDC_RULE_WITHIN_LABEL 1233
#define IDC_RULE_WITHIN 1234
#define IDC_RULE_BANNER 1235
#define IDC_RULE_HINT 1236

/* Webhooks page. */
#define IDD_WEBHOOKS_PAGE 122
#define IDC_HOOKS_STORE_LABEL 1240
#define IDC_HOOKS_STORE 1241
#define IDC_HOOKS_DIGEST_LABEL 1242
#define IDC_HOOKS_DIGEST 1243
#define IDC_HOOKS_DIGEST_HINT 1244
#define IDC_HOOKS_LIST_LABEL 1245
#define IDC_HOOKS_LIST 1246
#define IDC_HOOKS_ADD 1247
#define IDC_HOOKS_EDIT 1248
#define IDC_HOOKS_REMOVE 1249
#define IDC_HOOKS_NOTE 1250

/* Webhook dialog: the events' check boxes follow the event order (exception, transaction,
   health, digest). */
#define IDD_HOOK 123
#define IDC_HOOK_URL_LABEL 1260
#define IDC_HOOK_URL 1261
#define IDC_HOOK_SECRET_LABEL 1262
#define IDC_HOOK_SECRET 1263
#define IDC_HOOK_EVENTS_GROUP 1264
#define IDC_HOOK_EXCEPTION 1265
