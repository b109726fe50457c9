// Receipt ends: where receipts are cut apart, and the footer a stream repeats.
#include <gtest/gtest.h>

#include <string>

#include "detect/printer_stream_detector.h"
#include "detect/receipt_end_guess.h"
#include "detect/tap_detection.h"
#include "support/printer_bytes.h"
#include "serial/command_tables.h"

using testing_support::PrinterBytes;

namespace {

StreamFinding Detect(const std::string& notation) {
    std::string bytes = PrinterBytes(notation);
    return DetectStream(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()).stream;
}

std::string Receipt(int n, const char* end) {
    return "<ESC 40>CORNER SHOP<LF>Receipt " + std::to_string(n) + "<LF>Milk " + std::to_string(n) +
           ".20<LF><ESC E 01>TOTAL " + std::to_string(n) + ".20<ESC E 00><LF>Thank you<LF>" + end;
}

TEST(ReceiptEndGuess, TellsFormFeedsCutsAndFooters) {
    std::string cuts, feedsThenCuts, footers;
    for (int i = 1; i <= 3; ++i) {
        cuts += Receipt(i, "<GS V 00>");
        feedsThenCuts += Receipt(i, "<ESC d 06><GS V 01>");
        footers += Receipt(i, "");
    }
    StreamFinding cut = Detect(cuts);
    EXPECT_EQ(cut.receiptEnd, kReceiptEndCut);
    EXPECT_EQ(cut.footer, "Thank you");
    EXPECT_EQ(Detect(feedsThenCuts).receiptEnd, kReceiptEndCut);
    // Receipts told apart only by the reset that begins each: the footer ends them.
    StreamFinding footer = Detect(footers);
    EXPECT_EQ(footer.receiptEnd, kReceiptEndFooter);
    EXPECT_EQ(footer.footer, "Thank you");

    // One receipt proves no footer.
    EXPECT_EQ(Detect(Receipt(1, "<GS V 00>")).footer, "");
    EXPECT_EQ(Detect(Receipt(1, "<FF>")).receiptEnd, kReceiptEndFormFeed);
}

TEST(ReceiptEndGuess, FooterOfAPlainStreamJoinedInTheMiddle) {
    std::string text;
    for (int i = 1; i <= 4; ++i)
        text +=
            "SHOP 17<CR LF>NR " + std::to_string(i) + "<CR LF>TEA " + std::to_string(i) + "<CR LF>BYE<CR LF>";
    // Joined inside the first receipt: BYE is still the line the header always follows.
    StreamFinding f = Detect(text.substr(text.find("TEA")));
    EXPECT_EQ(f.emulation, kEmulationTextOnly);
    EXPECT_EQ(f.receiptEnd, kReceiptEndFooter);
    EXPECT_EQ(f.footer, "BYE");
    // A footer that also stands inside receipts would end them early: not taken.
    std::string inside;
    for (int i = 1; i <= 4; ++i)
        inside += "SHOP<LF>BYE BYE " + std::to_string(i) + "<LF>BYE<LF>";
    EXPECT_EQ(Detect(inside).footer, "");
}

TEST(ReceiptEndGuess, UsableFooterFitsTheSettingsFile) {
    EXPECT_EQ(UsableFooter("  Thank you  ", 63), "Thank you");
    EXPECT_EQ(UsableFooter("Thanks, come again soon", 63), "come again soon");
    EXPECT_EQ(UsableFooter(std::string(80, 'x'), 63).size(), 63u);
    EXPECT_EQ(UsableFooter(" , ", 63), "");
}

}  // namespace
