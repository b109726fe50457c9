// The line filter as a value: the Important and Ignore lists, compared without regard to the
// case of the ASCII letters. The delivery step holds one and swaps it whole when the lists
// change, so every line is filtered by one set of lists from start to end, and no reader ever
// waits for a change.
#pragma once

#include <string>
#include <vector>

constexpr int kFilterImportant = 0;
constexpr int kFilterIgnore = 1;

class LineFilter {
  public:
    LineFilter() = default;
    LineFilter(std::vector<std::string> important, std::vector<std::string> ignore)
        : important_(std::move(important)), ignore_(std::move(ignore)) {}

    // 1 keep the line (an Important match adds kLineFlagImportant to flags), 0 drop it. An empty
    // text is kept whatever the lists hold. Allocates nothing.
    int Apply(const char* text, int& flags) const;

    const std::vector<std::string>& Important() const { return important_; }
    const std::vector<std::string>& Ignore() const { return ignore_; }

  private:
    std::vector<std::string> important_;
    std::vector<std::string> ignore_;
};
