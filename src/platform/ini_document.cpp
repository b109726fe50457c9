#include "platform/ini_document.h"

#include "platform/text_lines.h"

namespace zamri {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string Trim(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

char FoldAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i]))
            return false;
    }
    return true;
}

// "[name]" after leading blanks; the name is what stands between the brackets, trimmed.
bool ParseSectionHeader(const std::string& line, std::string* name) {
    size_t begin = 0;
    while (begin < line.size() && IsBlank(line[begin]))
        ++begin;
    if (begin >= line.size() || line[begin] != '[')
        return false;
    size_t close = line.find(']', begin + 1);
    if (close == std::string::npos)
        close = line.size();
    *name = Trim(line.substr(begin + 1, close - begin - 1));
    return true;
}

}  // namespace

IniDocument::IniDocument(const std::string& text) {
    size_t start = 0;
    while (start < text.size()) {
        Line line;
        size_t textEnd;
        size_t next = NextLine(text, start, &textEnd, &line.ending);
        line.text = text.substr(start, textEnd - start);
        start = next;
        lines_.push_back(std::move(line));
    }
}

bool IniDocument::ParseKey(const std::string& line, std::string* key, std::string* value) {
    size_t equals = line.find('=');
    if (equals == std::string::npos)
        return false;
    std::string name = Trim(line.substr(0, equals));
    if (name.empty() || name[0] == ';' || name[0] == '[')
        return false;
    *key = name;
    std::string raw = Trim(line.substr(equals + 1));
    if (raw.size() >= 2 && (raw[0] == '"' || raw[0] == '\'') && raw.back() == raw[0]) {
        raw = raw.substr(1, raw.size() - 2);
    }
    *value = raw;
    return true;
}

int IniDocument::FindSection(const std::string& section) const {
    std::string name;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (ParseSectionHeader(lines_[i].text, &name) && EqualNoCase(name, section))
            return static_cast<int>(i);
    }
    return -1;
}

int IniDocument::SectionEnd(int header) const {
    std::string name;
    size_t i = static_cast<size_t>(header) + 1;
    while (i < lines_.size() && !ParseSectionHeader(lines_[i].text, &name))
        ++i;
    return static_cast<int>(i);
}

bool IniDocument::Find(const std::string& section, const std::string& key, std::string* value) const {
    int header = FindSection(section);
    if (header < 0)
        return false;
    int end = SectionEnd(header);
    std::string name;
    std::string found;
    for (int i = header + 1; i < end; ++i) {
        if (ParseKey(lines_[static_cast<size_t>(i)].text, &name, &found) && EqualNoCase(name, key)) {
            *value = found;
            return true;
        }
    }
    return false;
}

std::vector<std::pair<std::string, std::string>> IniDocument::Entries(const std::string& section) const {
    std::vector<std::pair<std::string, std::string>> entries;
    int header = FindSection(section);
    if (header < 0)
        return entries;
    int end = SectionEnd(header);
    std::string name;
    std::string value;
    for (int i = header + 1; i < end; ++i) {
        if (ParseKey(lines_[static_cast<size_t>(i)].text, &name, &value))
            entries.emplace_back(name, value);
    }
    return entries;
}

std::string IniDocument::NewLineEnding() const {
    for (const Line& line : lines_) {
        if (!line.ending.empty())
            return line.ending;
    }
    return "\n";
}

void IniDocument::Set(const std::string& section, const std::string& key, const std::string& value) {
    const std::string ending = NewLineEnding();
    std::string keyLine = key + "=" + value;
    int header = FindSection(section);
    if (header < 0) {
        if (!lines_.empty() && lines_.back().ending.empty())
            lines_.back().ending = ending;
        lines_.push_back(Line{"[" + section + "]", ending});
        lines_.push_back(Line{keyLine, ending});
        return;
    }
    int end = SectionEnd(header);
    std::string name;
    std::string old;
    for (int i = header + 1; i < end; ++i) {
        Line& line = lines_[static_cast<size_t>(i)];
        if (ParseKey(line.text, &name, &old) && EqualNoCase(name, key)) {
            line.text = keyLine;
            return;
        }
    }
    // New keys go after the section's last non-blank line, so blank lines that separate it
    // from the next section stay where they are.
    int insertAt = end;
    while (insertAt > header + 1 && Trim(lines_[static_cast<size_t>(insertAt - 1)].text).empty())
        --insertAt;
    Line& before = lines_[static_cast<size_t>(insertAt - 1)];
    if (before.ending.empty())
        before.ending = ending;
    lines_.insert(lines_.begin() + insertAt, Line{keyLine, ending});
}

void IniDocument::RemoveKey(const std::string& section, const std::string& key) {
    int header = FindSection(section);
    if (header < 0)
        return;
    int end = SectionEnd(header);
    std::string name;
    std::string old;
    for (int i = header + 1; i < end; ++i) {
        if (ParseKey(lines_[static_cast<size_t>(i)].text, &name, &old) && EqualNoCase(name, key)) {
            lines_.erase(lines_.begin() + i);
            return;
        }
    }
}

void IniDocument::RemoveSection(const std::string& section) {
    int header = FindSection(section);
    if (header < 0)
        return;
    int end = SectionEnd(header);
    while (end > header + 1 && Trim(lines_[static_cast<size_t>(end - 1)].text).empty())
        --end;
    lines_.erase(lines_.begin() + header, lines_.begin() + end);
}

std::string IniDocument::Text() const {
    std::string text;
    for (const Line& line : lines_) {
        text += line.text;
        text += line.ending;
    }
    return text;
}

}  // namespace zamri
