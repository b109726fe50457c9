#include <windows.h>

#include <vector>

#include "platform/ini_document.h"
#include "platform/profile.h"

namespace zamri {

void DropOverlongEntries(const char* section, std::vector<std::pair<std::string, std::string>>* entries,
                         std::vector<std::string>* keys);

// GetPrivateProfileString fills the buffer as far as it goes and returns its size less one
// when it had to cut, so a buffer one character larger than the limit tells a value that fits
// from one that does not. A default no file can hold tells a missing key from an empty one.
int ProfileReadValue(const char* path, const char* section, const char* key, std::string* value) {
    std::string ignored;
    std::string& out = value != nullptr ? *value : ignored;
    out.clear();
    if (path == nullptr || section == nullptr || key == nullptr)
        return 0;
    static const char kMissing[] = "\x01";
    std::vector<char> buffer(static_cast<size_t>(kMaxSettingsValueLength) + 2);
    DWORD got = GetPrivateProfileStringA(section, key, kMissing, buffer.data(),
                                         static_cast<DWORD>(buffer.size()), path);
    if (got == 1 && buffer[0] == kMissing[0])
        return 0;
    if (got > static_cast<DWORD>(kMaxSettingsValueLength))
        return -1;
    out.assign(buffer.data(), got);
    return 1;
}

int ProfileReadInt(const char* path, const char* section, const char* key, int def) {
    return static_cast<int>(GetPrivateProfileIntA(section, key, def, path));
}

// The number as GetPrivateProfileInt reads it, once the value is known to be whole.
int ProfileReadInteger(const char* path, const char* section, const char* key, int def, int* value) {
    std::string text;
    int got = ProfileReadValue(path, section, key, &text);
    *value =
        got > 0 && !text.empty() ? static_cast<int>(GetPrivateProfileIntA(section, key, def, path)) : def;
    return got > 0 && text.empty() ? 0 : got;
}

std::vector<std::pair<std::string, std::string>> ProfileReadSection(const char* path, const char* section,
                                                                    std::vector<std::string>* overlong) {
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
        entries.emplace_back(key, value);
    }
    DropOverlongEntries(section, &entries, overlong);
    return entries;
}

int ProfileWriteText(const char* path, const char* section, const char* key, const char* value) {
    return WritePrivateProfileStringA(section, key, value, path) ? 1 : 0;
}

int ProfileRemove(const char* path, const char* section, const char* key) {
    if (path == nullptr || section == nullptr)
        return 0;
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
        return 1;
    return WritePrivateProfileStringA(section, key, nullptr, path) ? 1 : 0;
}

}  // namespace zamri
