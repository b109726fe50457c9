#include "platform/langpack_english.h"

namespace langpack {

namespace {

// Every key and section that the tray menu, the property sheet, its pages and the dialogs
// ask for.
const BuiltInText kEnglish[] = {
    {"", "title", "zamri - receipt text capture"},
    {"", "version", "Version"},
    {"", "properties", "zamri Properties"},

    {"Menu", "properties", "&Properties..."},
    {"Menu", "binarydump", "&Binary Dump"},
    {"Menu", "binarydumpstop", "Stop &Binary Dump"},
    {"Menu", "exit", "E&xit"},
    {"Menu", "liveview", "Live View"},

    {"file open", "title", "Save Binary Dump As"},

    {"connection page", "title", "Connection"},
    {"connection page", "comment", "Tick the channels whose printer port is tapped; \"...\" sets the port."},
    {"connection page", "ch1", "Channel 1"},
    {"connection page", "ch2", "Channel 2"},
    {"connection page", "ch3", "Channel 3"},
    {"connection page", "ch4", "Channel 4"},
    {"connection page", "ch5", "Channel 5"},
    {"connection page", "ch6", "Channel 6"},
    {"connection page", "ch7", "Channel 7"},
    {"connection page", "ch8", "Channel 8"},
    {"connection page", "ch9", "Channel 9"},
    {"connection page", "ch10", "Channel 10"},
    {"connection page", "ch11", "Channel 11"},
    {"connection page", "ch12", "Channel 12"},
    {"connection page", "ch13", "Channel 13"},
    {"connection page", "ch14", "Channel 14"},
    {"connection page", "ch15", "Channel 15"},
    {"connection page", "ch16", "Channel 16"},

    {"portconfig page", "title", "Port Settings"},
    {"portconfig page", "portname", "Port:"},
    {"portconfig page", "baudrate", "Baud Rate:"},
    {"portconfig page", "databits", "Data Bits:"},
    {"portconfig page", "parity", "Parity:"},
    {"portconfig page", "stopbits", "Stop Bits:"},
    {"portconfig page", "flowcontrol", "Flow Control:"},
    {"portconfig page", "dtrdsr", "DTR/DSR"},
    {"portconfig page", "rtscts", "RTS/CTS"},
    {"portconfig page", "xonxoff", "XON/XOFF"},
    {"portconfig page", "printer", "Printer:"},
    {"portconfig page", "emulation", "Emulation"},
    {"portconfig page", "ok", "OK"},
    {"portconfig page", "pattern", "Pattern:"},
    {"portconfig page", "setting", "Setting..."},
    {"portconfig page", "codepage", "Code page:"},
    {"portconfig page", "codepagedefault", "As the printer ships"},
    {"portconfig page", "codepagenone", "None: bytes as they come"},
    {"portconfig page", "idleend", "Idle end:"},
    {"portconfig page", "idlehint", "seconds without data (0 = off)"},
    {"portconfig page", "detect", "Detect"},
    {"portconfig page", "detectstop", "Stop"},
    {"portconfig page", "detecthint",
     "Detect listens while the till prints a test receipt; it never writes to the port."},
    {"portconfig page", "detectlistening", "Listening at %s: %s of %s s, %s bytes read"},
    {"portconfig page", "detectreading", "Reading the printer stream at %s: %s of %s s, %s bytes read"},
    {"portconfig page", "detectsure", "Found (%s% sure): %s. Check the fields; OK keeps them."},
    {"portconfig page", "detectnotsure",
     "Not sure (%s%): filled %s; the rest is unchanged. Seen: %s. Print more receipts and detect again."},
    {"portconfig page", "detectnothing",
     "Not sure (%s%): nothing filled. Seen: %s. Print receipts while detecting, or set the fields by hand."},
    {"portconfig page", "detectsilent",
     "Nothing came from the port: is the till printing, and is the tap on this port?"},
    {"portconfig page", "detectfailed", "Cannot listen on the port:"},
    {"portconfig page", "detectstopped", "Detection cancelled; no field was changed."},
    {"portconfig page", "detectendcut", "receipts end at the paper cut"},
    {"portconfig page", "detectendformfeed", "receipts end at a form feed"},
    {"portconfig page", "detectendfooter", "receipts end with the footer \"%s\""},
    {"portconfig page", "none", "None"},
    {"portconfig page", "odd", "Odd"},
    {"portconfig page", "even", "Even"},
    {"portconfig page", "mark", "Mark"},
    {"portconfig page", "space", "Space"},
    {"portconfig page", "allowedsenders", "Allowed senders:"},
    {"portconfig page", "badport", "This network port name is not valid:"},
    {"portconfig page", "badsenders",
     "These allowed senders are not IPv4 addresses or blocks (a.b.c.d or a.b.c.d/n):"},

    {"pattern dlg", "pattern_title", "End of Receipt"},
    {"pattern dlg", "formfeed", "Form feed"},
    {"pattern dlg", "footer", "Footer text"},
    {"pattern dlg", "ok", "OK"},
    {"pattern dlg", "cancel", "Cancel"},
    {"pattern dlg", "emptyfooter", "Enter the footer text that ends a receipt."},
    {"pattern dlg", "warn", "Warning"},

    {"filter page", "title", "Filter"},
    {"filter page", "important_text", "Lines containing these texts are always shown and marked:"},
    {"filter page", "ignore_text", "Lines containing these texts are not shown:"},
    {"filter page", "add", "Add"},
    {"filter page", "delete", "Delete"},
    {"filter page", "goods", "Important"},
    {"filter page", "sentence", "Ignore"},
    {"filter page", "new_item", "New item"},
    {"filter page", "mask_text", "Parts of lines that these masks match are shown as *:"},
    {"filter page", "mask", "Masks"},
    {"filter page", "mask_cards", "Mask card numbers (all digits but the last four)"},

    {"TCP_CONFIG_PAGE", "TITLE", "TCP Configuration"},
    {"TCP_CONFIG_PAGE", "PORT_SATIC", "Port Num. :"},
    {"TCP_CONFIG_PAGE", "PORT_BTN", "Default"},
    {"TCP_CONFIG_PAGE", "CAMERA_GRB", "Camera"},
    {"TCP_CONFIG_PAGE", "PATTERN_GRB", "Pattern"},
    {"TCP_CONFIG_PAGE", "FF_RD", "Form Feed"},
    {"TCP_CONFIG_PAGE", "FOOT_RD", "Footer"},
    {"TCP_CONFIG_PAGE", "CAMERA_NAME", "Camera "},
    {"TCP_CONFIG_PAGE", "FILL_FOOTER", "Enter the footer text that ends a receipt for this camera."},
    {"TCP_CONFIG_PAGE", "PORT_RANGE", "The port number must be a whole number from 1 to 65535."},
    {"TCP_CONFIG_PAGE", "LISTEN_STATIC", "Listen on:"},
    {"TCP_CONFIG_PAGE", "ALLOWED_STATIC", "Allowed senders:"},
    {"TCP_CONFIG_PAGE", "BAD_LISTEN",
     "Listen on: leave it empty for every address of this PC, or give one IPv4 address (a.b.c.d):"},
    {"TCP_CONFIG_PAGE", "BAD_SENDERS",
     "These allowed senders are not IPv4 addresses or blocks (a.b.c.d or a.b.c.d/n):"},

    {"about page", "title", "About"},
};

}  // namespace

const BuiltInText* EnglishTexts(int* count) {
    *count = static_cast<int>(sizeof kEnglish / sizeof kEnglish[0]);
    return kEnglish;
}

}  // namespace langpack
