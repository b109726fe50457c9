#include "mask/mask_pattern.h"

#include <cstring>

namespace {

const char kRegexPrefix[] = "re:";
constexpr size_t kRegexPrefixLength = sizeof kRegexPrefix - 1;
// Selects the breadth-first matcher (a GNU C++ library option; the library of both builds).
constexpr std::regex_constants::syntax_option_type kBreadthFirst = std::regex_constants::__polynomial;

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string Quoted(const std::string& text) {
    return "The mask \"" + text + "\"";
}

// The matcher keeps one state for every position of the expression with its counted repeats
// written out ("a{3}" is "aaa") and weighs each state at every character of a line, so the
// written-out size bounds the time a line costs. The library would also read an overlong count
// or group number into an integer that overflows.
constexpr long kMaxWrittenOut = 1000;

enum class Shape { kFits, kBackReference, kTooLarge };
const char kBackReferenceRefused[] = " refers back to a group (\\1 and the like), which a mask cannot do.";

// Reads the expression from e[i] up to a ')' at this depth or the end; *size is its size written
// out, capped above kMaxWrittenOut. Syntax errors are left to the library.
Shape WrittenOut(const std::string& e, size_t& i, long* size) {
    long total = 0;
    long branch = 0;
    while (i < e.size() && e[i] != ')') {
        long atom = 1;
        char c = e[i];
        if (c == '|') {
            total += branch;
            branch = 0;
            ++i;
            continue;
        }
        if (c == '(') {
            ++i;
            if (i < e.size() && e[i] == '?')
                i += 2;  // (?: (?= (?!
            Shape inner = WrittenOut(e, i, &atom);
            if (inner != Shape::kFits)
                return inner;
            ++i;  // the ')'
        } else if (c == '[') {
            ++i;
            if (i < e.size() && e[i] == '^')
                ++i;
            if (i < e.size() && e[i] == ']')
                ++i;
            while (i < e.size() && e[i] != ']')
                i += e[i] == '\\' ? 2 : 1;
            ++i;
        } else if (c == '\\') {
            if (i + 1 < e.size() && e[i + 1] >= '1' && e[i + 1] <= '9')
                return Shape::kBackReference;
            i += 2;
        } else {
            ++i;
        }
        long count = 1;
        if (i < e.size() && e[i] == '{' && i + 1 < e.size() && IsDigit(e[i + 1])) {
            long low = 0;
            long high = -1;
            long* number = &low;
            for (++i; i < e.size() && (IsDigit(e[i]) || e[i] == ','); ++i) {
                if (e[i] == ',') {
                    high = 0;
                    number = &high;
                    continue;
                }
                *number = *number * 10 + (e[i] - '0');
                if (*number > kMaxWrittenOut)
                    return Shape::kTooLarge;
            }
            count = high > low ? high : high == 0 ? low + 1 : low;
        }
        branch += atom * (count > 0 ? count : 1);
        if (branch > kMaxWrittenOut)
            return Shape::kTooLarge;
    }
    total += branch;
    *size = total > kMaxWrittenOut ? kMaxWrittenOut + 1 : total;
    return total > kMaxWrittenOut ? Shape::kTooLarge : Shape::kFits;
}

Shape ExpressionShape(const std::string& expression) {
    size_t i = 0;
    long size = 0;
    while (i < expression.size()) {
        Shape shape = WrittenOut(expression, i, &size);
        if (shape != Shape::kFits)
            return shape;
        ++i;  // a ')' without its '(': the library reports it
    }
    return Shape::kFits;
}

}  // namespace

int MaskPattern::Compile(const std::string& text, std::string* error) {
    source = text;
    elements.clear();
    hasWildcard = false;
    regex.reset();
    std::string ignored;
    std::string& message = error != nullptr ? *error : ignored;
    if (text.empty()) {
        message = "A mask cannot be empty.";
        return 0;
    }
    if (text.size() > static_cast<size_t>(kMaxLength)) {
        message = Quoted(text.substr(0, 40) + "...") + " is longer than 255 characters.";
        return 0;
    }
    if (text.compare(0, kRegexPrefixLength, kRegexPrefix) == 0)
        return CompileRegex(&message);
    return CompileWildcard(&message);
}

int MaskPattern::CompileWildcard(std::string* error) {
    bool consumes = false;  // whether every match holds at least one character
    for (size_t i = 0; i < source.size(); ++i) {
        char c = source[i];
        if (c == '\\') {
            if (i + 1 == source.size()) {
                *error = Quoted(source) + " ends with a lone \\ (write \\\\ for a backslash).";
                return 0;
            }
            elements.push_back({Kind::Literal, Upper(source[++i])});
            consumes = true;
            continue;
        }
        switch (c) {
            case '#':
                elements.push_back({Kind::Digit, 0});
                hasWildcard = consumes = true;
                break;
            case '?':
                elements.push_back({Kind::AnyChar, 0});
                hasWildcard = consumes = true;
                break;
            case '*':
                // Two stars in a row mean no more than one.
                if (elements.empty() || elements.back().kind != Kind::Word)
                    elements.push_back({Kind::Word, 0});
                hasWildcard = true;
                break;
            case ' ':
                if (elements.empty() || elements.back().kind != Kind::Blanks)
                    elements.push_back({Kind::Blanks, 0});
                consumes = true;
                break;
            default:
                elements.push_back({Kind::Literal, Upper(c)});
                consumes = true;
        }
    }
    if (!consumes) {
        *error = Quoted(source) + " would match an empty text: it needs a letter, a digit, # or ?.";
        return 0;
    }
    return 1;
}

