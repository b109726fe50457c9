// The web page's settings, in section [Options] of the settings file:
//   HttpPort=8080          the page is served only when a port is named (1 to 65535)
//   HttpAddress=0.0.0.0    the address to listen on (default 127.0.0.1: this PC only)
//   HttpPassword=secret    when set, every request must carry it (HTTP Basic, any user name)
#pragma once

namespace zamri {

struct WebOptions {
    int port = 0;  // 0: no web page
    char address[64] = "127.0.0.1";
    char password[128] = {};
    int recorderCodePage = 1252;  // RecorderCodePage=: the code page of the lines' text
    char error[160] = {};         // why a named port cannot be used; empty when fine
};

// Reads the three keys; a port outside 1..65535 or an address that is not an IPv4 or IPv6
// literal leaves port 0 and says why in error.
WebOptions ReadWebOptions(const char* settingsPath);

}  // namespace zamri
