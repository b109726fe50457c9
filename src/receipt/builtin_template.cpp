#include "receipt/builtin_template.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "receipt/builtin_words.h"
#include "receipt/money.h"

namespace zamri {

namespace {

using builtin::HeaderKey;
using builtin::Phrase;
using builtin::PhraseList;

constexpr int kMaxWords = 64;
constexpr size_t kMaxPhraseWords = 5;

// A sorted view of a word list, for exact look-ups of a joined label.
class PhraseIndex {
  public:
    explicit PhraseIndex(const PhraseList& list) {
        for (size_t i = 0; i < list.count; ++i)
            entries.emplace_back(list.items[i].text, &list.items[i]);
        std::sort(entries.begin(), entries.end(),
                  [](const Entry& a, const Entry& b) { return a.first < b.first; });
    }
    const Phrase* Find(std::string_view text) const {
        auto it = std::lower_bound(entries.begin(), entries.end(), text,
                                   [](const Entry& e, std::string_view t) { return e.first < t; });
        return it != entries.end() && it->first == text ? it->second : nullptr;
    }

  private:
    using Entry = std::pair<std::string_view, const Phrase*>;
    std::vector<Entry> entries;
};

class KeyIndex {
  public:
    KeyIndex() {
        for (size_t i = 0; i < builtin::kHeaderKeys.count; ++i)
            entries.emplace_back(builtin::kHeaderKeys.items[i].text, &builtin::kHeaderKeys.items[i]);
        std::sort(entries.begin(), entries.end(),
                  [](const Entry& a, const Entry& b) { return a.first < b.first; });
    }
    const HeaderKey* Find(std::string_view text) const {
        auto it = std::lower_bound(entries.begin(), entries.end(), text,
                                   [](const Entry& e, std::string_view t) { return e.first < t; });
        return it != entries.end() && it->first == text ? it->second : nullptr;
    }

