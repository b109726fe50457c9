#include <windows.h>

#include <vector>

#include "platform/ini_document.h"
#include "platform/profile.h"

namespace zamri {

int ProfileReadText(const char* path, const char* section, const char* key, const char* def, char* out,
                    int size) {
    if (out == nullptr || size <= 0)
        return 0;
    return static_cast<int>(GetPrivateProfileStringA(section, key, def != nullptr ? def : "", out,
                                                     static_cast<DWORD>(size), path));
}

int ProfileReadInt(const char* path, const char* section, const char* key, int def) {
    return static_cast<int>(GetPrivateProfileIntA(section, key, def, path));
}

std::vector<std::pair<std::string, std::string>> ProfileReadSection(const char* path, const char* section) {
    std::vector<std::pair<std::string, std::string>> entries;
    if (path == nullptr || section == nullptr)
        return entries;
    // The whole section in one call: "key=value" texts, each ended by a NUL, the last by two.
    // A result of the buffer's size less two means it was cut; read again with more room.
    std::vector<char> buffer(1 << 16);
    DWORD got;
    for (;;) {
        got = GetPrivateProfileSectionA(section, buffer.data(), static_cast<DWORD>(buffer.size()), path);
        if (got + 2 < buffer.size() || buffer.size() >= (1u << 30))
            break;
        buffer.resize(buffer.size() * 4);
    }
    std::string key;
    std::string value;
    for (size_t at = 0; at < got && buffer[at] != 0;) {
        std::string line(buffer.data() + at);
        at += line.size() + 1;
        if (!IniDocument::ParseKey(line, &key, &value))
            continue;
        if (value.size() > 255)
            value.resize(255);
        entries.emplace_back(key, value);
    }
    return entries;
}

int ProfileWriteText(const char* path, const char* section, const char* key, const char* value) {
    return WritePrivateProfileStringA(section, key, value, path) ? 1 : 0;
}

}  // namespace zamri
