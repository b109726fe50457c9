#include "detect/code_page_guess.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>

#include "codepage/code_page.h"

namespace {

// How much a score lead makes the runner-up less likely: e to the power of -lead / kScoreScale.
constexpr double kScoreScale = 2.5;
// What an accented letter outside the alphabet that the stream's other accented letters share
// weighs: text in one language does not hold another's letters.
constexpr double kForeignLetter = -0.5;
// What a letter of a script without case (Hebrew, Arabic, Thai) weighs against a cased one.
constexpr double kCaselessLetter = 0.8;

enum class Script : uint8_t { kNone, kLatin, kGreek, kCyrillic, kHebrew, kArabic, kThai, kKana };
enum class Category : uint8_t { kLetter, kDigit, kPunctuation, kCurrency, kSymbol, kBox, kBlank, kControl };
enum class Case : uint8_t { kNone, kUpper, kLower };

struct CharInfo {
    Category category = Category::kControl;
    Script script = Script::kNone;
    Case letterCase = Case::kNone;
    double weight = 1;  // how common the letter is in receipts' languages
};

bool InRange(uint32_t c, uint32_t first, uint32_t last) {
    return c >= first && c <= last;
}

bool OneOf(uint32_t c, std::initializer_list<uint32_t> set) {
    return std::find(set.begin(), set.end(), c) != set.end();
}

// Latin Extended-A alternates capitals and small letters, with the parity flipping twice.
Case ExtendedACase(uint32_t c) {
    if (c == 0x130 || c == 0x178)
        return Case::kUpper;
    if (OneOf(c, {0x131, 0x138, 0x149, 0x17F}))
        return Case::kLower;
    bool evenUpper = (c < 0x139) || (c >= 0x14A && c < 0x179);
    return ((c % 2 == 0) == evenUpper) ? Case::kUpper : Case::kLower;
}

CharInfo Classify(uint32_t c) {
    CharInfo info;
    if (c < 0x80) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            info.category = Category::kLetter;
            info.script = Script::kLatin;
            info.letterCase = c <= 'Z' ? Case::kUpper : Case::kLower;
        } else if (c >= '0' && c <= '9') {
            info.category = Category::kDigit;
        } else if (c == ' ') {
            info.category = Category::kBlank;
        } else if (c > 0x20 && c < 0x7F) {
            info.category = Category::kPunctuation;
        }
        return info;
    }
    if (c < 0xA0 || c == 0)
        return info;  // C1 controls, or a byte the page leaves undefined
    if (c == 0xA0 || c == 0xAD || InRange(c, 0x200C, 0x200F)) {
        info.category = Category::kBlank;
        return info;
    }
    if (OneOf(c, {0xA2, 0xA3, 0xA4, 0xA5, 0x192, 0x20A7, 0x20AA, 0x20AB, 0x20AC, 0x20AF, 0xE3F})) {
        info.category = Category::kCurrency;
        return info;
    }
    if (InRange(c, 0x2500, 0x25A0)) {
        info.category = Category::kBox;
        return info;
    }
    info.category = Category::kLetter;
    if (InRange(c, 0xC0, 0x24F) && c != 0xD7 && c != 0xF7) {
        info.script = Script::kLatin;
        if (c < 0x100)
            info.letterCase = (c <= 0xDE) ? Case::kUpper : Case::kLower;
        else if (c < 0x180)
            info.letterCase = ExtendedACase(c);
        else
            info.weight = 0.4;
        // Icelandic and other letters few receipts hold.
        if (OneOf(c, {0xD0, 0xF0, 0xDE, 0xFE, 0x138, 0x149, 0x17F, 0x132, 0x133, 0x13F, 0x140, 0x126, 0x127,
                      0x166, 0x167, 0x14A, 0x14B}))
            info.weight = 0.3;
        else if (OneOf(c, {0x131, 0xFF, 0x178, 0xDD, 0xFD}))
            info.weight = 0.5;
        return info;
    }
    if (InRange(c, 0x1E00, 0x1EFF)) {
        info.script = Script::kLatin;
        info.letterCase = (c % 2 == 0) ? Case::kUpper : Case::kLower;
        info.weight = 0.7;
        return info;
    }
    if (InRange(c, 0x386, 0x3CE) && c != 0x387) {
        info.script = Script::kGreek;
        info.letterCase = (c <= 0x38F || InRange(c, 0x391, 0x3AB)) ? Case::kUpper : Case::kLower;
        return info;
    }
    if (InRange(c, 0x400, 0x4FF)) {
        info.script = Script::kCyrillic;
        if (c < 0x460)
            info.letterCase = (c < 0x430) ? Case::kUpper : Case::kLower;
        else
            info.letterCase = (c % 2 == 0) ? Case::kUpper : Case::kLower;
        return info;
    }
    if (InRange(c, 0x591, 0x5F2)) {
        info.script = Script::kHebrew;
        return info;
    }
    if (InRange(c, 0x660, 0x669) || InRange(c, 0xE50, 0xE59)) {
        info.category = Category::kDigit;
        return info;
    }
    if (InRange(c, 0x621, 0x6FF) || InRange(c, 0xFB50, 0xFDFF) || InRange(c, 0xFE70, 0xFEFC)) {
        info.script = Script::kArabic;
        return info;
    }
    if (InRange(c, 0xE01, 0xE4E)) {
        info.script = Script::kThai;
        return info;
    }
    if (InRange(c, 0xFF66, 0xFF9F)) {
        info.script = Script::kKana;
        return info;
    }
    info.category = Category::kSymbol;
    return info;
}

