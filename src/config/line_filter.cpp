#include "config/line_filter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "config/channel_table.h"
#include "config/line_flags.h"
#include "config/settings.h"
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

std::vector<std::string> Entries(char** list, int count) {
    std::vector<std::string> entries;
    for (int i = 0; list != nullptr && i < count; ++i) {
        if (list[i] != nullptr)
            entries.emplace_back(list[i]);
    }
    return entries;
}

void FreeList(char** list, int count) {
    if (list == nullptr)
        return;
    for (int i = 0; i < count; ++i)
        delete[] list[i];
    delete[] list;
}

}  // namespace

int LineFilter::Apply(const char* text, int& flags) const {
    if (text == nullptr || *text == 0)
        return 1;
    for (const std::string& entry : important_) {
        if (ContainsFolded(text, entry.c_str())) {
            flags |= kLineFlagImportant;
            return 1;
        }
    }
    for (const std::string& entry : ignore_) {
        if (ContainsFolded(text, entry.c_str()))
            return 0;
    }
    return 1;
}

// The list as LoadSettings read it, as far as the file holds it.
void ChannelTable::LoadFilterList(int kind) {
    if (kind != kFilterImportant && kind != kFilterIgnore)
        return;
    std::shared_ptr<const zamri::Settings> read = GetSettings();
    const std::vector<std::string>& entries = kind == kFilterImportant ? read->important : read->ignore;
    char** list = nullptr;
    int size = static_cast<int>(entries.size());
    if (size > 0) {
        list = new (std::nothrow) char*[static_cast<size_t>(size) + 1]();
        if (list == nullptr)
            size = 0;
    }
    int i = 0;
    for (const std::string& value : entries) {
        if (list == nullptr)
            break;
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

// Lines are filtered by a copy of the lists, so the table's arrays are never read by another
// thread and the old one can go at once.
void ChannelTable::InstallFilterList(int kind, char** list, int count) {
    char**& current = kind == kFilterImportant ? importantList : ignoreList;
    int32_t& currentCount = kind == kFilterImportant ? importantCount : ignoreCount;
    FreeList(current, currentCount);
    current = list;
    currentCount = list != nullptr && count > 0 ? count : 0;
    if (filterReceiver)
        filterReceiver(LineFilter(Entries(importantList, importantCount), Entries(ignoreList, ignoreCount)));
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