int MaskPattern::CompileRegex(std::string* error) {
    std::string expression = source.substr(kRegexPrefixLength);
    Shape shape = ExpressionShape(expression);
    if (shape == Shape::kBackReference) {
        *error = Quoted(source) + kBackReferenceRefused;
        return 0;
    }
    if (shape == Shape::kTooLarge) {
        *error = Quoted(source) + " is too large: with its repeats written out ({3} as three times) it " +
                 "would be longer than " + std::to_string(kMaxWrittenOut) + " characters.";
        return 0;
    }
    try {
        // The library's default matcher recurses once per character or more: a pattern such as
        // ((a|b| )+)+ over a long line needs megabytes of stack and would crash the capturing
        // thread. The breadth-first matcher recurses only as deep as the pattern and takes time
        // in proportion to the line; it always prefers the longest match (for masking, hiding
        // the most) and has no back-references, which are refused here.
        auto compiled = std::make_shared<const std::regex>(
            expression, std::regex::ECMAScript | std::regex::icase | std::regex::optimize | kBreadthFirst);
        if (std::regex_search("", *compiled)) {
            *error = Quoted(source) + " matches an empty text; it must match at least one character.";
            return 0;
        }
        regex = std::move(compiled);
    } catch (const std::regex_error& failure) {
        if (failure.code() == std::regex_constants::error_complexity)
            *error = Quoted(source) + kBackReferenceRefused;
        else
            *error = Quoted(source) + " is not a valid regular expression: " + failure.what();
        return 0;
    } catch (const std::exception&) {
        *error = Quoted(source) + " cannot be compiled.";
        return 0;
    }
    return 1;
}

int MaskPattern::Apply(char* text, int length) const {
    if (text == nullptr || length <= 0)
        return 0;
    return regex != nullptr ? ApplyRegex(text, length) : ApplyWildcard(text, length);
}

int MaskPattern::ApplyRegex(char* text, int length) const {
    int masked = 0;
    try {
        for (std::cregex_iterator it(text, text + length, *regex), end; it != end; ++it) {
            const std::cmatch& match = *it;
            if (match.length(0) == 0)
                continue;
            for (size_t g = match.size() > 1 ? 1 : 0; g < match.size(); ++g) {
                if (match[g].matched)
                    std::memset(text + match.position(g), '*', static_cast<size_t>(match.length(g)));
            }
            ++masked;
        }
    } catch (const std::exception&) {
        // The library gave up on this line (too complex); what was found so far stays masked.
    }
    return masked;
}

// Matching keeps a memo of the (element, position) pairs known to fail: whether the rest of a
// pattern matches from a position depends only on the text from there on, not on where the
// match began or on what was masked before it, so each pair is tried at most once per line and
// no pattern can take exponential time.
int MaskPattern::ApplyWildcard(char* text, int length) const {
    thread_local std::vector<unsigned char> failed;
    thread_local std::vector<int> ends;
    const int count = static_cast<int>(elements.size());
    failed.assign(static_cast<size_t>(count) * static_cast<size_t>(length + 1), 0);
    ends.assign(static_cast<size_t>(count), 0);

    // Returns whether elements[e..] match from pos; fills ends on success.
    struct Matcher {
        const std::vector<Element>& elements;
        const char* text;
        int length;
        bool Run(int e, int pos) {
            if (e == static_cast<int>(elements.size()))
                return true;
            unsigned char& known = failed[static_cast<size_t>(e) * static_cast<size_t>(length + 1) + pos];
            if (known)
                return false;
            const Element& element = elements[static_cast<size_t>(e)];
            bool ok = false;
            switch (element.kind) {
                case Kind::Literal:
                    ok = pos < length && Upper(text[pos]) == element.c && Run(e + 1, pos + 1) &&
                         Set(e, pos + 1);
                    break;
                case Kind::Digit:
                    ok = pos < length && IsDigit(text[pos]) && Run(e + 1, pos + 1) && Set(e, pos + 1);
                    break;
                case Kind::AnyChar:
                    ok = pos < length && Run(e + 1, pos + 1) && Set(e, pos + 1);
                    break;
                case Kind::Word:
                case Kind::Blanks: {
                    char blank = ' ';
                    int end = pos;
                    if (element.kind == Kind::Word) {
                        while (end < length && text[end] != blank)
                            ++end;
                    } else {
                        while (end < length && text[end] == blank)
                            ++end;
                    }
                    int shortest = element.kind == Kind::Word ? pos : pos + 1;
                    for (int stop = end; stop >= shortest && !ok; --stop)
                        ok = Run(e + 1, stop) && Set(e, stop);
                    break;
                }
            }
            if (!ok)
                known = 1;
            return ok;
        }
        bool Set(int e, int end) {
            ends[static_cast<size_t>(e)] = end;
            return true;
        }
    };
    Matcher matcher{elements, text, length};

    int masked = 0;
    int start = 0;
    while (start < length) {
        if (!matcher.Run(0, start)) {
            ++start;
            continue;
        }
        int matchEnd = count > 0 ? ends[static_cast<size_t>(count - 1)] : start;
        if (!hasWildcard) {
            std::memset(text + start, '*', static_cast<size_t>(matchEnd - start));
        } else {
            int from = start;
            for (int e = 0; e < count; ++e) {
                int to = ends[static_cast<size_t>(e)];
                Kind kind = elements[static_cast<size_t>(e)].kind;
                if (kind == Kind::Digit || kind == Kind::AnyChar || kind == Kind::Word)
                    std::memset(text + from, '*', static_cast<size_t>(to - from));
                from = to;
            }
        }
        ++masked;
        start = matchEnd > start ? matchEnd : start + 1;
    }
    return masked;
}
