// A webhook's address, read once when the settings are: http:// or https://, a host name, an
// IPv4 address or an [IPv6] one, an optional port, and a path with an optional query.
#pragma once

#include <string>
#include <string_view>

namespace zamri {

struct HttpUrl {
    bool https = false;
    std::string host;  // without the brackets of an IPv6 address
    int port = 0;      // 80 or 443 when the URL names none
    std::string path;  // from its "/", query included; "/" when the URL has none
    std::string text;  // the URL as given, for messages and for libcurl
};

// 1, or 0 with a sentence in *error that says what is wrong with it. Refused: other schemes,
// a missing host, a port outside 1 to 65535, a user name or password (a hook proves itself
// with its secret), blanks, control characters, and a fragment ("#...").
int ParseHttpUrl(std::string_view text, HttpUrl* url, std::string* error);

}  // namespace zamri
