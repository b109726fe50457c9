// User masks in both forms, their errors, and the settings that carry them.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "config/settings.h"
#include "mask/mask_pattern.h"
#include "mask/mask_set.h"
#include "support/temp_dir.h"

using testing_support::TempDir;

namespace {

struct Case {
    const char* pattern;
    const char* line;
    const char* expected;
    int count;
};

TEST(MaskPattern, BothFormsMaskWhatTheyShouldAndKeepTheLength) {
    const Case cases[] = {
        // Wildcards: only what they matched is masked.
        {"MEMBER *", "member 0042424242 GOLD", "member ********** GOLD", 1},
        {"MEMBER #####", "MEMBER   12345", "MEMBER   *****", 1},  // one blank for several
        {"MEMBER #####", "MEMBER 1234", "MEMBER 1234", 0},        // too few digits
        {"TEL ###-###-####", "TEL 555-123-4567 / TEL 555-765-4321", "TEL ***-***-**** / TEL ***-***-****", 2},
        {"ID ?\?-*", "ID AB-77x9 ok", "ID **-**** ok", 1},  // ?\? keeps the compiler from reading a trigraph
        {"*@*", "MAIL ann@example.org", "MAIL ***@***********", 1},   // a star stops at blanks
        {"J. Smith", "Served by J. SMITH", "Served by ********", 1},  // no wildcard: the text itself
        {"\\#*", "Table #12", "Table #**", 1},                        // an escaped wildcard is plain text
        // Regular expressions: groups, or the whole match.
        {"re:MEMBER\\s+(\\d+)", "MEMBER  0042 1", "MEMBER  **** 1", 1},
        {"re:\\b\\d{3}-\\d{4}\\b", "call 555-0199 or 555-0100", "call ******** or ********", 2},
        {"re:(\\w+)@(\\w+)", "ann@shop", "***@****", 1},
        {"re:Loyalty", "LOYALTY CARD", "******* CARD", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        MaskPattern pattern;
        std::string error;
        ASSERT_EQ(pattern.Compile(c.pattern, &error), 1) << error;
        std::string text = c.line;
        int count = pattern.Apply(&text[0], static_cast<int>(text.size()));
        EXPECT_EQ(text, c.expected);
        EXPECT_EQ(count, c.count);
    }
}

TEST(MaskPattern, APatternThatCannotWorkIsRefusedWithItsReason) {
    const struct {
        const char* pattern;
        const char* message;
    } cases[] = {
        {"", "A mask cannot be empty."},
        {"**", "The mask \"**\" would match an empty text: it needs a letter, a digit, # or ?."},
        {"AB\\", "The mask \"AB\\\" ends with a lone \\ (write \\\\ for a backslash)."},
        {"re:(MEMBER", "The mask \"re:(MEMBER\" is not a valid regular expression: "},
        {"re:x*", "The mask \"re:x*\" matches an empty text; it must match at least one character."},
        {"re:[9-0]", "The mask \"re:[9-0]\" is not a valid regular expression: "},
        {"re:(\\d)\\1",
         "The mask \"re:(\\d)\\1\" refers back to a group (\\1 and the like), which a mask cannot do."},
        {"re:(a)\\44444444444444444444",
         "The mask \"re:(a)\\44444444444444444444\" refers back to a group (\\1 and the like), which a mask "
         "cannot do."},
        // Counts that would make every line slow (or overflow the library's reading of them).
        {"re:(a{300}){300}",
         "The mask \"re:(a{300}){300}\" is too large: with its repeats written out ({3} as "
         "three times) it would be longer than 1000 characters."},
        {"re:a{1,44444444444444444444}", "The mask \"re:a{1,44444444444444444444}\" is too large: "},
        {"re:(x|y{999}|z{2})", "The mask \"re:(x|y{999}|z{2})\" is too large: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern);
        MaskPattern pattern;
        std::string error;
        EXPECT_EQ(pattern.Compile(c.pattern, &error), 0);
        EXPECT_EQ(error.compare(0, std::string(c.message).size(), c.message), 0) << error;
    }
    MaskPattern longOne;
    std::string error;
    EXPECT_EQ(longOne.Compile(std::string(256, 'x'), &error), 0);
    EXPECT_NE(error.find("longer than 255 characters"), std::string::npos);
    EXPECT_EQ(longOne.Compile(std::string(255, 'x'), &error), 1);
}

// Nested repeats over a long text: the default matcher of the C++ library recurses per character
// and would overflow the stack of the thread (tens of megabytes for this text); the matcher used
// needs only as much stack as the pattern.
TEST(MaskPattern, ARegularExpressionNeedsNoMoreStackForALongerText) {
    MaskPattern pattern;
    ASSERT_EQ(pattern.Compile("re:((((a|b| )))+)+", nullptr), 1);
    std::string text;
    for (int i = 0; i < 20000; ++i)
        text += i % 7 == 6 ? ' ' : static_cast<char>('a' + i % 2);
    int masked = -1;
    std::thread worker([&] { masked = pattern.Apply(&text[0], static_cast<int>(text.size())); });
    worker.join();
    EXPECT_EQ(masked, 1);
    EXPECT_EQ(text, std::string(20000, '*'));
}

// Many stars over a long word must not take exponential time (the test would not finish).
TEST(MaskPattern, ManyStarsOverALongWordFinishAtOnce) {
    MaskPattern pattern;
    ASSERT_EQ(pattern.Compile("*a*a*a*a*a*a*a*a*b", nullptr), 1);
    std::string text(1000, 'a');
    EXPECT_EQ(pattern.Apply(&text[0], static_cast<int>(text.size())), 0);
}

TEST(MaskSet, SettingsFileRoundTripAndCardNumbersBeforeUserMasks) {
    TempDir dir;
    std::string path = dir.File("zamri.ini");
    MaskSettings defaults = zamri::ReadSettings(path.c_str())->masks;
    EXPECT_TRUE(defaults.cardNumbers);
    EXPECT_TRUE(defaults.patterns.empty());

    ASSERT_EQ(WriteMaskPatterns(path.c_str(), {"MEMBER *", "re:(", "re:TEL (\\d+)"}), 1);
    MaskSettings read = zamri::ReadSettings(path.c_str())->masks;
    EXPECT_EQ(read.patterns, (std::vector<std::string>{"MEMBER *", "re:(", "re:TEL (\\d+)"}));
    std::vector<std::string> errors;
    MaskSet set(read, &errors);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("The mask \"re:(\" is not a valid regular expression", 0), 0u);
    EXPECT_EQ(set.Settings().patterns.size(), 3u);  // kept as written, for the user to mend

    std::string text = "MEMBER 4111111111111111 TEL 0301234";
    int cards = 0, user = 0;
    set.Apply(&text[0], static_cast<int>(text.size()), &cards, &user);
    EXPECT_EQ(text, "MEMBER **************** TEL *******");
    EXPECT_EQ(cards, 1);
    EXPECT_EQ(user, 2);

    ASSERT_EQ(WriteMaskCardNumbers(path.c_str(), false), 1);
    ASSERT_EQ(WriteMaskPatterns(path.c_str(), {}), 1);
    read = zamri::ReadSettings(path.c_str())->masks;
    EXPECT_FALSE(read.cardNumbers);
    EXPECT_TRUE(read.patterns.empty());
    text = "4111111111111111";
    cards = 0;
    MaskSet(read).Apply(&text[0], static_cast<int>(text.size()), &cards, &user);
    EXPECT_EQ(text, "4111111111111111");
    EXPECT_EQ(cards, 0);
}

// A hand-edited file: a count far beyond the entries present gives those present, read at once,
// and only a plain 0 switches card numbers off.
TEST(MaskSet, AHandEditedFileGivesWhatItHoldsAndKeepsCardNumbersMaskedWhenInDoubt) {
    TempDir dir;
    std::string path = dir.File("zamri.ini");
    ASSERT_TRUE(testing_support::WriteFileBytes(path,
                                                "[Options]\r\nMaskCardNumbers=no\r\n[Mask]\r\ncount="
                                                "2000000000\r\n1=TEL *\r\n007=X\r\n0=MEMBER *\r\n"));
    MaskSettings read = zamri::ReadSettings(path.c_str())->masks;
    EXPECT_TRUE(read.cardNumbers);
    EXPECT_EQ(read.patterns, (std::vector<std::string>{"MEMBER *", "TEL *"}));
    ASSERT_TRUE(testing_support::WriteFileBytes(path, "[Options]\r\nMaskCardNumbers= 0 \r\n"));
    EXPECT_FALSE(zamri::ReadSettings(path.c_str())->masks.cardNumbers);
}

}  // namespace
