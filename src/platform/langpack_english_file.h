// The built-in English texts written out as a language file: the source a translator starts
// from (src/platform/langpack_en.lng, made by zamri-language-file; a test compares the two).
#pragma once

#include <string>

#include "platform/langpack_english.h"

namespace langpack {

inline std::string EnglishLanguageFile() {
    std::string out =
        "; zamri language file: English, the texts built into the program.\n"
        "; Made from the program's table by zamri-language-file; a translation starts from a copy.\n"
        "; To use a translation, put it beside zamri.exe under the name \"zamri.lng\".\n"
        ";\n"
        "; Lines \"key=value\"; a line \"[name]\" starts a section; lines before the first section\n"
        "; header belong to the general section. Every section in a file replaces the program's\n"
        "; built-in section of that name as a whole; sections left out stay English.\n"
        "; Blanks around keys and values are dropped; put a value in \"double quotes\" to keep them.\n"
        "; Texts are single-byte text in the Windows code page.\n";
    int count = 0;
    const BuiltInText* texts = EnglishTexts(&count);
    std::string section;
    for (int i = 0; i < count; ++i) {
        if (i == 0 || section != texts[i].section) {
            section = texts[i].section;
            out += section.empty() ? "\n" : "\n[" + section + "]\n";
        }
        std::string text = texts[i].text;
        // The reader drops blanks at either end and one pair of enclosing quotes.
        bool quote = !text.empty() && (text.front() == ' ' || text.back() == ' ' ||
                                       (text.size() >= 2 && text.front() == '"' && text.back() == '"'));
        out += std::string(texts[i].key) + "=" + (quote ? "\"" + text + "\"" : text) + "\n";
    }
    return out;
}

}  // namespace langpack
