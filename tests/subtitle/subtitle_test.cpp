// Receipts as subtitles: the cues' timing (a receipt builds up in one block, held a few seconds,
// gone when the next begins), the clip's start and end, long lines and long receipts; and whole
// files against golden .srt and .vtt files with every character either format must escape.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "subtitle/subtitle_track.h"

namespace {

using zamri::SubtitleCue;
using zamri::SubtitleLine;
using zamri::SubtitleOptions;

constexpr int64_t kClip = 1796734800000;  // the clip's start

SubtitleLine Line(int64_t offsetMilliseconds, const std::string& text, uint32_t receipt, int flags = 0) {
    return SubtitleLine{kClip + offsetMilliseconds, text, receipt, flags};
}

SubtitleOptions Options() {
    SubtitleOptions options;
    options.clipStartUtcMilliseconds = kClip;
    return options;
}

std::string Rows(const SubtitleCue& cue) {
    std::string text;
    for (const auto& row : cue.rows)
        text += (row.bold ? "*" : "") + row.text + "|";
    return text;
}

std::string Timing(const std::vector<SubtitleCue>& cues) {
    std::string text;
    for (const auto& cue : cues)
        text += std::to_string(cue.startMilliseconds) + "-" + std::to_string(cue.endMilliseconds) + " " +
                Rows(cue) + "\n";
    return text;
}

TEST(SubtitleCues, AReceiptBuildsUpInOneBlockHeldUntilTheNextLineOrAFewSecondsLater) {
    std::vector<SubtitleLine> lines = {
        Line(1000, "SHOP", 1, 1),
        Line(1100, "COFFEE  2.50", 1),  // within the merge time: the same cue
        Line(3000, "", 1),              // blank: not shown, but keeps the receipt up
        Line(4000, "TOTAL  2.50", 1, 2),
        Line(20000, "SHOP", 2, 1),  // long after: the first receipt went after its hold
        Line(21000, "VOID  1.00", 2, 4),
        Line(22000, "TOTAL  0.00", 2, 2),
        Line(23000, "SHOP", 3, 1),  // the next receipt replaces it at once
    };
    EXPECT_EQ(Timing(zamri::BuildSubtitleCues(lines, Options())),
              "1000-4000 SHOP|COFFEE  2.50|\n"
              "4000-9000 SHOP|COFFEE  2.50|TOTAL  2.50|\n"
              "20000-21000 SHOP|\n"
              "21000-22000 SHOP|*VOID  1.00|\n"
              "22000-23000 SHOP|*VOID  1.00|TOTAL  0.00|\n"
              "23000-28000 SHOP|\n");
}

TEST(SubtitleCues, KeepToTheClipAndToTheScreen) {
    SubtitleOptions options = Options();
    options.clipEndUtcMilliseconds = kClip + 10000;
    options.maxRows = 3;
    options.maxColumns = 20;
    std::vector<SubtitleLine> lines = {
        Line(-4000, "BEFORE THE CLIP", 1, 1),  // the receipt in progress when the clip starts
        Line(-3000, "A", 1),
        Line(2000, "B", 1),
        Line(3000, "C", 1, 2),
        // Wrapped at the last blank in the row's last third, else after 20 characters.
        Line(6000, "ITEM WITH A LONG NAME 12.50", 2, 1),
        Line(7000, "0123456789012345678901234", 2, 2),
        Line(12000, "AFTER THE CLIP", 3, 1),
    };
    EXPECT_EQ(Timing(zamri::BuildSubtitleCues(lines, options)),
              "0-2000 BEFORE THE CLIP|A|\n"
              "2000-3000 BEFORE THE CLIP|A|B|\n"
              "3000-6000 A|B|C|\n"
              "6000-7000 ITEM WITH A LONG|NAME 12.50|\n"
              "7000-10000 NAME 12.50|01234567890123456789|01234|\n");
}

std::string Golden(const std::string& name) {
    std::ifstream file(std::string(ZAMRI_SUBTITLE_GOLDEN_DIR) + "/" + name, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Two receipts of camera 3 with what either format must escape, UTF-8, a byte that is not,
// a line in bold and one too long for the screen.
std::vector<SubtitleLine> EvidenceLines() {
    return {
        Line(2000, "CAF\xC3\x89 DU NORD", 41, 1),
        Line(2040, "<b>Espresso</b> & Co    2,50 \xE2\x82\xAC", 41),
        Line(2080, "{\\an8}Croissant        1,90 \xE2\x82\xAC", 41),
        Line(4500, "ARROW --> 3 \x01 \xFF", 41),
        Line(6000, "*** REFUND 4,40 \xE2\x82\xAC ***", 41, 4),
        Line(6010, "TOTAL                  0,00 \xE2\x82\xAC", 41, 2),
        Line(15000, "CAF\xC3\x89 DU NORD", 42, 1),
        Line(15500, "MERCI DE VOTRE VISITE ET A BIENTOT DANS NOTRE MAGASIN", 42, 2),
    };
}

TEST(SubtitleFiles, MatchTheGoldenSubRipAndWebVttFiles) {
    auto cues = zamri::BuildSubtitleCues(EvidenceLines(), Options());
    EXPECT_EQ(zamri::SubRipText(cues), Golden("evidence.srt"));
    EXPECT_EQ(zamri::WebVttText(cues), Golden("evidence.vtt"));
    EXPECT_EQ(zamri::SubRipText({}), "\xEF\xBB\xBF");
    EXPECT_EQ(zamri::WebVttText({}), "WEBVTT\n");
}

}  // namespace
