// One user mask: a pattern whose matches in a printed line are replaced by '*', one for each
// character, so the line keeps its length.
//
// Wildcard form (for store managers), letters compared without regard to case:
//   #   one digit            ?   any one character
//   *   a word or part of one: any run of characters without a blank, also none
//   a blank stands for one or more blanks; \# \? \* \\ stand for the character itself.
// What the wildcards matched is masked and the plain text around it stays, so "MEMBER *" turns
// "MEMBER 0042424242" into "MEMBER **********". A pattern without wildcards masks its own text.
//
// Regular-expression form (for installers): "re:" and an ECMAScript regular expression, letters
// compared without regard to case. With capture groups only what the groups matched is masked,
// otherwise the whole match: "re:MEMBER\s+(\d+)" leaves "MEMBER" readable.
#pragma once

#include <memory>
#include <regex>
#include <string>
#include <vector>

class MaskPattern {
  public:
    static constexpr int kMaxLength = 255;  // what the settings file keeps of a value

    // Compiles text; 1, or 0 with a sentence for the user in *error (when error is not null)
    // naming the pattern and what is wrong with it.
    int Compile(const std::string& text, std::string* error);

    // Masks every match in text (length bytes, in place); returns how many matches were masked.
    int Apply(char* text, int length) const;

    const std::string& Text() const { return source; }

  private:
    enum class Kind { Literal, Digit, AnyChar, Word, Blanks };
    struct Element {
        Kind kind;
        char c;
    };

    int CompileWildcard(std::string* error);
    int CompileRegex(std::string* error);
    int ApplyWildcard(char* text, int length) const;
    int ApplyRegex(char* text, int length) const;

    std::string source;
    std::vector<Element> elements;
    bool hasWildcard = false;
    std::shared_ptr<const std::regex> regex;  // the regular-expression form only
};
