#include "receipt/line_pattern.h"

#include <algorithm>

namespace zamri {

namespace {

std::string Quoted(std::string_view text) {
    return "The pattern \"" + std::string(text) + "\"";
}

bool IsSeparatedDigit(std::string_view s, size_t i) {
    return i + 1 < s.size() && (s[i] == '-' || s[i] == '/' || s[i] == '.') && IsDigit(s[i + 1]);
}

// End of a {number} at s[p], or 0.
size_t NumberEnd(std::string_view s, size_t p) {
    if (p >= s.size() || !IsDigit(s[p]) || (p > 0 && IsDigit(s[p - 1])))
        return 0;
    size_t i = p;
    while (i < s.size() && (IsDigit(s[i]) || IsSeparatedDigit(s, i)))
        ++i;
    return i;
}

}  // namespace

int LinePattern::Compile(std::string_view text, Scope reach, const TextFolder& folder, std::string* error) {
    source.assign(text);
    lead.clear();
    needle.clear();
    elements.clear();
    hasAmount = hasValue = false;
    scope = reach;
    std::string ignored;
    std::string& message = error != nullptr ? *error : ignored;
    if (text.size() > static_cast<size_t>(kMaxLength)) {
        message = Quoted(std::string(text.substr(0, 40)) + "...") + " is longer than 255 characters.";
        return 0;
    }
    FoldedLine folded;
    folder.Fold(text, &folded);
    const std::string& f = folded.text;
    bool leadDone = false;
    for (size_t i = 0; i < f.size(); ++i) {
        char c = f[i];
        Kind kind = Kind::Literal;
        if (c == '\\') {
            if (i + 1 == f.size()) {
                message = Quoted(text) + " ends with a lone \\ (write \\\\ for a backslash).";
                return 0;
            }
            c = f[++i];
        } else if (IsFoldedBlank(c)) {
            kind = Kind::Blanks;
        } else if (c == '*') {
            kind = Kind::Any;
        } else if (c == '}') {
            message = Quoted(text) + " has a } without its { (write \\} for the character itself).";
            return 0;
        } else if (c == '{') {
            size_t close = f.find('}', i);
            if (close == std::string::npos) {
                message = Quoted(text) + " has a { without its } (write \\{ for the character itself).";
                return 0;
            }
            std::string_view name = std::string_view(f).substr(i + 1, close - i - 1);
            if (name == "AMOUNT") {
                kind = Kind::Amount;
            } else if (name == "TEXT") {
                kind = Kind::Text;
            } else if (name == "WORD") {
                kind = Kind::Word;
            } else if (name == "NUMBER") {
                kind = Kind::Number;
            } else {
                message = Quoted(text) + " has an unknown field {" +
                          std::string(folded.Original(text, i + 1, close)) +
                          "}: the fields are {amount}, {text}, {word} and {number}.";
                return 0;
            }
            if (kind == Kind::Amount) {
                if (hasAmount) {
                    message = Quoted(text) + " has more than one {amount}.";
                    return 0;
                }
                hasAmount = true;
            } else {
                if (hasValue) {
                    message = Quoted(text) + " has more than one of {text}, {word} and {number}.";
                    return 0;
                }
                hasValue = true;
            }
            i = close;
        }
        // Runs of blanks, and of stars, are one element each.
        if ((kind == Kind::Blanks || kind == Kind::Any) && !elements.empty() && elements.back().kind == kind)
            continue;
        elements.push_back({kind, c});
        if (!leadDone) {
            if (kind == Kind::Literal) {
                std::string_view original = folded.Original(text, i, i + 1);
                for (char o : original)
                    lead.push_back((o >= 'a' && o <= 'z') ? static_cast<char>(o - 32) : o);
            } else if (kind == Kind::Blanks) {
                if (!lead.empty())
                    lead.push_back(' ');
            } else if (kind != Kind::Any || !lead.empty()) {
                leadDone = true;
            }
        }
    }
    while (!lead.empty() && lead.back() == ' ')
        lead.pop_back();
    if (scope == Scope::WholeLine) {
        while (!elements.empty() && elements.front().kind == Kind::Blanks)
            elements.erase(elements.begin());
        while (!elements.empty() && elements.back().kind == Kind::Blanks)
            elements.pop_back();
    }
    bool selective = false;
    for (const Element& e : elements)
        if (e.kind != Kind::Any && e.kind != Kind::Blanks && e.kind != Kind::Text)
            selective = true;
    if (!selective) {
        message = elements.empty() ? "A pattern cannot be empty."
                                   : Quoted(text) +
                                         " would match every line: it needs some text, "
                                         "{amount}, {word} or {number}.";
        return 0;
    }
    if (scope == Scope::Anywhere) {
        if (elements.front().kind != Kind::Any)
            elements.insert(elements.begin(), {Kind::Any, 0});
        if (elements.back().kind != Kind::Any)
            elements.push_back({Kind::Any, 0});
    }
    std::string run;
    for (const Element& e : elements) {
        if (e.kind == Kind::Literal) {
            run.push_back(e.c);
            if (run.size() > needle.size())
                needle = run;
        } else {
            run.clear();
        }
    }
    return 1;
}

// reach[i * (n + 1) + p] = 1 when elements i.. match s[p, n) exactly.
void LinePattern::Fill(std::string_view s, PatternScratch* scratch) const {
    size_t n = s.size();
    size_t m = elements.size();
    size_t width = n + 1;
    scratch->reach.assign((m + 1) * width, 0);
    scratch->counts.resize(width + 1);
    uint8_t* reach = scratch->reach.data();
    reach[m * width + n] = 1;
    for (size_t i = m; i-- > 0;) {
        const Element& e = elements[i];
        uint8_t* row = reach + i * width;
        const uint8_t* next = row + width;
        if (e.kind == Kind::Text || e.kind == Kind::Word) {
            // counts[q] = ends that reach the rest of the pattern among [0, q).
            uint32_t* counts = scratch->counts.data();
            counts[0] = 0;
            for (size_t q = 0; q < width; ++q)
                counts[q + 1] = counts[q] + next[q];
        }
        const uint32_t* counts = scratch->counts.data();
        size_t nonBlank = n;  // first non-blank at or after p
        size_t runEnd = n;    // end of the run of the same class (blank or not) that p is in
        for (size_t p = n + 1; p-- > 0;) {
            if (p < n) {
                bool blank = IsFoldedBlank(s[p]);
                if (!blank)
                    nonBlank = p;
                if (p + 1 == n || IsFoldedBlank(s[p + 1]) != blank)
                    runEnd = p + 1;
            }
            uint8_t ok = 0;
            switch (e.kind) {
                case Kind::Literal:
                    ok = p < n && s[p] == e.c && next[p + 1];
                    break;
                case Kind::Blanks:
                    ok = p < n && IsFoldedBlank(s[p]) && next[runEnd];
                    break;
                case Kind::Any:
                    ok = next[p] || (p < n && row[p + 1]);
                    break;
                case Kind::Text:
                    // Some end after the first non-blank.
                    ok = nonBlank < n && counts[width] - counts[nonBlank + 1] > 0;
                    break;
                case Kind::Word:
                    ok = p < n && !IsFoldedBlank(s[p]) && counts[runEnd + 1] - counts[p + 1] > 0;
                    break;
                case Kind::Number: {
                    size_t end = NumberEnd(s, p);
                    ok = end != 0 && next[end];
                    break;
                }
                case Kind::Amount: {
                    AmountText amount;
                    ok = ReadAmountAt(s, p, AmountForm::Written, &amount) &&
                         (next[amount.end] || next[amount.numberEnd]);
                    break;
                }
            }
            row[p] = ok;
        }
    }
}

bool LinePattern::Match(const FoldedLine& line, PatternScratch* scratch, PatternMatch* match) const {
    std::string_view s = line.text;
    size_t lo = 0;
    size_t hi = s.size();
    if (scope == Scope::WholeLine) {
        while (lo < hi && IsFoldedBlank(s[lo]))
            ++lo;
        while (hi > lo && IsFoldedBlank(s[hi - 1]))
            --hi;
        if (elements.front().kind == Kind::Literal && (lo == hi || s[lo] != elements.front().c))
            return false;
    }
    std::string_view sub = s.substr(lo, hi - lo);
    if (!needle.empty() && sub.find(needle) == std::string_view::npos)
        return false;
    Fill(sub, scratch);
    size_t n = sub.size();
    size_t width = n + 1;
    const uint8_t* reach = scratch->reach.data();
    if (!reach[0])
        return false;
    // Walk the first way through: the shortest text and any-text, the longest word.
    *match = PatternMatch();
    size_t p = 0;
    for (size_t i = 0; i < elements.size(); ++i) {
        const Element& e = elements[i];
        const uint8_t* next = reach + (i + 1) * width;
        switch (e.kind) {
            case Kind::Literal:
                ++p;
                break;
            case Kind::Blanks:
                while (p < n && IsFoldedBlank(sub[p]))
                    ++p;
                break;
            case Kind::Any:
                while (!next[p])
                    ++p;
                break;
            case Kind::Text: {
                size_t begin = p;
                while (IsFoldedBlank(sub[begin]))
                    ++begin;
                size_t q = begin + 1;
                while (!next[q])
                    ++q;
                size_t end = q;
                while (IsFoldedBlank(sub[end - 1]))
                    --end;
                match->hasValue = true;
                match->valueBegin = lo + begin;
                match->valueEnd = lo + end;
                p = q;
                break;
            }
            case Kind::Word: {
                size_t q = p;
                while (q < n && !IsFoldedBlank(sub[q]))
                    ++q;
                while (!next[q])
                    --q;
                match->hasValue = true;
                match->valueBegin = lo + p;
                match->valueEnd = lo + q;
                p = q;
                break;
            }
            case Kind::Number: {
                size_t q = NumberEnd(sub, p);
                match->hasValue = true;
                match->valueBegin = lo + p;
                match->valueEnd = lo + q;
                p = q;
                break;
            }
            case Kind::Amount: {
                AmountText amount;
                ReadAmountAt(sub, p, AmountForm::Written, &amount);
                match->hasAmount = true;
                match->amount = amount.value;
                p = next[amount.end] ? amount.end : amount.numberEnd;
                break;
            }
        }
    }
    return true;
}

}  // namespace zamri
