#include "codepage/code_page.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace {

struct ReverseEntry {
    uint16_t code;
    uint8_t byte;
};

// Per page, its upper half sorted by character, for the way back from Unicode. Built once.
const std::vector<ReverseEntry>* ReverseIndexOf(const CodePageTable* page) {
    static const std::vector<std::vector<ReverseEntry>> indexes = [] {
        std::vector<std::vector<ReverseEntry>> all(static_cast<size_t>(kCodePageTableCount));
        for (int i = 0; i < kCodePageTableCount; ++i) {
            for (int b = 0; b < 128; ++b) {
                uint16_t code = kCodePageTables[i].upper[b];
                if (code != 0)
                    all[static_cast<size_t>(i)].push_back({code, static_cast<uint8_t>(0x80 + b)});
            }
            std::stable_sort(all[static_cast<size_t>(i)].begin(), all[static_cast<size_t>(i)].end(),
                             [](const ReverseEntry& a, const ReverseEntry& b) { return a.code < b.code; });
        }
        return all;
    }();
    return &indexes[static_cast<size_t>(page - kCodePageTables)];
}

int CopyText(const char* text, char* out) {
    int length = static_cast<int>(std::strlen(text));
    std::memcpy(out, text, static_cast<size_t>(length));
    return length;
}

}  // namespace

const CodePageTable* FindCodePage(int number) {
    // The generated tables are in ascending order of number.
    const CodePageTable* end = kCodePageTables + kCodePageTableCount;
    const CodePageTable* found = std::lower_bound(
        kCodePageTables, end, number, [](const CodePageTable& page, int n) { return page.number < n; });
    return found != end && found->number == number ? found : nullptr;
}

bool IsWindowsCodePage(int number) {
    return (number == 874 || (number >= 1250 && number <= 1258)) && FindCodePage(number) != nullptr;
}

uint32_t ToUnicode(const CodePageTable& page, uint8_t byte) {
    return byte < 0x80 ? byte : page.upper[byte - 0x80];
}

int FromUnicode(uint32_t code, int windowsPage, char* out) {
    if (code < 0x80) {
        out[0] = static_cast<char>(code);
        return 1;
    }
    if (const CodePageTable* page = FindCodePage(windowsPage)) {
        const std::vector<ReverseEntry>& index = *ReverseIndexOf(page);
        auto found = std::lower_bound(index.begin(), index.end(), code,
                                      [](const ReverseEntry& e, uint32_t c) { return e.code < c; });
        if (found != index.end() && found->code == code) {
            out[0] = static_cast<char>(found->byte);
            return 1;
        }
    }
    const LookAlike* end = kLookAlikes + kLookAlikeCount;
    const LookAlike* alike =
        std::lower_bound(kLookAlikes, end, code, [](const LookAlike& e, uint32_t c) { return e.code < c; });
    if (alike != end && alike->code == code)
        return CopyText(alike->text, out);
    out[0] = '?';
    return 1;
}

namespace {

void BuildConversion(const CodePageTable* from, int windowsPage, ConversionTable* table) {
    for (int b = 0; b < 0x80; ++b) {
        table->lengths[b] = 1;
        table->texts[b][0] = static_cast<char>(b);
    }
    for (int b = 0x80; b < 0x100; ++b) {
        uint32_t code = from != nullptr ? ToUnicode(*from, static_cast<uint8_t>(b)) : 0;
        if (code == 0) {
            table->lengths[b] = 1;
            table->texts[b][0] = '?';
        } else {
            table->lengths[b] = static_cast<uint8_t>(FromUnicode(code, windowsPage, table->texts[b]));
        }
    }
}

// Built tables by pair of page numbers, shared by every converter. Only known pages get here
// (an unknown one is the "?" table of key 0), so the number of tables stays bounded.
const ConversionTable* SharedConversion(const CodePageTable* from, int windowsPage) {
    static std::mutex* lock = new std::mutex;  // outlives every converter, also at exit
    static auto* tables = new std::map<std::pair<int, int>, std::unique_ptr<ConversionTable>>;
    std::pair<int, int> key(from != nullptr ? from->number : 0, windowsPage);
    std::lock_guard<std::mutex> guard(*lock);
    std::unique_ptr<ConversionTable>& table = (*tables)[key];
    if (!table) {
        table.reset(new ConversionTable);
        BuildConversion(from, windowsPage, table.get());
    }
    return table.get();
}

}  // namespace

PageConverter::PageConverter() {
    Set(kDefaultPrinterCodePage, kDefaultRecorderCodePage);
}

int PageConverter::Set(int printerPage, int windowsPage) {
    if (table != nullptr && printerPage == printer && windowsPage == windows)
        return known ? 0 : -1;
    printer = printerPage;
    windows = windowsPage;
    const CodePageTable* from = FindCodePage(printerPage);
    known = from != nullptr && FindCodePage(windowsPage) != nullptr;
    table = SharedConversion(known ? from : nullptr, known ? windowsPage : 0);
    return known ? 0 : -1;
}

void AppendUtf8(uint32_t code, std::string* out) {
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        code = kReplacementCharacter;
    if (code < 0x80) {
        out->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (code >> 6)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (code >> 12)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (code >> 18)));
        out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

int AppendWindowsAsUtf8(int windowsPage, const char* text, size_t length, std::string* out) {
    const CodePageTable* page = FindCodePage(windowsPage);
    if (page == nullptr)
        return -1;
    out->reserve(out->size() + length);
    for (size_t i = 0; i < length; ++i) {
        uint32_t code = ToUnicode(*page, static_cast<uint8_t>(text[i]));
        AppendUtf8(code != 0 ? code : kReplacementCharacter, out);
    }
    return 0;
}

int Utf8Reader::Feed(uint8_t byte, uint32_t* codes) {
    int count = 0;
    if (pending > 0) {
        if ((byte & 0xC0) == 0x80) {
            value = (value << 6) | (byte & 0x3Fu);
            if (--pending > 0)
                return 0;
            bool valid = value >= minimum && value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF);
            codes[0] = valid ? value : kReplacementCharacter;
            return 1;
        }
        // The sequence broke off: it becomes one replacement, and this byte begins anew.
        pending = 0;
        codes[count++] = kReplacementCharacter;
    }
    if (byte < 0x80) {
        codes[count++] = byte;
    } else if (byte >= 0xC2 && byte <= 0xDF) {
        value = byte & 0x1Fu;
        pending = 1;
        minimum = 0x80;
    } else if (byte >= 0xE0 && byte <= 0xEF) {
        value = byte & 0x0Fu;
        pending = 2;
        minimum = 0x800;
    } else if (byte >= 0xF0 && byte <= 0xF4) {
        value = byte & 0x07u;
        pending = 3;
        minimum = 0x10000;
    } else {
        codes[count++] = kReplacementCharacter;
    }
    return count;
}
