// One camera's TCP line assembly: strips the line's end characters and marks receipt
// boundaries with attribute flags.
#pragma once

class TcpLineState {
  public:
    static constexpr int kPatternTextSize = 260;

    // Stores both; lineCount is not touched. A footer text is cut to 259 characters.
    void SetPattern(int patternFlags, const char* patternText);

    // text is a writable terminated line; flags an in/out value. Returns the length of the
    // resulting text (0 for a null text).
    int Assemble(char* text, int& flags);

    int lineCount = 0;
    int patternFlags = 0;
    char patternText[kPatternTextSize] = {};

  private:
    void BoundaryStep(int& flags);
};
