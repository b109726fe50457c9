// Fuzz target: any bytes as a settings file. The first byte picks a section, a key and a new
// value from the names the program uses. Properties: an untouched document writes back every
// byte as read; no value read keeps a line end; the list reader's one pass reads what a
// lookup by key reads; and after one key is written and the text read again, that key reads
// the new value and every other key reads what it read before.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/ini_document.h"

using zamri::IniDocument;

namespace {

const char* const kSections[] = {"Channel", "Important", "Ignore", "Channel 3", "Options", "Mask", ""};
const char* const kKeys[] = {"count", "0", "1", "2", "PORT", "CodePage", "10"};
const char* const kValues[] = {"TOTAL", "", "1,COM3,9600,0,8,0,0,0,0,", "a=b", "\"quoted\"x", "  "};

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = (a[i] >= 'a' && a[i] <= 'z') ? static_cast<char>(a[i] - 32) : a[i];
        char y = (b[i] >= 'a' && b[i] <= 'z') ? static_cast<char>(b[i] - 32) : b[i];
        if (x != y)
            return false;
    }
    return true;
}

// What every section and key of the program's names reads in the document.
std::vector<std::string> Snapshot(const IniDocument& document) {
    std::vector<std::string> values;
    for (const char* section : kSections) {
        for (const char* key : kKeys) {
            std::string value;
            values.push_back(document.Find(section, key, &value) ? "=" + value : "missing");
            if (value.find_first_of("\r\n") != std::string::npos)
                std::abort();
        }
    }
    return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const size_t sections = sizeof kSections / sizeof kSections[0];
    const size_t keys = sizeof kKeys / sizeof kKeys[0];
    const size_t valueCount = sizeof kValues / sizeof kValues[0];
    size_t pick = data[0];
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    IniDocument document(text);
    if (document.Text() != text)
        std::abort();

    for (const char* section : kSections) {
        auto entries = document.Entries(section);
        for (const auto& entry : entries) {
            std::string found;
            if (!document.Find(section, entry.first, &found))
                std::abort();
            // The first entry of a key is the one a lookup finds.
            for (const auto& earlier : entries) {
                if (EqualNoCase(earlier.first, entry.first)) {
                    if (earlier.second != found)
                        std::abort();
                    break;
                }
            }
        }
    }

    std::vector<std::string> before = Snapshot(document);
    size_t sectionIndex = pick % sections;
    size_t keyIndex = (pick / sections) % keys;
    std::string value = kValues[(pick / (sections * keys)) % valueCount];
    // An empty section name is one that no header can hold apart from blanks: skip writing it.
    if (kSections[sectionIndex][0] == 0)
        return 0;
    document.Set(kSections[sectionIndex], kKeys[keyIndex], value);
    IniDocument reread(document.Text());
    std::vector<std::string> after = Snapshot(reread);
    for (size_t i = 0; i < before.size(); ++i) {
        if (i == sectionIndex * keys + keyIndex)
            continue;
        if (before[i] != after[i])
            std::abort();
    }
    std::string written;
    if (!reread.Find(kSections[sectionIndex], kKeys[keyIndex], &written))
        std::abort();
    // Find trims blanks and one pair of matching quotes, as the profile functions do.
    IniDocument alone("[x]\nk=" + value + "\n");
    std::string expected;
    alone.Find("x", "k", &expected);
    if (written != expected)
        std::abort();
    return 0;
}