// The small letters beyond a to z of the languages receipts are printed in with Latin letters.
// Under the right page a stream's accented letters belong to one of them; under a wrong page
// some turn into letters of other languages ("Crčme").
const char* const kAlphabets[] = {
    "\u00e0\u00e2\u00e6\u00e7\u00e9\u00e8\u00ea\u00eb\u00ee\u00ef\u00f4\u0153\u00f9\u00fb\u00fc"
    "\u00ff",                                                                    // French
    "\u00e4\u00f6\u00fc\u00df",                                                  // German
    "\u00e1\u00e9\u00ed\u00f1\u00f3\u00fa\u00fc",                                // Spanish
    "\u00e0\u00e1\u00e2\u00e3\u00e7\u00e9\u00ea\u00ed\u00f3\u00f4\u00f5\u00fa",  // Portuguese
    "\u00e0\u00e8\u00e9\u00ec\u00ed\u00ee\u00f2\u00f3\u00f9",                    // Italian
    "\u00e1\u00e9\u00ed\u00f3\u00fa\u00eb\u00ef\u00e8\u00f6\u00fc",              // Dutch
    "\u00e5\u00e4\u00f6\u00e9",                                                  // Swedish, Finnish
    "\u00e6\u00f8\u00e5\u00e9",                                                  // Danish, Norwegian
    "\u00e1\u00f0\u00e9\u00ed\u00f3\u00fa\u00fd\u00fe\u00e6\u00f6",              // Icelandic
    "\u0105\u0107\u0119\u0142\u0144\u00f3\u015b\u017a\u017c",                    // Polish
    "\u00e1\u010d\u010f\u00e9\u011b\u00ed\u0148\u00f3\u0159\u0161\u0165\u00fa\u016f\u00fd\u017e",  // Czech
    "\u00e1\u00e4\u010d\u010f\u00e9\u00ed\u013a\u013e\u0148\u00f3\u00f4\u0155\u0161\u0165\u00fa\u00fd"
    "\u017e",                                                              // Slovak
    "\u00e1\u00e9\u00ed\u00f3\u00f6\u0151\u00fa\u00fc\u0171",              // Hungarian
    "\u0103\u00e2\u00ee\u0219\u021b\u015f\u0163",                          // Romanian
    "\u010d\u0107\u0111\u0161\u017e",                                      // Croatian, Slovenian
    "\u00e7\u011f\u0131\u00f6\u015f\u00fc",                                // Turkish
    "\u0105\u010d\u0119\u0117\u012f\u0161\u0173\u016b\u017e",              // Lithuanian
    "\u0101\u010d\u0113\u0123\u012b\u0137\u013c\u0146\u0161\u016b\u017e",  // Latvian
    "\u00e4\u00f5\u00f6\u00fc\u0161\u017e",                                // Estonian
    "\u010b\u0121\u0127\u017c\u00e0\u00e8\u00ec\u00f2\u00f9",              // Maltese
};

