#include "tcp/tcp_line_state.h"

#include <cstring>

namespace {

constexpr char kVerticalTab = 0x0B;
constexpr char kLineFeed = 0x0A;
constexpr char kFormFeed = 0x0C;

void RemoveLast(char* text, size_t count) {
    size_t length = std::strlen(text);
    text[length > count ? length - count : 0] = 0;
}

}  // namespace

void TcpLineState::SetPattern(int flags, const char* text) {
    patternFlags = flags;
    if (text == nullptr)
        text = "";
    std::strncpy(patternText, text, kPatternTextSize - 1);
    patternText[kPatternTextSize - 1] = 0;
}

void TcpLineState::BoundaryStep(int& flags) {
    if (lineCount == 0) {
        lineCount = 1;
        flags |= 1;
    } else {
        lineCount = 0;
        flags |= 2;
    }
}

int TcpLineState::Assemble(char* text, int& flags) {
    if (text == nullptr)
        return 0;
    if (text[0] == kVerticalTab && text[1] == kLineFeed) {
        flags = 16;
        return static_cast<int>(std::strlen(text));
    }
    bool hasFormFeed = std::strchr(text, kFormFeed) != nullptr;
    if (patternFlags == 0) {
        if (hasFormFeed) {
            BoundaryStep(flags);
            RemoveLast(text, 2);
        } else {
            ++lineCount;
            RemoveLast(text, 1);
        }
    } else if (patternFlags == 1) {
        if (std::strstr(text, patternText) != nullptr) {
            BoundaryStep(flags);
        } else {
            ++lineCount;
        }
        RemoveLast(text, hasFormFeed ? 2 : 1);
    }
    return static_cast<int>(std::strlen(text));
}
