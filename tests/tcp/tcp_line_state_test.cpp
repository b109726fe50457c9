// A camera's line assembly: end characters and receipt boundaries, line by line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tcp/tcp_line_state.h"

namespace {

struct Step {
    std::string in;
    std::string out;
    int flags;
    int lineCount;
};

struct Scenario {
    const char* name;
    int patternFlags;
    const char* patternText;
    std::vector<Step> steps;
};

TEST(TcpLineStateTest, Scenarios) {
    const Scenario scenarios[] = {
        {"form feed receipt",
         0,
         "",
         {{"A\n", "A", 0, 1},
          {"B\n", "B", 0, 2},
          {"TOTAL\f\n", "TOTAL", 2, 0},
          {"\f\n", "", 1, 1},
          {"C\n", "C", 0, 2}}},
        {"form feed anywhere in the text, two characters removed whatever they are",
         0,
         "",
         {{"X\fYZ", "X\f", 1, 1}, {"\fQ", "", 2, 0}}},
        {"text without end characters loses its last one", 0, "", {{"ABC", "AB", 0, 1}}},
        {"empty text counts a line", 0, "", {{"", "", 0, 1}, {"", "", 0, 2}}},
        {"VT LF is kept whole and replaces the flags",
         0,
         "",
         {{"A\n", "A", 0, 1}, {"\x0b\nLOGO\n", "\x0b\nLOGO\n", 16, 1}, {"\x0b", "", 0, 2}}},
        {"footer ends the receipt",
         1,
         "THANK YOU",
         {{"A\n", "A", 0, 1},
          {"B\n", "B", 0, 2},
          {"THANK YOU\n", "THANK YOU", 2, 0},
          {"THANK YOU\n", "THANK YOU", 1, 1},
          {"x THANK YOU\f\n", "x THANK YOU", 2, 0}}},
        {"footer test is case-sensitive; a form feed only trims",
         1,
         "THANK YOU",
         {{"thank you\n", "thank you", 0, 1}, {"TOTAL\f\n", "TOTAL", 0, 2}}},
        {"empty footer makes every line a boundary",
         1,
         "",
         {{"A\n", "A", 1, 1}, {"B\n", "B", 2, 0}, {"C\n", "C", 1, 1}, {"D\n", "D", 2, 0}}},
        {"any other pattern passes lines unchanged",
         2,
         "",
         {{"A\r\n", "A\r\n", 0, 0}, {"\f\n", "\f\n", 0, 0}}},
    };
    for (const Scenario& scenario : scenarios) {
        TcpLineState state;
        state.SetPattern(scenario.patternFlags, scenario.patternText);
        for (size_t i = 0; i < scenario.steps.size(); ++i) {
            const Step& step = scenario.steps[i];
            std::vector<char> text(step.in.begin(), step.in.end());
            text.push_back(0);
            int flags = 0;
            int length = state.Assemble(text.data(), flags);
            EXPECT_EQ(std::string(text.data()), step.out) << scenario.name << ", step " << i;
            EXPECT_EQ(length, static_cast<int>(step.out.size())) << scenario.name << ", step " << i;
            EXPECT_EQ(flags, step.flags) << scenario.name << ", step " << i;
            EXPECT_EQ(state.lineCount, step.lineCount) << scenario.name << ", step " << i;
        }
    }
}

TEST(TcpLineStateTest, SetPatternKeepsTheCountAndCutsLongFooters) {
    TcpLineState state;
    int flags = 0;
    char line[] = "A\n";
    state.Assemble(line, flags);
    std::string longFooter(400, 'F');
    state.SetPattern(1, longFooter.c_str());
    EXPECT_EQ(state.lineCount, 1);
    EXPECT_EQ(std::string(state.patternText), longFooter.substr(0, TcpLineState::kPatternTextSize - 1));
    state.SetPattern(0, nullptr);
    EXPECT_EQ(std::string(state.patternText), "");
    EXPECT_EQ(state.Assemble(nullptr, flags), 0);
}

}  // namespace
