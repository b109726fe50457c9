// Fuzz target: any bytes as a language file, read through the file like the program does.
// Properties: no text keeps a line end, and reading the same file again changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/langpack.h"
#include "platform/langpack_english.h"

namespace {

std::vector<std::string> AllTexts(LangPack& pack) {
    std::vector<std::string> texts;
    int count = 0;
    const langpack::BuiltInText* table = langpack::EnglishTexts(&count);
    for (int i = 0; i < count; ++i) {
        std::string text = pack.LoadText(table[i].key, table[i].section);
        if (text.find_first_of("\r\n") != std::string::npos)
            std::abort();
        texts.push_back(text);
    }
    return texts;
}

std::string FilePath() {
    char path[64];
    std::snprintf(path, sizeof path, "language-fuzz-%lu.lng", static_cast<unsigned long>(std::rand()));
    static const std::string name = path;  // one file per process, reused
    return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = FilePath();
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    LangPack pack("zamri-fuzz-none");
    if (!pack.LoadLanguageFile(path.c_str()))
        std::abort();
    std::vector<std::string> first = AllTexts(pack);
    if (!pack.LoadLanguageFile(path.c_str()))
        std::abort();
    if (AllTexts(pack) != first)
        std::abort();
    std::remove(path.c_str());
    return 0;
}
