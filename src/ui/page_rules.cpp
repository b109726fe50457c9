#include "ui/page_rules.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "mask/mask_pattern.h"
#include "net/allowed_senders.h"
#include "net/port_name.h"
#include "zamri_version.h"

namespace {

char Fold(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string Cut(const std::string& text, size_t limit) {
    return text.size() > limit ? text.substr(0, limit) : text;
}

bool EqualNoCase(const std::string& a, const char* b) {
    size_t length = std::strlen(b);
    if (a.size() != length)
        return false;
    for (size_t i = 0; i < length; ++i) {
        if (Fold(a[i]) != Fold(b[i]))
            return false;
    }
    return true;
}

}  // namespace

bool FilterListUnchanged(char* const* stored, int storedCount, const std::vector<std::string>& items) {
    if (storedCount < 0)
        storedCount = 0;
    if (static_cast<size_t>(storedCount) != items.size())
        return false;
    for (size_t i = 0; i < items.size(); ++i) {
        const char* entry = stored != nullptr && stored[i] != nullptr ? stored[i] : "";
        if (!EqualNoCase(Cut(items[i], kFilterEntryMaxLength), entry))
            return false;
    }
    return true;
}

char** BuildFilterArray(const std::vector<std::string>& items) {
    char** array = new (std::nothrow) char*[items.size() + 1]();
    if (array == nullptr)
        return nullptr;
    for (size_t i = 0; i < items.size(); ++i) {
        std::string text = Cut(items[i], kFilterEntryMaxLength);
        array[i] = new (std::nothrow) char[text.size() + 1];
        if (array[i] == nullptr) {
            for (size_t j = 0; j < i; ++j)
                delete[] array[j];
            delete[] array;
            return nullptr;
        }
        std::memcpy(array[i], text.c_str(), text.size() + 1);
    }
    return array;
}

int FirstBadMask(const std::vector<std::string>& masks, std::string* message) {
    for (size_t i = 0; i < masks.size(); ++i) {
        MaskPattern pattern;
        if (!pattern.Compile(masks[i], message))
            return static_cast<int>(i);
    }
    return -1;
}

int ApplyPatternChoice(bool formFeedChecked, const char* text, ChannelConfig& record) {
    std::string footer = Cut(text != nullptr ? text : "", 62);
    if (formFeedChecked) {
        record.patternFlags = 0;
    } else if (!footer.empty()) {
        record.patternFlags = 1;
    } else {
        return 0;
    }
    std::snprintf(record.patternText, sizeof record.patternText, "%s", footer.c_str());
    return 1;
}

int ParseTcpPortText(const char* text, int* port) {
    if (text == nullptr)
        return 0;
    while (*text == ' ' || *text == '\t')
        ++text;
    long value = 0;
    int digits = 0;
    for (; *text >= '0' && *text <= '9'; ++text, ++digits) {
        value = value * 10 + (*text - '0');
        if (value > 65535)
            return 0;
    }
    while (*text == ' ' || *text == '\t')
        ++text;
    if (digits == 0 || *text != 0 || value < 1)
        return 0;
    if (port != nullptr)
        *port = static_cast<int>(value);
    return 1;
}

std::string VersionLine(const char* languageText) {
    return std::string(languageText != nullptr ? languageText : "") + " " ZAMRI_VERSION " ";
}

int CheckTcpSenderRules(const std::string& listenAddress, const std::string& allowedSenders,
                        std::string* bad) {
    uint32_t address;
    if (!listenAddress.empty() &&
        ParseIpv4(listenAddress.c_str(), static_cast<int>(listenAddress.size()), &address) == 0) {
        *bad = listenAddress;
        return 1;
    }
    AllowedSenders list;
    list.Parse(allowedSenders.c_str(), bad);
    return bad->empty() ? 0 : 2;
}
