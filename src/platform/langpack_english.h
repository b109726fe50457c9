// The English texts built into the language pack, so the program works without a language file.
#pragma once

namespace langpack {

struct BuiltInText {
    const char* section;  // "" for the general section
    const char* key;
    const char* text;
};

// The table and its length.
const BuiltInText* EnglishTexts(int* count);

}  // namespace langpack
