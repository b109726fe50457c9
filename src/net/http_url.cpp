#include "net/http_url.h"

namespace zamri {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
        if (c != prefix[i])
            return false;
    }
    return true;
}

bool HostCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
}

}  // namespace

int ParseHttpUrl(std::string_view text, HttpUrl* url, std::string* error) {
    *url = HttpUrl();
    auto refuse = [&](const std::string& why) {
        *error = "\"" + std::string(text) + "\" " + why;
        return 0;
    };
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u <= ' ' || u == 0x7f)
            return refuse("holds a blank or a control character; write %20 for a blank.");
        if (u >= 0x80)
            return refuse("holds a character outside ASCII; write it %-encoded.");
    }
    std::string_view rest;
    if (StartsWithNoCase(text, "https://")) {
        url->https = true;
        rest = text.substr(8);
    } else if (StartsWithNoCase(text, "http://")) {
        rest = text.substr(7);
    } else {
        return refuse("is no http:// or https:// address.");
    }
    if (rest.find('#') != std::string_view::npos)
        return refuse("has a fragment (#...), which is never sent.");
    size_t pathAt = rest.find_first_of("/?");
    std::string_view authority = rest.substr(0, pathAt);
    std::string_view path = pathAt == std::string_view::npos ? std::string_view() : rest.substr(pathAt);
    if (authority.find('@') != std::string_view::npos)
        return refuse("holds a user name or password; a hook proves itself with its Secret.");
    std::string_view portText;
    if (!authority.empty() && authority[0] == '[') {
        size_t close = authority.find(']');
        if (close == std::string_view::npos)
            return refuse("has an IPv6 address without its closing ].");
        std::string_view host = authority.substr(1, close - 1);
        for (char c : host) {
            bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
            if (!hex && c != ':' && c != '.')
                return refuse("has an IPv6 address that is not one.");
        }
        if (host.find(':') == std::string_view::npos)
            return refuse("has an IPv6 address that is not one.");
        url->host = std::string(host);
        std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after[0] != ':')
                return refuse("has something after its IPv6 address that is no port.");
            portText = after.substr(1);
            if (portText.empty())
                return refuse("has a : without a port.");
        }
    } else {
        size_t colon = authority.find(':');
        std::string_view host = authority.substr(0, colon);
        for (char c : host)
            if (!HostCharacter(c))
                return refuse("has a host name with a character a host name cannot have.");
        url->host = std::string(host);
        if (colon != std::string_view::npos) {
            portText = authority.substr(colon + 1);
            if (portText.empty())
                return refuse("has a : without a port.");
        }
    }
    if (url->host.empty())
        return refuse("names no host.");
    url->port = url->https ? 443 : 80;
    if (!portText.empty()) {
        int port = 0;
        for (char c : portText) {
            if (c < '0' || c > '9' || port > 65535)
                return refuse("has a port that is no number from 1 to 65535.");
            port = port * 10 + (c - '0');
        }
        if (port < 1 || port > 65535)
            return refuse("has a port that is no number from 1 to 65535.");
        url->port = port;
    }
    url->path = path.empty() ? "/" : path[0] == '?' ? "/" + std::string(path) : std::string(path);
    url->text = std::string(text);
    return 1;
}

}  // namespace zamri
