// Code pages told from words: the same words written in several pages come back as their page
// (or one that reads them the same), and words that fit no page well give a low confidence.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codepage/code_page.h"
#include "detect/code_page_guess.h"

namespace {

// The words of text (UTF-8) as page writes them; characters the page lacks are left out.
std::vector<std::string> WordsIn(const std::string& text, int page) {
    const CodePageTable* table = FindCodePage(page);
    std::vector<std::string> words(1);
    Utf8Reader reader;
    uint32_t codes[2];
    for (char c : text) {
        int n = reader.Feed(static_cast<uint8_t>(c), codes);
        for (int i = 0; i < n; ++i) {
            if (codes[i] == ' ') {
                words.emplace_back();
            } else if (codes[i] < 0x80) {
                words.back() += static_cast<char>(codes[i]);
            } else {
                for (int b = 0; b < 128; ++b) {
                    if (table->upper[b] == codes[i]) {
                        words.back() += static_cast<char>(0x80 + b);
                        break;
                    }
                }
            }
        }
    }
    return words;
}

// Whether page reads the words as expected does.
bool ReadsAlike(const std::vector<std::string>& words, int page, int expected) {
    const CodePageTable* a = FindCodePage(page);
    const CodePageTable* b = FindCodePage(expected);
    for (const std::string& w : words) {
        for (char c : w) {
            uint8_t byte = static_cast<uint8_t>(c);
            if (byte >= 0x80 && a->upper[byte - 0x80] != b->upper[byte - 0x80])
                return false;
        }
    }
    return true;
}

TEST(CodePageGuess, FindsThePageTheWordsWereWrittenIn) {
    struct Case {
        const char* text;
        int page;
    };
    const Case cases[] = {
        {"Crème brûlée Café au lait Thé glacé Pâtisserie Garçon Tarte à la pêche Crêpe Forêt-Noire", 850},
        {"Crème brûlée Café au lait Thé glacé Pâtisserie Garçon Tarte à la pêche Crêpe Forêt-Noire", 1252},
        {"Käsespätzle Weißbier Grießbrei Brötchen Gemüse Äpfel", 437},
        {"Хлеб ржаной Молоко Сыр российский Чай чёрный Сахар Итого", 866},
        {"Хлеб ржаной Молоко Сыр российский Чай чёрный Сахар Итого", 1251},
        {"Pączek Żurek Chleb żytni Masło Śledź Dziękujemy Łódź", 852},
        {"Pączek Żurek Chleb żytni Masło Śledź Dziękujemy Łódź", 1250},
        {"Ψωμί Γάλα Τυρί Καφές Σύνολο Ευχαριστούμε", 737},
        {"Ψωμί Γάλα Τυρί Καφές Σύνολο Ευχαριστούμε", 1253},
    };
    for (const Case& c : cases) {
        std::vector<std::string> words = WordsIn(c.text, c.page);
        PageGuess guess = GuessCodePage(words, 0);
        SCOPED_TRACE(std::string(c.text) + " in " + std::to_string(c.page));
        ASSERT_GT(guess.page, 0);
        EXPECT_TRUE(ReadsAlike(words, guess.page, c.page)) << guess.page;
        EXPECT_GE(guess.confidence, 0.75);  // a few words only: a receipt holds more
    }
}

TEST(CodePageGuess, TiesGoToThePreferredPageAndNoiseStaysUnsure) {
    // é alone reads the same in PC437 and PC850: the printer's own page wins.
    std::vector<std::string> cafe = {"Caf\x82"};
    EXPECT_EQ(GuessCodePage(cafe, 437).page, 437);
    EXPECT_GT(GuessCodePage(cafe, 437).equivalents, 0);

    std::vector<std::string> noise = {"\xB3\x9F\xD2\x81", "q\xFE\x07\xC4z", "\x80\x80\x80\xE7"};
    EXPECT_LT(GuessCodePage(noise, 0).confidence, 0.5);
    EXPECT_EQ(GuessCodePage({}, 0).page, 0);

    EXPECT_TRUE(LooksLikeUtf8({"Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87", "g\xC4\x99\xC5\x9Bl\xC4\x85"}));
    EXPECT_FALSE(LooksLikeUtf8({"Caf\x82"}));
    EXPECT_FALSE(LooksLikeUtf8({"\xC3"}));  // cut off
}

}  // namespace
