// The web page's settings, in section [Options] of the settings file:
//   HttpPort=8080          the page is served only when a port is named (1 to 65535)
//   HttpAddress=0.0.0.0    the address to listen on (default 127.0.0.1: this PC only)
//   HttpPassword=secret    when set, every request must carry it (HTTP Basic, any user name)
//   HttpHostNames=recorder recorder.store.lan
//                          names the page answers to besides its address and localhost
#pragma once

#include "config/settings_parts.h"

namespace zamri {

struct Settings;

struct WebOptions : WebSettings {
    int recorderCodePage = 1252;  // RecorderCodePage=: the code page of the lines' text
};

// 1 when the page at this address is reached from this PC only (127.x.x.x, ::1).
bool IsLoopbackAddress(const char* address);

// The page's part of the settings. A port outside 1..65535, an address that is not an IPv4 or
// IPv6 literal or a host name list with something else in it left port 0 and error says why.
WebOptions WebOptionsFrom(const Settings& settings);

}  // namespace zamri
