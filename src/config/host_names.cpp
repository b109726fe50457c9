#include "config/host_names.h"

namespace zamri {

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

}  // namespace

bool IsHostNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == ':';
}

int ParseHostNames(const std::string& text, std::vector<std::string>* names, std::string* bad) {
    names->clear();
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ' || text[i] == '\t' || text[i] == ',') {
            ++i;
            continue;
        }
        size_t end = text.find_first_of(" \t,", i);
        if (end == std::string::npos)
            end = text.size();
        std::string entry = text.substr(i, end - i);
        i = end;
        std::string name;
        for (char c : entry)
            name += Lower(c);
        if (name.size() > 2 && name.front() == '[' && name.back() == ']')
            name = name.substr(1, name.size() - 2);
        if (!name.empty() && name.back() == '.')
            name.pop_back();
        bool ok = !name.empty() && name.size() <= 253;
        // A colon only in an IPv6 address ("recorder:8080" would never match: ports do not count).
        bool ipv6 = name.find(':') != std::string::npos;
        for (char c : name)
            ok = ok && IsHostNameCharacter(c) &&
                 (!ipv6 || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == ':' || c == '.');
        ok = ok && (!ipv6 || name.find(':') != name.rfind(':'));
        if (!ok) {
            *bad = entry;
            return 0;
        }
        names->push_back(name);
    }
    return 1;
}

}  // namespace zamri