// The letters a, e with their accents that are words on their own (French, Italian, Portuguese).
bool StandsAlone(uint32_t c) {
    return c == 0xE0 || c == 0xE8 || c == 0xE9;
}

// The small letter of a Latin capital beyond A to Z (the letter itself when it has none).
uint32_t Lower(uint32_t c) {
    if (InRange(c, 0xC0, 0xDE) && c != 0xD7)
        return c + 0x20;
    if (InRange(c, 0x100, 0x17F) && c != 0x130 && ExtendedACase(c) == Case::kUpper)
        return c == 0x178 ? 0xFF : c + 1;
    if (c == 0x218 || c == 0x21A)
        return c + 1;
    return c;
}

// The alphabets as sets of code points, read once from their UTF-8.
const std::vector<std::vector<uint32_t>>& Alphabets() {
    static const std::vector<std::vector<uint32_t>> sets = [] {
        std::vector<std::vector<uint32_t>> all;
        for (const char* text : kAlphabets) {
            std::vector<uint32_t> set;
            Utf8Reader reader;
            uint32_t codes[2];
            for (const char* p = text; *p != 0; ++p) {
                int n = reader.Feed(static_cast<uint8_t>(*p), codes);
                set.insert(set.end(), codes, codes + n);
            }
            all.push_back(set);
        }
        return all;
    }();
    return sets;
}

bool Accented(const CharInfo& info, uint32_t c) {
    return info.category == Category::kLetter && info.script == Script::kLatin && c >= 0xC0;
}

// The alphabet that holds most of the accented letters' occurrences, or null when none holds any.
const std::vector<uint32_t>* BestAlphabet(const std::vector<uint32_t>& letters) {
    const std::vector<uint32_t>* best = nullptr;
    size_t most = 0;
    for (const std::vector<uint32_t>& alphabet : Alphabets()) {
        size_t held = 0;
        for (uint32_t c : letters)
            held += std::find(alphabet.begin(), alphabet.end(), c) != alphabet.end();
        if (held > most) {
            most = held;
            best = &alphabet;
        }
    }
    return best;
}

bool IsFinalForm(uint32_t c) {
    return OneOf(c, {0x3C2, 0x5DA, 0x5DD, 0x5DF, 0x5E3, 0x5E5});
}

