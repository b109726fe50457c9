// Fuzz target: user masks. The input up to its first line end is a pattern (wildcard form, or a
// regular expression after "re:"), the rest the printed line it is applied to.
// Properties: compiling never crashes and a refusal always says why; a compiled pattern keeps
// the line's length, changes nothing but into '*', and counts a match for every change.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "mask/mask_pattern.h"

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t end = input.find('\n');
    std::string pattern = input.substr(0, end);
    std::string line = end == std::string::npos ? std::string() : input.substr(end + 1);
    if (line.size() > 1023)
        line.resize(1023);

    MaskPattern mask;
    std::string error;
    if (!mask.Compile(pattern, &error)) {
        Require(!error.empty());
        return 0;
    }
    std::string text = line;
    int matches = mask.Apply(&text[0], static_cast<int>(text.size()));
    Require(text.size() == line.size() && matches >= 0);
    bool changed = false;
    for (size_t i = 0; i < line.size(); ++i) {
        Require(text[i] == line[i] || text[i] == '*');
        changed |= text[i] != line[i];
    }
    Require(!changed || matches > 0);
    return 0;
}
