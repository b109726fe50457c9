// Receipts as subtitles for an evidence clip: the lines printed on one camera's till, timed from
// the clip's start, as SubRip (.srt) and WebVTT (.vtt).
//
// How a receipt is shown: its lines build up in one block, as the paper comes out of the
// printer. Each cue shows the receipt's lines so far and lasts until the next line or, when
// that comes later, for holdMilliseconds; so a receipt stays whole on the screen and is fully
// readable once its last line is printed, and it goes when the next receipt begins. A block
// holds at most maxRows rows; a longer receipt scrolls (its newest rows stay), as a printer's
// paper does. Lines printed within mergeMilliseconds of a cue's first line join that cue, so a
// receipt printed at once is one cue, not dozens of a few milliseconds each. A line longer than
// maxColumns characters is wrapped onto more rows, at a blank where one is near the end. Blank
// lines are not shown. A line with flag 4 (Important, or an exception's line) is shown in bold.
//
// Receipts are told apart by their number, and a line with flag 2 ends its receipt. A receipt
// begun before the clip starts is shown from the clip's first moment with the lines it had.
//
// Text is UTF-8 (bytes that are not become U+FFFD, control characters too). Escaping:
//   WebVTT   & < > as &amp; &lt; &gt; (so no "-->" can appear in a cue's text)
//   SubRip   has no escapes, and players take <...> for a tag and {...} for a style: a WORD
//            JOINER (U+2060, invisible) follows every < and stands between the -- and > of
//            "-->", so the text shows as printed and is never taken for markup; { becomes the
//            FULLWIDTH LEFT CURLY BRACKET (U+FF5B), as no invisible mark keeps it from opening
//            a style.
// SubRip files start with a UTF-8 byte-order mark (players on Windows read the file as UTF-8
// only then) and end lines in CR LF; WebVTT files have neither.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zamri {

struct SubtitleLine {
    int64_t utcMilliseconds = 0;
    std::string text;  // UTF-8
    uint32_t receipt = 0;
    int flags = 0;  // 1 first line, 2 ends its receipt, 4 Important
};

struct SubtitleOptions {
    int64_t clipStartUtcMilliseconds = 0;
    int64_t clipEndUtcMilliseconds = 0;  // 0: the clip has no set end
    int holdMilliseconds = 5000;
    int mergeMilliseconds = 250;
    int maxRows = 12;
    int maxColumns = 48;
};

struct SubtitleRow {
    std::string text;  // UTF-8, not escaped
    bool bold = false;
};

struct SubtitleCue {
    int64_t startMilliseconds = 0;  // from the clip's start
    int64_t endMilliseconds = 0;
    uint32_t receipt = 0;
    std::vector<SubtitleRow> rows;
};

// The cues for the lines (in any order; those of one camera) over the clip.
std::vector<SubtitleCue> BuildSubtitleCues(std::vector<SubtitleLine> lines, const SubtitleOptions& options);

std::string SubRipText(const std::vector<SubtitleCue>& cues);
std::string WebVttText(const std::vector<SubtitleCue>& cues);

}  // namespace zamri