// The weight of one character from 0x80 up at position i of the word.
double Weigh(const std::vector<uint32_t>& word, const std::vector<CharInfo>& infos, size_t i) {
    const CharInfo& c = infos[i];
    auto neighbour = [&](ptrdiff_t at) -> const CharInfo* {
        return (at >= 0 && static_cast<size_t>(at) < infos.size()) ? &infos[static_cast<size_t>(at)]
                                                                   : nullptr;
    };
    const CharInfo* before = neighbour(static_cast<ptrdiff_t>(i) - 1);
    const CharInfo* after = neighbour(static_cast<ptrdiff_t>(i) + 1);
    auto is = [](const CharInfo* n, Category category) { return n != nullptr && n->category == category; };
    bool repeated = i >= 2 && word[i] == word[i - 1] && word[i] == word[i - 2];

    switch (c.category) {
        case Category::kControl:
            return -3;
        case Category::kBlank:
            return -0.3;
        case Category::kCurrency:
            if (is(before, Category::kLetter) && is(after, Category::kLetter))
                return -1.5;
            return (is(before, Category::kDigit) || is(after, Category::kDigit)) ? 1 : 0.3;
        case Category::kBox: {
            bool rule = true;  // a rule of box-drawing lines: nothing but them and ASCII dashes
            for (const CharInfo& other : infos) {
                if (other.category == Category::kLetter || other.category == Category::kDigit)
                    rule = false;
            }
            return rule ? (i < 3 ? 0.8 : 0) : -1.5;
        }
        case Category::kSymbol:
            if (is(before, Category::kLetter) && is(after, Category::kLetter))
                return -1.5;
            return is(before, Category::kDigit) || is(after, Category::kDigit) ? 0.3 : 0.1;
        default:
            break;
    }
    if (c.category != Category::kLetter)
        return 0;
    if (repeated)
        return -1;
    bool otherLetters = false;
    bool sameScript = true;
    for (size_t j = 0; j < infos.size(); ++j) {
        if (j == i || infos[j].category != Category::kLetter)
            continue;
        otherLetters = true;
        if (infos[j].script != c.script)
            sameScript = false;
    }
    if (!otherLetters) {
        // A letter standing alone is a word for only a few letters; beside digits it may be a unit.
        bool digits = std::any_of(infos.begin(), infos.end(),
                                  [](const CharInfo& other) { return other.category == Category::kDigit; });
        if (!digits)
            return StandsAlone(Lower(word[i])) ? 0.6 : 0;
        return 0.3 * c.weight;
    }
    if (!sameScript)
        return -2;
    // Final forms (Greek ς, Hebrew ך ם ן ף ץ) end words; inside one they are a misreading.
    if (IsFinalForm(word[i]) && after != nullptr && after->category == Category::kLetter)
        return -2;
    // A script without case cannot show that its letters' case fits; a misread one rarely would.
    double weight = c.letterCase == Case::kNone ? kCaselessLetter * c.weight : c.weight;
    // A capital after a small letter ("CrÞme"), or a small letter between capitals ("CAFé").
    if (c.letterCase == Case::kUpper && before != nullptr && before->category == Category::kLetter &&
        before->letterCase == Case::kLower)
        weight -= 2.5;
    else if (c.letterCase == Case::kLower && before != nullptr && before->letterCase == Case::kUpper &&
             after != nullptr && after->letterCase == Case::kUpper)
        weight -= 1.5;
    return weight;
}

double WeighWords(const CodePageTable& page, const std::vector<std::string>& words, int* weighed,
                  int* positive) {
    // Which language's alphabet the page's reading of the accented letters fits best.
    std::vector<uint32_t> accented;
    for (const std::string& word : words) {
        for (char byte : word) {
            uint32_t code = ToUnicode(page, static_cast<uint8_t>(byte));
            if (static_cast<uint8_t>(byte) >= 0x80 && Accented(Classify(code), code))
                accented.push_back(Lower(code));
        }
    }
    const std::vector<uint32_t>* alphabet = BestAlphabet(accented);

    double total = 0;
    std::vector<uint32_t> codes;
    std::vector<CharInfo> infos;
    for (const std::string& word : words) {
        codes.clear();
        infos.clear();
        for (char byte : word) {
            uint32_t code = ToUnicode(page, static_cast<uint8_t>(byte));
            codes.push_back(code);
            infos.push_back(Classify(code));
        }
        for (size_t i = 0; i < word.size(); ++i) {
            if (static_cast<uint8_t>(word[i]) < 0x80)
                continue;
            double weight = Weigh(codes, infos, i);
            if (weight > 0 && Accented(infos[i], codes[i]) &&
                (alphabet == nullptr ||
                 std::find(alphabet->begin(), alphabet->end(), Lower(codes[i])) == alphabet->end()))
                weight = kForeignLetter;
            total += weight;
            ++*weighed;
            *positive += weight > 0;
        }
    }
    return total;
}