  private:
    using Entry = std::pair<std::string_view, const HeaderKey*>;
    std::vector<Entry> entries;
};

struct Indexes {
    PhraseIndex amountLabels{builtin::kAmountLabels};
    PhraseIndex plainLines{builtin::kPlainLines};
    PhraseIndex itemMarkers{builtin::kItemMarkers};
    PhraseIndex discountWords{builtin::kDiscountWords};
    PhraseIndex summaryWords{builtin::kSummaryWords};
    PhraseIndex slipWords{builtin::kSlipWords};
    PhraseIndex keySuffixes{builtin::kKeySuffixes};
    KeyIndex headerKeys;
};

const Indexes& Index() {
    static const Indexes indexes;
    return indexes;
}

bool IsWordChar(char c) {
    return IsFoldedLetter(c) || IsDigit(c) || c == '\'' || c == '%' || c == '&';
}

// A card number as tills print it masked: "************1234", "XXXX1234".
bool IsMaskedNumber(std::string_view token) {
    int masks = 0;
    for (char c : token) {
        if (c == '*' || c == 'X')
            ++masks;
        else if (!IsDigit(c) && c != '#' && c != '.' && c != '-')
            return false;
    }
    return masks >= 2;
}

struct Span {
    uint32_t begin;
    uint32_t end;
};

// The words of s[begin, end): letters and digits, everything else parts them. Masked card
// numbers, currency codes and signs, "EURO" and percentages are no part of a label.
int LabelWords(std::string_view s, size_t begin, size_t end, Span* words) {
    int count = 0;
    size_t i = begin;
    while (i < end) {
        while (i < end && IsFoldedBlank(s[i]))
            ++i;
        size_t tokenEnd = i;
        while (tokenEnd < end && !IsFoldedBlank(s[tokenEnd]))
            ++tokenEnd;
        if (IsMaskedNumber(s.substr(i, tokenEnd - i))) {
            i = tokenEnd;
            continue;
        }
        while (i < tokenEnd) {
            while (i < tokenEnd && (!IsWordChar(s[i]) || s[i] == '\''))
                ++i;
            size_t w = i;
            while (i < tokenEnd && IsWordChar(s[i]))
                ++i;
            size_t wEnd = i;
            while (wEnd > w && s[wEnd - 1] == '\'')
                --wEnd;
            if (wEnd == w)
                continue;
            std::string_view word = s.substr(w, wEnd - w);
            if (word.find('%') != std::string_view::npos || word == "EURO" || word == "EUROS" ||
                (word.size() == 3 && IsCurrencyCodeAt(s, w)))
                continue;
            if (count == kMaxWords)
                return count;
            words[count++] = {static_cast<uint32_t>(w), static_cast<uint32_t>(wEnd)};
        }
    }
    return count;
}

std::string_view Join(std::string_view s, const Span* words, int from, int to, std::string* buffer) {
    buffer->clear();
    for (int k = from; k < to; ++k) {
        if (k > from)
            buffer->push_back(' ');
        buffer->append(s.data() + words[k].begin, words[k].end - words[k].begin);
    }
    return *buffer;
}

Money Outgoing(Money value) {
    return value > 0 ? -value : value;
}

void AddAmount(LineReadings* out, ReceiptField field, Money amount, std::string_view text = {}) {
    LineReading* r = out->Add(field);
    if (r == nullptr)
        return;
    r->hasAmount = true;
    r->amount = amount;
    r->text.assign(text);
}

// The item-line words at the start (or, for voids and overrides, the end) of a label.
const Phrase* ItemMarker(std::string_view s, const Span* words, int count, std::string* buffer) {
    const PhraseIndex& markers = Index().itemMarkers;
    for (int n = std::min<int>(count, 3); n >= 1; --n) {
        if (const Phrase* p = markers.Find(Join(s, words, 0, n, buffer)))
            return p;
    }
    for (int n = std::min<int>(count, 3); n >= 1; --n) {
        const Phrase* p = markers.Find(Join(s, words, count - n, count, buffer));
        if (p != nullptr && (p->what & (builtin::kVoid | builtin::kOverride)) != 0)
            return p;
    }
    return nullptr;
}

bool IsDiscount(std::string_view s, const Span* words, int count) {
    bool discount = false;
    for (int k = 0; k < count; ++k) {
        std::string_view word = s.substr(words[k].begin, words[k].end - words[k].begin);
        if (Index().summaryWords.Find(word) != nullptr)
            return false;
        if (Index().discountWords.Find(word) != nullptr)
            discount = true;
    }
    return discount;
}

void ReadAmountLabel(std::string_view s, size_t begin, size_t end, Money amount, Money lastAmount,
                     LineReadings* out) {
    Span words[kMaxWords];
    int count = LabelWords(s, begin, end, words);
    if (count == 0)
        return;
    std::string buffer;
    std::string_view label = Join(s, words, 0, count, &buffer);
    if (const Phrase* p = Index().amountLabels.Find(label)) {
        uint16_t what = p->what;
        Money value = (what & builtin::kNegative) != 0 ? Outgoing(amount) : amount;
        if (what & builtin::kTotal)
            AddAmount(out, ReceiptField::Total, value);
        if (what & builtin::kSubtotal)
            AddAmount(out, ReceiptField::Subtotal, value);
        if (what & builtin::kTender)
            AddAmount(out, ReceiptField::Tender, value, label);
        if (what & builtin::kChange)
            AddAmount(out, ReceiptField::Change, value);
        if (what & builtin::kRefund)
            AddAmount(out, ReceiptField::Refund, Outgoing(amount));
        if (what & builtin::kCancel)
            AddAmount(out, ReceiptField::Cancel, value);
        return;
    }
    if (const Phrase* p = ItemMarker(s, words, count, &buffer)) {
        if (p->what & builtin::kVoid)
            AddAmount(out, ReceiptField::Void, Outgoing(amount));
        else if (p->what & builtin::kRefund)
            AddAmount(out, ReceiptField::Refund, Outgoing(amount));
        else
            AddAmount(out, ReceiptField::PriceOverride, lastAmount);  // the new price
        return;
    }
    if (IsDiscount(s, words, count))
        AddAmount(out, ReceiptField::Discount, Outgoing(amount));
}

// Header fields: "CASHIER: 17  REG: 3  TRANS: 004217", "Kasse 3 Bon 4217 Bed. 17",
// "Le atendió: María".
struct HeaderToken {
    uint32_t begin;
    uint32_t end;
    bool delimiter;  // ':', '#' or '='
};

bool IsDelimiter(char c) {
    return c == ':' || c == '#' || c == '=';
}

int HeaderTokens(std::string_view s, HeaderToken* tokens, int max) {
    int count = 0;
    size_t i = 0;
    while (i < s.size() && count < max) {
        while (i < s.size() && IsFoldedBlank(s[i]))
            ++i;
        if (i >= s.size())
            break;
        size_t end = i;
        while (end < s.size() && !IsFoldedBlank(s[end]))
            ++end;
        // Delimiters part a token, except a colon in a time ("14:02"); a hyphen between
        // letters parts it too ("BON-NR"), one before a digit does not ("K-3").
        size_t start = i;
        for (size_t k = i; k <= end && count < max; ++k) {
            bool hyphen = k < end && s[k] == '-' && k > i && k + 1 < end && IsFoldedLetter(s[k - 1]) &&
                          IsFoldedLetter(s[k + 1]);
            bool cut = k == end || hyphen ||
                       (IsDelimiter(s[k]) &&
                        !(s[k] == ':' && k > i && k + 1 < end && IsDigit(s[k - 1]) && IsDigit(s[k + 1])));
            if (!cut)
                continue;
            if (k > start)
                tokens[count++] = {static_cast<uint32_t>(start), static_cast<uint32_t>(k), false};
            if (k < end && !hyphen && count < max)
                tokens[count++] = {static_cast<uint32_t>(k), static_cast<uint32_t>(k + 1), true};
            start = k + 1;
        }
        i = end;
    }
    return count;
}

// A token as a key word: without the dots and brackets around it ("BED." is "BED").
std::string_view KeyForm(std::string_view s, const HeaderToken& t) {
    size_t b = t.begin;
    size_t e = t.end;
    while (b < e && (s[b] == '(' || s[b] == '[' || s[b] == '*' || s[b] == '.'))
        ++b;
    while (e > b &&
           (s[e - 1] == '.' || s[e - 1] == ',' || s[e - 1] == ')' || s[e - 1] == ']' || s[e - 1] == '*'))
        --e;
    return s.substr(b, e - b);
}

// The longest key at tokens[i]; *next receives the token after it.
const HeaderKey* KeyAt(std::string_view s, const HeaderToken* tokens, int count, int i, int* next) {
    std::string joined;
    const HeaderKey* found = nullptr;
    for (int n = 1; n <= static_cast<int>(kMaxPhraseWords) && i + n <= count; ++n) {
        const HeaderToken& t = tokens[i + n - 1];
        if (t.delimiter)
            break;
        if (n > 1)
            joined.push_back(' ');
        joined.append(KeyForm(s, t));
        if (const HeaderKey* key = Index().headerKeys.Find(joined)) {
            found = key;
            *next = i + n;
        }
    }
    return found;
}

bool HasDigit(std::string_view text) {
    for (char c : text)
        if (IsDigit(c))
            return true;
    return false;
}

bool IsCode(std::string_view text) {
    if (text.empty() || text.size() > 24 || !HasDigit(text))
        return false;
    for (char c : text)
        if (!IsDigit(c) && !(c >= 'A' && c <= 'Z') && c != '-' && c != '/' && c != '.')
            return false;
    return true;
}

bool IsNameWord(std::string_view text) {
    bool letter = false;
    for (char c : text) {
        if (IsFoldedLetter(c))
            letter = true;
        else if (c != '.' && c != '-' && c != '\'')
            return false;
    }
    return letter;
}

void ReadHeader(const FoldedLine& line, std::string_view original, LineReadings* out) {
    std::string_view s = line.text;
    HeaderToken tokens[kMaxWords];
    int count = HeaderTokens(s, tokens, kMaxWords);
    bool seen[kReceiptFieldCount] = {};
    int i = 0;
    while (i < count) {
        int next = i + 1;
        const HeaderKey* key = tokens[i].delimiter ? nullptr : KeyAt(s, tokens, count, i, &next);
        if (key == nullptr) {
            ++i;
            continue;
        }
        bool delimited = false;
        while (next < count &&
               (tokens[next].delimiter || Index().keySuffixes.Find(KeyForm(s, tokens[next])) != nullptr)) {
            delimited = true;
            ++next;
        }
        int dummy = 0;
        if (next >= count || KeyAt(s, tokens, count, next, &dummy) != nullptr) {
            i = next;
            continue;
        }
        const HeaderToken& first = tokens[next];
        std::string_view value = KeyForm(s, first);
        int last = next;
        bool ok = false;
        if (key->field != ReceiptField::Cashier) {
            ok = IsCode(value);
        } else if (delimited || key->nameWithoutDelimiter) {
            ok = HasDigit(value) ? IsCode(value) : IsNameWord(value);
            // A name may have up to three words: "Anna", "J. Smith", "Marie Dupont".
            while (ok && !HasDigit(value) && last + 1 < count && last - next < 2) {
                const HeaderToken& t = tokens[last + 1];
                int unused = 0;
                if (t.delimiter || t.begin != tokens[last].end + 1 || !IsNameWord(KeyForm(s, t)) ||
                    KeyAt(s, tokens, count, last + 1, &unused) != nullptr)
                    break;
                ++last;
            }
        } else {
            ok = IsCode(value);
        }
        int field = static_cast<int>(key->field);
        if (ok && !seen[field]) {
            seen[field] = true;
            LineReading* r = out->Add(key->field);
            if (r != nullptr) {
                size_t b = static_cast<size_t>(value.data() - s.data());
                size_t e = tokens[last].end;
                while (e > b && (s[e - 1] == '.' || s[e - 1] == ',' || s[e - 1] == ')' || s[e - 1] == '*'))
                    --e;
                r->text.assign(line.Original(original, b, e));
            }
        }
        i = last + 1;
    }
}

}  // namespace

namespace {

// Every amount of the line, left to right, up to max.
int FindAmounts(std::string_view s, AmountText* amounts, int max) {
    int count = 0;
    for (size_t p = 0; p < s.size() && count < max;) {
        // After a blank, a colon, an equals sign, a star, or dot leaders ("TOTAL.....12.50").
        bool start = p == 0 || IsFoldedBlank(s[p - 1]) || s[p - 1] == ':' || s[p - 1] == '=' ||
                     s[p - 1] == '*' ||
                     (s[p - 1] == '.' && p > 1 && (s[p - 2] == '.' || IsFoldedBlank(s[p - 2])));
        if (start && ReadAmountAt(s, p, AmountForm::Printed, &amounts[count])) {
            p = amounts[count].end;
            ++count;
            continue;
        }
        ++p;
    }
    return count;
}

}  // namespace

bool HasPrintedAmount(const FoldedLine& line) {
    AmountText amount;
    return FindAmounts(line.text, &amount, 1) == 1;
}

void ReadBuiltinLine(const FoldedLine& line, std::string_view original, LineReadings* out) {
    std::string_view s = line.text;
    // Each amount with the words before it as its label.
    AmountText amounts[16];
    int count = FindAmounts(s, amounts, 16);
    if (count > 0) {
        out->amountSeen = true;
        size_t labelStart = 0;
        for (int k = 0; k < count; ++k) {
            ReadAmountLabel(s, labelStart, amounts[k].begin, amounts[k].value, amounts[count - 1].value, out);
            labelStart = amounts[k].end;
        }
        return;
    }
    Span words[kMaxWords];
    int wordCount = LabelWords(s, 0, s.size(), words);
    if (wordCount == 0)
        return;
    std::string buffer;
    if (const Phrase* p = Index().plainLines.Find(Join(s, words, 0, wordCount, &buffer))) {
        ReceiptField field = (p->what & builtin::kNoSale)   ? ReceiptField::NoSale
                             : (p->what & builtin::kCancel) ? ReceiptField::Cancel
                             : (p->what & builtin::kRefund) ? ReceiptField::Refund
                             : (p->what & builtin::kVoid)   ? ReceiptField::Void
                                                            : ReceiptField::PriceOverride;
        out->Add(field);
        return;
    }
    if (Index().slipWords.Find(Join(s, words, 0, 1, &buffer)) != nullptr) {
        out->Add(ReceiptField::PaymentSlip);
        return;
    }
    ReadHeader(line, original, out);
}

const char* TenderClassName(std::string_view name, const TextFolder& folder) {
    FoldedLine folded;
    folder.Fold(name, &folded);
    Span words[kMaxWords];
    int count = LabelWords(folded.text, 0, folded.text.size(), words);
    std::string buffer;
    const Phrase* p = Index().amountLabels.Find(Join(folded.text, words, 0, count, &buffer));
    if (p == nullptr || (p->what & builtin::kTender) == 0)
        return "";
    switch (p->tender) {
        case builtin::kCash:
            return "CASH";
        case builtin::kCard:
            return "CARD";
        case builtin::kCheck:
            return "CHECK";
        case builtin::kVoucher:
            return "VOUCHER";
        default:
            return "";
    }
}

std::vector<std::string> BuiltinWordProblems() {
    std::vector<std::string> problems;
    auto check = [&problems](const char* list, const char* text) {
        std::string t = text;
        bool folded = !t.empty() && t.front() != ' ' && t.back() != ' ' && t.find("  ") == std::string::npos;
        size_t words = 1;
        for (char c : t) {
            if (c == ' ')
                ++words;
            else if (!(c >= 'A' && c <= 'Z') && !IsDigit(c) && c != '\'')
                folded = false;
        }
        if (!folded)
            problems.push_back(std::string(list) + ": \"" + t + "\" is not in folded form");
        if (words > kMaxPhraseWords)
            problems.push_back(std::string(list) + ": \"" + t + "\" has more words than a key may have");
    };
    auto checkList = [&](const char* name, const PhraseList& list) {
        for (size_t i = 0; i < list.count; ++i) {
            check(name, list.items[i].text);
            for (size_t j = 0; j < i; ++j)
                if (std::strcmp(list.items[i].text, list.items[j].text) == 0)
                    problems.push_back(std::string(name) + ": \"" + list.items[i].text +
                                       "\" is listed twice");
        }
    };
    checkList("amount labels", builtin::kAmountLabels);
    checkList("plain lines", builtin::kPlainLines);
    checkList("item markers", builtin::kItemMarkers);
    checkList("discount words", builtin::kDiscountWords);
    checkList("summary words", builtin::kSummaryWords);
    checkList("slip words", builtin::kSlipWords);
    checkList("key suffixes", builtin::kKeySuffixes);
    for (size_t i = 0; i < builtin::kHeaderKeys.count; ++i) {
        check("header keys", builtin::kHeaderKeys.items[i].text);
        for (size_t j = 0; j < i; ++j)
            if (std::strcmp(builtin::kHeaderKeys.items[i].text, builtin::kHeaderKeys.items[j].text) == 0)
                problems.push_back(std::string("header keys: \"") + builtin::kHeaderKeys.items[i].text +
                                   "\" is listed twice");
    }
    return problems;
}

}  // namespace zamri
