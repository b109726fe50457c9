#include <gtest/gtest.h>

#include <string>

#include "codepage/code_page.h"
#include "codepage/printer_pages.h"

namespace {

// The text a printer page's bytes become in a Windows page.
std::string Convert(int printerPage, int windowsPage, const std::string& bytes) {
    PageConverter converter;
    converter.Set(printerPage, windowsPage);
    std::string out;
    for (char c : bytes) {
        int length = 0;
        const char* text = converter.Convert(static_cast<uint8_t>(c), &length);
        out.append(text, static_cast<size_t>(length));
    }
    return out;
}

std::string Utf8(int windowsPage, const std::string& bytes) {
    std::string out;
    EXPECT_EQ(0, AppendWindowsAsUtf8(windowsPage, bytes.data(), bytes.size(), &out));
    return out;
}

std::string ReadUtf8(const std::string& bytes) {
    Utf8Reader reader;
    std::string out;
    for (char c : bytes) {
        uint32_t codes[2];
        int count = reader.Feed(static_cast<uint8_t>(c), codes);
        for (int i = 0; i < count; ++i)
            AppendUtf8(codes[i], &out);
    }
    return out;
}

TEST(CodePage, AccentedPrinterTextReachesTheWindowsPage) {
    EXPECT_EQ("Bi\xE8re", Convert(850, 1252, "Bi\x8Are"));
    EXPECT_EQ("K\xE4se Br\xF6tchen", Convert(437, 1252, "K\x84se Br\x94tchen"));
    EXPECT_EQ(
        "\x80"
        "9,80",
        Convert(858, 1252,
                "\xD5"
                "9,80"));
    EXPECT_EQ(
        "\xB3\xF3"
        "d\xBF",
        Convert(852, 1250,
                "\x88\xA2"
                "d\xBE"));                                          // łódż
    EXPECT_EQ("\xC6\xE0\xF0", Convert(866, 1251, "\x86\xA0\xE0"));  // Жар
    EXPECT_EQ("\xE0\xE1", Convert(862, 1255, "\x80\x81"));          // אב
    EXPECT_EQ("Caf\xE9", Convert(1252, 1252, "Caf\xE9"));
    EXPECT_EQ("Caf\xE9", Convert(1252, 1250, "Caf\xE9"));
}

// Where the printers' published tables print a character that iconv's page leaves unused, the
// tables follow the printers.
TEST(CodePage, BytesDecodeAsThePrintersPrintThem) {
    EXPECT_EQ(857, EscPosSelectedPage(13));
    EXPECT_EQ(857, StarSelectedPage(12));
    EXPECT_EQ("9,80 \x80", Convert(857, 1254, "9,80 \xD5"));  // the euro sign, not "?"
    EXPECT_EQ("\x80", Convert(857, 1252, "\xD5"));
    EXPECT_EQ("\xE2\x82\xAC", Utf8(1254, Convert(857, 1254, "\xD5")));
    EXPECT_EQ("??", Convert(857, 1254, "\xE7\xF2"));  // unused in the printers' tables too
}

TEST(CodePage, MissingCharactersBecomeLookAlikes) {
    EXPECT_EQ("-=|+++", Convert(437, 1252, "\xC4\xCD\xB3\xC5\xC9\xBC"));  // ─ ═ │ ┼ ╔ ╝
    EXPECT_EQ("##", Convert(437, 1251, "\xB0\xDB"));                      // ░ █
    EXPECT_EQ("o", Convert(852, 1252, "\x8B"));                           // ő
    EXPECT_EQ("Strasse \x88", Convert(858, 1251,
                                      "Stra\xE1"
                                      "e \xD5"));     // ß has no place in 1251
    EXPECT_EQ("??", Convert(866, 1252, "\x86\xA0"));  // Cyrillic in a Latin page
}

TEST(CodePage, UnknownPagesKeepAsciiAndMarkTheRest) {
    PageConverter converter;
    EXPECT_EQ(-1, converter.Set(3840, 1252));
    EXPECT_EQ("A?", Convert(3840, 1252, "A\xE9"));
    EXPECT_EQ(-1, converter.Set(437, 4242));
    EXPECT_EQ(nullptr, FindCodePage(720));
    EXPECT_TRUE(IsWindowsCodePage(1255));
    EXPECT_FALSE(IsWindowsCodePage(437));
    EXPECT_FALSE(IsWindowsCodePage(28592));
}

TEST(CodePage, EveryPageFindsItsOwnBytesAgain) {
    for (int i = 0; i < kCodePageTableCount; ++i) {
        const CodePageTable& page = kCodePageTables[i];
        EXPECT_EQ(&page, FindCodePage(page.number));
        if (i > 0)
            EXPECT_LT(kCodePageTables[i - 1].number, page.number) << "the pages are looked up in order";
        int defined = 0;
        for (int b = 0x80; b < 0x100; ++b) {
            uint32_t code = ToUnicode(page, static_cast<uint8_t>(b));
            if (code == 0)
                continue;
            ++defined;
            char out[kMaxConvertedBytes];
            ASSERT_EQ(1, FromUnicode(code, page.number, out)) << page.name << " byte " << b;
            EXPECT_EQ(b, static_cast<uint8_t>(out[0])) << page.name;
        }
        EXPECT_GE(defined, page.number == 897 ? 63 : 80) << page.name;
    }
}

TEST(CodePage, PrintersSelectPagesByTheirOwnNumbers) {
    EXPECT_EQ(863, EscPosSelectedPage(4));
    EXPECT_EQ(858, StarSelectedPage(4));
    EXPECT_EQ(1253, EscPosSelectedPage(47));  // the WPC125x run leaves out 1252
    EXPECT_EQ(0, StarSelectedPage(0));        // Star's own page has no table
    EXPECT_EQ(0, EscPosSelectedPage(255));
    for (int n = 0; n < 256; ++n) {
        for (int page : {EscPosSelectedPage(n), StarSelectedPage(n)})
            EXPECT_TRUE(page == 0 || FindCodePage(page) != nullptr) << n;
    }
}

TEST(CodePage, WindowsTextBecomesUtf8) {
    EXPECT_EQ(
        "Bi\xC3\xA8re \xE2\x82\xAC"
        "5",
        Utf8(1252,
             "Bi\xE8re \x80"
             "5"));
    EXPECT_EQ(
        "\xC5\x82\xC3\xB3"
        "d\xC5\xBC",
        Utf8(1250,
             "\xB3\xF3"
             "d\xBF"));
    EXPECT_EQ("\xD0\x96\xD0\xB0\xD1\x80", Utf8(1251, "\xC6\xE0\xF0"));
    EXPECT_EQ("\xD7\x90\xD7\x91 12", Utf8(1255, "\xE0\xE1 12"));
    EXPECT_EQ(
        "a\xEF\xBF\xBD"
        "b\tc",
        Utf8(1252,
             "a\x81"
             "b\tc"));  // 0x81 is undefined in 1252
    std::string out = "kept";
    EXPECT_EQ(-1, AppendWindowsAsUtf8(437000, "x", 1, &out));
    EXPECT_EQ("kept", out);
}

TEST(CodePage, Utf8ReaderTakesCharactersAndReplacesBrokenOnes) {
    const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // A é € 😀
    EXPECT_EQ(text, ReadUtf8(text));
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(replacement + "x", ReadUtf8("\xC3x"));                    // broken by ASCII
    EXPECT_EQ(replacement + "\xC3\xA9", ReadUtf8("\xE2\x82\xC3\xA9"));  // broken by a lead byte
    EXPECT_EQ(replacement + replacement, ReadUtf8("\xC0\xAF"));         // never valid lead, stray
    EXPECT_EQ(replacement, ReadUtf8("\xE0\x80\xAF"));                   // overlong
    EXPECT_EQ(replacement, ReadUtf8("\xED\xA0\x80"));                   // surrogate
    EXPECT_EQ(replacement, ReadUtf8("\xF4\x90\x80\x80"));               // past U+10FFFF
}

}  // namespace
