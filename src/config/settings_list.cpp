#include "config/settings_list.h"

#include <cstdlib>
#include <map>
#include <utility>

#include "platform/profile.h"

namespace {

bool IsCountKey(const std::string& key) {
    static const char kCount[] = "count";
    if (key.size() != sizeof kCount - 1)
        return false;
    for (size_t i = 0; i < key.size(); ++i) {
        char c = key[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
        if (c != kCount[i])
            return false;
    }
    return true;
}

// The entry number a key names: a decimal number as the list writes it, else -1.
long EntryIndex(const std::string& key) {
    if (key.empty() || key.size() > 10 || (key.size() > 1 && key[0] == '0'))
        return -1;
    long index = 0;
    for (char c : key) {
        if (c < '0' || c > '9')
            return -1;
        index = index * 10 + (c - '0');
    }
    return index;
}

}  // namespace

std::vector<std::string> ReadSettingsList(const char* path, const char* section) {
    std::vector<std::pair<std::string, std::string>> entries = zamri::ProfileReadSection(path, section);
    long count = 0;
    for (const auto& entry : entries) {
        if (IsCountKey(entry.first)) {
            count = std::strtol(entry.second.c_str(), nullptr, 10);
            break;
        }
    }
    std::map<long, std::string*> indexed;
    for (auto& entry : entries) {
        long index = EntryIndex(entry.first);
        if (index >= 0 && index < count)
            indexed.emplace(index, &entry.second);
    }
    std::vector<std::string> list;
    list.reserve(indexed.size());
    for (const auto& entry : indexed)
        list.push_back(std::move(*entry.second));
    return list;
}
