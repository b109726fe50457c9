#include "journal/literal_scanner.h"

#include "journal/text_fold.h"

namespace zamri {

namespace {

bool IsLower(unsigned char c) {
    return c >= 'a' && c <= 'z';
}

// Where the group or class opened at i ends (the index of its ')' or ']'), or npos.
size_t SkipBracket(const std::string& e, size_t i) {
    if (e[i] == '[') {
        size_t j = i + 1;
        if (j < e.size() && e[j] == '^')
            ++j;
        if (j < e.size() && e[j] == ']')
            ++j;
        for (; j < e.size(); ++j) {
            if (e[j] == '\\')
                ++j;
            else if (e[j] == ']')
                return j;
        }
        return std::string::npos;
    }
    int depth = 0;
    for (size_t j = i; j < e.size(); ++j) {
        if (e[j] == '\\') {
            ++j;
        } else if (e[j] == '[') {
            j = SkipBracket(e, j);
            if (j == std::string::npos)
                return j;
        } else if (e[j] == '(') {
            ++depth;
        } else if (e[j] == ')' && --depth == 0) {
            return j;
        }
    }
    return std::string::npos;
}

}  // namespace

std::string RawLiteral(const std::string& needle) {
    size_t bestStart = 0, bestLength = 0, start = 0;
    for (size_t i = 0; i <= needle.size(); ++i) {
        unsigned char c = i < needle.size() ? static_cast<unsigned char>(needle[i]) : 0;
        bool plain = c >= 0x20 && c < 0x7F && c != '"' && c != '\\';
        if (!plain) {
            if (i - start > bestLength) {
                bestStart = start;
                bestLength = i - start;
            }
            start = i + 1;
        }
    }
    if (bestLength < 3 && bestLength != needle.size())
        return std::string();
    return needle.substr(bestStart, bestLength);
}

std::string RequiredLiteral(const std::string& e, bool foldCase) {
    if (e.find('|') != std::string::npos)
        return std::string();
    std::string best, run;
    auto endRun = [&] {
        if (run.size() > best.size())
            best = run;
        run.clear();
    };
    for (size_t i = 0; i < e.size(); ++i) {
        char c = e[i];
        if (c == '\\') {
            if (++i >= e.size())
                return std::string();
            char x = e[i];
            bool letter = (x >= 'a' && x <= 'z') || (x >= 'A' && x <= 'Z');
            if (letter || (x >= '0' && x <= '9')) {
                // A class, an anchor or a character by number: the run ends, and so do the
                // escape's own characters.
                endRun();
                if (x == 'k')
                    return std::string();
                size_t own = x == 'x' ? 2 : x == 'u' ? 4 : x == 'c' ? 1 : 0;
                if (x >= '0' && x <= '9')
                    while (i + 1 < e.size() && e[i + 1] >= '0' && e[i + 1] <= '9')
                        ++i;
                i += own;
                continue;
            }
            run.push_back(x);
            continue;
        }
        switch (c) {
            case '?':
            case '*':
            case '{':
                if (!run.empty())
                    run.pop_back();
                endRun();
                if (c == '{' && (i = e.find('}', i)) == std::string::npos)
                    return std::string();
                break;
            case '(':
            case '[':
                endRun();
                if ((i = SkipBracket(e, i)) == std::string::npos)
                    return std::string();
                break;
            case '+':
            case '.':
            case '^':
            case '$':
            case ')':
            case ']':
            case '}':
                endRun();
                break;
            default:
                run.push_back(foldCase ? static_cast<char>(FoldAscii(static_cast<unsigned char>(c))) : c);
        }
    }
    endRun();
    std::string literal = RawLiteral(best);
    return literal.size() >= 3 ? literal : std::string();
}

void LiteralScanner::Init(const std::string& literal, bool foldCase) {
    fold = foldCase;
    pattern.clear();
    for (char c : literal)
        pattern.push_back(fold ? static_cast<char>(FoldAscii(static_cast<unsigned char>(c))) : c);
    if (pattern.empty())
        return;
    firstByte = static_cast<unsigned char>(pattern.front());
    lastByte = static_cast<unsigned char>(pattern.back());
    // Bit 0x20 set in a byte turns an upper-case ASCII letter into its lower case; where the
    // literal has a lower-case letter it is set in the tested bytes, so both cases agree.
    firstMask = fold && IsLower(firstByte) ? 0x20 : 0;
    lastMask = fold && IsLower(lastByte) ? 0x20 : 0;
}

std::vector<size_t> LiteralScanner::CandidateLines(std::string_view block) const {
    std::vector<size_t> starts;
    size_t at = 0;
    while ((at = Find(block.data(), block.size(), at)) != std::string::npos) {
        size_t start = block.rfind('\n', at);
        start = (start == std::string::npos) ? 0 : start + 1;
        starts.push_back(start);
        size_t end = block.find('\n', at);
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    return starts;
}

}  // namespace zamri
