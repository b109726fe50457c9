// The language pack substitute: built-in English texts, optionally replaced section by section
// from the language file "<short name>.lng" beside the program.
//
// Language file format (single-byte text in the Windows code page):
//   ; comment            (also "#"; blank lines are skipped)
//   title=zamri          keys before the first header belong to the general section
//   [Menu]               a section header
//   exit=E&xit           key=value; blanks around both are dropped, "..." keeps them
// Section and key names are compared without regard to case.
#include "platform/langpack.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "platform/langpack_english.h"
#include "platform/langpack_window.h"
#include "platform/text_lines.h"

namespace {

std::string Lower(const char* text) {
    std::string out = text != nullptr ? text : "";
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Texts are filed under "section<US>key", both in lower case; the general section is "".
const char kUnitSeparator = '\x1f';

std::string Slot(const std::string& lowerSection, const std::string& lowerKey) {
    return lowerSection + kUnitSeparator + lowerKey;
}

std::string Trim(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t'))
        ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r'))
        --end;
    return text.substr(begin, end - begin);
}

bool ReadWholeFile(const char* path, std::string& out) {
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        return false;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        out.append(chunk, got);
    bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

}  // namespace

struct LangPack::Store {
    std::map<std::string, std::string> texts;
    std::string filePath;
};

LangPack::LangPack(const char* shortName) : store(new Store) {
    UseBuiltInTexts();
    char directory[300];
    char separator = '/';
    if (langpack::ProgramDirectory(directory, sizeof directory, &separator) > 0) {
        std::string path =
            std::string(directory) + separator + (shortName != nullptr ? shortName : "") + ".lng";
        if (LoadLanguageFile(path.c_str()))
            store->filePath = path;
    }
}

LangPack::~LangPack() {
    delete store;
}

void LangPack::UseBuiltInTexts() {
    store->texts.clear();
    int count = 0;
    const langpack::BuiltInText* table = langpack::EnglishTexts(&count);
    for (int i = 0; i < count; ++i) {
        store->texts[Slot(Lower(table[i].section), Lower(table[i].key))] = table[i].text;
    }
}

int LangPack::LoadLanguageFile(const char* path) {
    std::string content;
    if (path == nullptr || !ReadWholeFile(path, content))
        return 0;
    if (content.compare(0, 3, "\xEF\xBB\xBF") == 0)
        content.erase(0, 3);  // a byte-order mark from an editor

    std::map<std::string, std::string> read;
    std::set<std::string> sections;
    std::string section;  // general
    size_t position = 0;
    std::string ending;
    while (position < content.size()) {
        size_t end;
        size_t next = zamri::NextLine(content, position, &end, &ending);
        std::string line = Trim(content.substr(position, end - position));
        position = next;
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[') {
            size_t close = line.find(']');
            if (close == std::string::npos)
                continue;
            section = Lower(Trim(line.substr(1, close - 1)).c_str());
            sections.insert(section);
            continue;
        }
        size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        std::string key = Lower(Trim(line.substr(0, equals)).c_str());
        if (key.empty())
            continue;
        std::string value = Trim(line.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        sections.insert(section);
        read[Slot(section, key)] = value;
    }

    for (const std::string& replaced : sections) {
        std::string prefix = replaced + kUnitSeparator;
        auto it = store->texts.lower_bound(prefix);
        while (it != store->texts.end() && it->first.compare(0, prefix.size(), prefix) == 0) {
            it = store->texts.erase(it);
        }
    }
    for (auto& entry : read)
        store->texts[entry.first] = entry.second;
    return 1;
}

const char* LangPack::LanguageFilePath() const {
    return store->filePath.c_str();
}

char* LangPack::LoadText(char* buffer, int size, const char* key, const char* section) {
    if (buffer == nullptr || size <= 0)
        return nullptr;
    buffer[0] = 0;
    if (key == nullptr)
        return nullptr;
    auto it = store->texts.find(Slot(Lower(section), Lower(key)));
    if (it == store->texts.end())
        return nullptr;
    size_t keep =
        it->second.size() < static_cast<size_t>(size - 1) ? it->second.size() : static_cast<size_t>(size - 1);
    std::memcpy(buffer, it->second.data(), keep);
    buffer[keep] = 0;
    return buffer;
}

const char* LangPack::LoadText(const char* key, const char* section) {
    if (key == nullptr)
        return "";
    auto it = store->texts.find(Slot(Lower(section), Lower(key)));
    return it != store->texts.end() ? it->second.c_str() : "";
}

int LangPack::ResourceId(int id) {
    return id;
}

void LangPack::ShapeDialogItems(void* dialog, const DlgItemShape* items, int count) {
    if (items == nullptr)
        return;
    for (int i = 0; i < count; ++i) {
        if (items[i].key == nullptr)
            continue;
        auto it = store->texts.find(Slot(Lower(items[i].section), Lower(items[i].key)));
        if (it != store->texts.end())
            langpack::SetControlText(dialog, items[i].controlId, it->second.c_str());
    }
}

int DialogHelper::CenterDialog(void* window) {
    return langpack::CenterWindow(window);
}
