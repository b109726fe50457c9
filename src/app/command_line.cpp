#include "app/command_line.h"

#include <cctype>

namespace zamri {

namespace {
bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
}  // namespace

const char* ArgumentsOfCommandLine(const char* fullCommandLine) {
    if (fullCommandLine == nullptr)
        return "";
    const char* p = fullCommandLine;
    if (*p == '"') {
        ++p;
        while (*p != 0 && *p != '"')
            ++p;
        if (*p == '"')
            ++p;
    }
    while (*p != 0 && !IsBlank(*p))
        ++p;
    while (IsBlank(*p))
        ++p;
    return p;
}

int CommandLineIs(const char* arguments, const char* word) {
    if (arguments == nullptr || word == nullptr)
        return 0;
    while (*arguments != 0 && *word != 0) {
        if (std::tolower(static_cast<unsigned char>(*arguments)) !=
            std::tolower(static_cast<unsigned char>(*word))) {
            return 0;
        }
        ++arguments;
        ++word;
    }
    return *arguments == 0 && *word == 0 ? 1 : 0;
}

int ModeFromCommandLine(const char* arguments) {
    return CommandLineIs(arguments, "/tcp");
}

int IsPropertyCommandLine(const char* arguments) {
    return CommandLineIs(arguments, "/property");
}

}  // namespace zamri
