#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "config/channel_table.h"
#include "platform/profile.h"

namespace {

const char* SectionOf(int kind) {
    return kind == kFilterImportant ? "Important" : "Ignore";
}

unsigned char Upper(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c;
}

// Whether entry occurs in text, with ASCII letters compared as upper case and every other byte
// as it stands. Folding while comparing gives the same answer as comparing two upper-case
// copies, with no copy and no length limit. An empty entry occurs in every text.
bool ContainsFolded(const char* text, const char* entry) {
    if (*entry == 0)
        return true;
    for (const char* start = text; *start != 0; ++start) {
        const unsigned char* t = reinterpret_cast<const unsigned char*>(start);
        const unsigned char* e = reinterpret_cast<const unsigned char*>(entry);
        while (*e != 0 && *t != 0 && Upper(*t) == Upper(*e)) {
            ++t;
            ++e;
        }
        if (*e == 0)
            return true;
        if (*t == 0)
            return false;  // the rest of the text is shorter than the entry
    }
    return false;
}

bool EqualNoCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i] != 0; ++i) {
        if (Upper(static_cast<unsigned char>(a[i])) != Upper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return i == a.size() && b[i] == 0;
}

// The entry number a key names: a decimal number as the list writes it ("0", "17"; never
// "017" or "+1", which a lookup of "17" would not find), else -1.
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

void FreeList(char** list, int count) {
    if (list == nullptr)
        return;
    for (int i = 0; i < count; ++i)
        delete[] list[i];
    delete[] list;
}

}  // namespace

// The keys "0" to "count - 1", in that order, as far as the file holds them: the count is
// bounded by the entries that are there, and the section is read once.
void ChannelTable::LoadFilterList(int kind) {
    if (kind != kFilterImportant && kind != kFilterIgnore)
        return;
    std::vector<std::pair<std::string, std::string>> entries =
        zamri::ProfileReadSection(settingsPath, SectionOf(kind));
    long count = 0;
    for (const auto& entry : entries) {
        if (EqualNoCase(entry.first, "count")) {
            count = std::strtol(entry.second.c_str(), nullptr, 10);
            break;
        }
    }
    // Index -> value, the first line of each index winning as in a lookup by key.
    std::map<long, const std::string*> indexed;
    for (const auto& entry : entries) {
        long index = EntryIndex(entry.first);
        if (index >= 0 && index < count)
            indexed.emplace(index, &entry.second);
    }
    char** list = nullptr;
    int size = static_cast<int>(indexed.size());
    if (size > 0) {
        list = new (std::nothrow) char*[static_cast<size_t>(size) + 1]();
        if (list == nullptr)
            size = 0;
    }
    int i = 0;
    for (const auto& entry : indexed) {
        if (list == nullptr)
            break;
        const std::string& value = *entry.second;
        list[i] = new (std::nothrow) char[value.size() + 1];
        if (list[i] == nullptr) {
            FreeList(list, i);
            list = nullptr;
            size = 0;
            break;
        }
        std::memcpy(list[i], value.c_str(), value.size() + 1);
        ++i;
    }
    InstallFilterList(kind, list, size);
}

void ChannelTable::SaveFilterList(int kind) {
    if (kind != kFilterImportant && kind != kFilterIgnore)
        return;
    char key[16];
    char value[16];
    int count = CountOf(kind);
    std::snprintf(value, sizeof value, "%d", count);
    zamri::ProfileWriteText(settingsPath, SectionOf(kind), "count", value);
    char** list = ListOf(kind);
    for (int i = 0; list != nullptr && i < count; ++i) {
        std::snprintf(key, sizeof key, "%d", i);
        zamri::ProfileWriteText(settingsPath, SectionOf(kind), key, list[i] != nullptr ? list[i] : "");
    }
}

void ChannelTable::ClearFilterList(int kind) {
    if (kind != kFilterImportant && kind != kFilterIgnore)
        return;
    InstallFilterList(kind, nullptr, 0);
}

// The swap is one step under the lock: a FilterLine sees either the whole old list or the whole
// new one, and the old one is freed only once no reader can hold it.
void ChannelTable::InstallFilterList(int kind, char** list, int count) {
    char** old = nullptr;
    int oldCount = 0;
    {
        std::lock_guard<std::mutex> guard(filterLock);
        char**& current = kind == kFilterImportant ? importantList : ignoreList;
        int32_t& currentCount = kind == kFilterImportant ? importantCount : ignoreCount;
        old = current;
        oldCount = currentCount;
        current = list;
        currentCount = list != nullptr && count > 0 ? count : 0;
    }
    FreeList(old, oldCount);
}

int ChannelTable::GetFilterList(int kind, int* count, char*** list) {
    if (kind < 0 || kind > 1)
        return 0;
    if (count != nullptr)
        *count = CountOf(kind);
    if (list != nullptr)
        *list = ListOf(kind);
    return 1;
}

int ChannelTable::ReplaceFilterList(int kind, int count, char** list) {
    if (kind != kFilterImportant && kind != kFilterIgnore) {
        FreeList(list, count);
        return 0;
    }
    if (count <= 0) {
        // An empty list is kept as none, so that no array is left that nothing would free.
        FreeList(list, 0);
        list = nullptr;
        count = 0;
    }
    InstallFilterList(kind, list, count);
    SaveFilterList(kind);
    return 1;
}

int ChannelTable::FilterLine(const char* text, int& flags) const {
    if (text == nullptr || *text == 0)
        return 1;
    std::lock_guard<std::mutex> guard(filterLock);
    for (int i = 0; importantList != nullptr && i < importantCount; ++i) {
        if (importantList[i] != nullptr && ContainsFolded(text, importantList[i])) {
            flags |= kLineFlagImportant;
            return 1;
        }
    }
    for (int i = 0; ignoreList != nullptr && i < ignoreCount; ++i) {
        if (ignoreList[i] != nullptr && ContainsFolded(text, ignoreList[i]))
            return 0;
    }
    return 1;
}
