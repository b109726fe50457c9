// The journal search's raw scan: the scanner against a byte-by-byte search over every length
// and start (the ends of its 16-byte steps and of the data), and the pieces of search texts
// and regular expressions it is given to look for.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "journal/literal_scanner.h"
#include "journal/text_fold.h"

namespace {

using zamri::LiteralScanner;

size_t NaiveFind(const std::string& data, size_t from, const std::string& literal, bool fold) {
    for (size_t i = from; i + literal.size() <= data.size(); ++i) {
        size_t j = 0;
        while (j < literal.size() && (fold ? zamri::FoldAscii(static_cast<unsigned char>(data[i + j])) ==
                                                 zamri::FoldAscii(static_cast<unsigned char>(literal[j]))
                                           : data[i + j] == literal[j]))
            ++j;
        if (j == literal.size())
            return i;
    }
    return std::string::npos;
}

TEST(LiteralScanner, FindsWhatAByteByByteSearchFinds) {
    // Few symbols, so that hits and near misses are everywhere: both cases of two letters, the
    // UTF-8 bytes of "Ä" and "ä" (which differ in bit 0x20 too, and must not fold), a newline.
    const std::string symbols = "aAbB\xC3\x84\xA4\n";
    std::mt19937 random(20);
    auto text = [&](size_t n) {
        std::string s;
        for (size_t i = 0; i < n; ++i)
            s.push_back(symbols[random() % symbols.size()]);
        return s;
    };
    int checked = 0;
    for (size_t n = 0; n <= 72; ++n) {
        std::string data = text(n);
        for (size_t m = 1; m <= 40; m += (m < 20 ? 1 : 7)) {
            // A piece of the data (found at least once) or random bytes (found now and then),
            // longer than the data for the short ones.
            std::string literal = m <= n && random() % 2 ? data.substr(random() % (n - m + 1), m) : text(m);
            for (bool fold : {false, true}) {
                LiteralScanner scanner;
                scanner.Init(literal, fold);
                for (size_t from = 0; from <= n; ++from) {
                    ASSERT_EQ(scanner.Find(data.data(), data.size(), from),
                              NaiveFind(data, from, literal, fold))
                        << "data \"" << data << "\" literal \"" << literal << "\" fold " << fold << " from "
                        << from;
                    ++checked;
                }
            }
        }
    }
    EXPECT_GT(checked, 50000);
}

TEST(LiteralScanner, ProposesEachLineThatHoldsTheLiteralOnce) {
    LiteralScanner scanner;
    scanner.Init("total", true);
    const std::string block = "TOTAL 1.20 Total 3\nnothing\nsubtotal";  // lines at 0, 19 and 27
    EXPECT_EQ(scanner.CandidateLines(block), (std::vector<size_t>{0, 27}));
    EXPECT_TRUE(scanner.CandidateLines(block.substr(0, 4)).empty());

    LiteralScanner none;
    none.Init("", false);
    EXPECT_FALSE(none.Active());
    EXPECT_EQ(none.Find("abc", 3, 1), 1u);
    EXPECT_EQ(none.Find("abc", 3, 4), std::string::npos);
}

TEST(LiteralScanner, LooksOnlyForWhatTheJournalWritesUnchanged) {
    // The search folds its text first; JSON escapes quotes, backslashes and control bytes, and
    // the scan never sees UTF-8 (the search folds that beyond ASCII).
    EXPECT_EQ(zamri::RawLiteral("k\xC3\xA4se gouda"), "se gouda");
    EXPECT_EQ(zamri::RawLiteral("say \"cheese\""), "cheese");
    EXPECT_EQ(zamri::RawLiteral("ab"), "ab");  // short, but the whole text
    EXPECT_EQ(zamri::RawLiteral("\xC3\xA4"
                                "ab"),
              "");
    EXPECT_EQ(zamri::RawLiteral("a\tbc\\d"), "");

    struct Case {
        const char* expression;
        bool fold;
        const char* literal;
    };
    const Case cases[] = {
        {"^TOTAL +[0-9]{3,}\\.", true, "total "},
        {"^TOTAL +[0-9]{3,}\\.", false, "TOTAL "},
        {"colou?r chart", false, "r chart"},
        {"VOID (BREAD)+ -1", false, "VOID "},
        {"\\d+ EUR\\.", false, " EUR."},
        {"\\x41BCD", false, "BCD"},
        {"ab{2}cd", false, ""},
        {"void|refund", false, ""},
        {"[^]abc]def", false, "def"},
        {"(unclosed", false, ""},
        {"CARD\\", false, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(zamri::RequiredLiteral(c.expression, c.fold), c.literal) << c.expression;
}

}  // namespace
