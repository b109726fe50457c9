// zamri-language-file: writes the English language file (src/platform/langpack_en.lng) from the
// texts built into the program, so that translators start from every text there is; a test
// compares the two.
//
//   zamri-language-file > src/platform/langpack_en.lng
#include <cstdio>
#include <string>

#include "platform/langpack_english_file.h"

int main(int argc, char** argv) {
    if (argc > 1) {
        std::fputs("usage: zamri-language-file > src/platform/langpack_en.lng\n", stderr);
        return 2;
    }
    std::string file = langpack::EnglishLanguageFile();
    return std::fwrite(file.data(), 1, file.size(), stdout) == file.size() ? 0 : 1;
}