// The pages most tills use, first to last; a tie goes to the earlier one.
constexpr int kPreference[] = {437,   850,   858, 1252, 852,  1250, 866,  1251, 28605, 737, 1253, 857, 1254,
                               862,   1255,  864, 1256, 775,  1257, 860,  863,  865,   861, 855,  869, 851,
                               28592, 28597, 874, 897,  1258, 1125, 1048, 3021, 771,   772, 774};

int PreferenceRank(int page, int preferred) {
    if (page == preferred)
        return -1;
    for (size_t i = 0; i < sizeof kPreference / sizeof kPreference[0]; ++i) {
        if (kPreference[i] == page)
            return static_cast<int>(i);
    }
    return 1000;
}

}  // namespace

PageGuess GuessCodePage(const std::vector<std::string>& words, int preferredPage) {
    PageGuess guess;
    int counts[128] = {};
    for (const std::string& word : words) {
        for (char byte : word) {
            if (static_cast<uint8_t>(byte) >= 0x80)
                ++counts[static_cast<uint8_t>(byte) - 0x80];
        }
    }
    struct Score {
        const CodePageTable* page;
        double total;
        int positive;  // characters that weighed for the page
    };
    std::vector<Score> scores;
    int weighed = 0;
    for (int i = 0; i < kCodePageTableCount; ++i) {
        weighed = 0;
        int positive = 0;
        double total = WeighWords(kCodePageTables[i], words, &weighed, &positive);
        scores.push_back({&kCodePageTables[i], total, positive});
    }
    guess.weighed = weighed;
    if (weighed == 0 || scores.empty())
        return guess;
    std::stable_sort(scores.begin(), scores.end(), [&](const Score& a, const Score& b) {
        if (a.total != b.total)
            return a.total > b.total;
        return PreferenceRank(a.page->number, preferredPage) < PreferenceRank(b.page->number, preferredPage);
    });
    const Score& best = scores.front();
    guess.page = best.page->number;
    // The confidence is the share of the characters expected to be read right: every other page
    // is as likely as its score lets it be against the best, and would read the characters it
    // disputes differently.
    double misread = 0;
    for (size_t i = 1; i < scores.size(); ++i) {
        int disputed = 0;
        for (int b = 0; b < 128; ++b) {
            if (counts[b] > 0 && best.page->upper[b] != scores[i].page->upper[b])
                disputed += counts[b];
        }
        if (disputed == 0) {
            ++guess.equivalents;
            continue;
        }
        double likelihood = std::exp(-(best.total - scores[i].total) / kScoreScale);
        misread += likelihood * disputed / weighed;
    }
    double quality = static_cast<double>(best.positive) / weighed;
    guess.quality = quality;
    guess.confidence = std::clamp(quality * (1 - misread), 0.0, 1.0);
    return guess;
}

double PageScore(int number, const std::vector<std::string>& words) {
    const CodePageTable* page = FindCodePage(number);
    int weighed = 0, positive = 0;
    return page != nullptr ? WeighWords(*page, words, &weighed, &positive) : 0;
}

bool LooksLikeUtf8(const std::vector<std::string>& words) {
    int characters = 0;
    for (const std::string& word : words) {
        for (size_t i = 0; i < word.size();) {
            uint8_t lead = static_cast<uint8_t>(word[i]);
            if (lead < 0x80) {
                ++i;
                continue;
            }
            int more = (lead >= 0xC2 && lead <= 0xDF)   ? 1
                       : (lead >= 0xE0 && lead <= 0xEF) ? 2
                       : (lead >= 0xF0 && lead <= 0xF4) ? 3
                                                        : -1;
            if (more < 0 || i + static_cast<size_t>(more) >= word.size())
                return false;
            for (int k = 1; k <= more; ++k) {
                uint8_t next = static_cast<uint8_t>(word[i + static_cast<size_t>(k)]);
                if (next < 0x80 || next > 0xBF)
                    return false;
            }
            ++characters;
            i += static_cast<size_t>(more) + 1;
        }
    }
    return characters >= 2;
}
