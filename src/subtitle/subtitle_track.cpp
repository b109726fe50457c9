#include "subtitle/subtitle_track.h"

#include <algorithm>
#include <cstdio>

#include "journal/journal_record.h"
#include "text/utf8.h"

namespace zamri {

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";     // U+FFFD
const char kWordJoiner[] = "\xE2\x81\xA0";      // U+2060
const char kFullwidthBrace[] = "\xEF\xBD\x9B";  // U+FF5B

// Valid UTF-8 without control characters (a tab becomes a blank), trailing blanks removed.
std::string CleanText(const std::string& text) {
    std::string clean;
    clean.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\t') {
            clean += ' ';
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            clean += kReplacement;
            ++i;
        } else if (c < 0x80) {
            clean += static_cast<char>(c);
            ++i;
        } else if (size_t n = Utf8SequenceLength(text, i)) {
            clean.append(text, i, n);
            i += n;
        } else {
            clean += kReplacement;
            ++i;
        }
    }
    while (!clean.empty() && clean.back() == ' ')
        clean.pop_back();
    return clean;
}

// Byte offsets of the characters of valid UTF-8 text, and its end.
std::vector<size_t> CharacterStarts(const std::string& text) {
    std::vector<size_t> starts;
    for (size_t i = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            starts.push_back(i);
    starts.push_back(text.size());
    return starts;
}

// A row without its trailing blanks; one of blanks only is not shown (to SubRip it would end
// the cue).
void AppendRow(std::string text, bool bold, std::vector<SubtitleRow>* rows) {
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    if (!text.empty())
        rows->push_back({std::move(text), bold});
}

void AppendWrapped(const std::string& text, bool bold, int maxColumns, std::vector<SubtitleRow>* rows) {
    std::vector<size_t> at = CharacterStarts(text);
    size_t columns = static_cast<size_t>(std::max(maxColumns, 8));
    size_t first = 0;  // index into at
    size_t count = at.size() - 1;
    while (count - first > columns) {
        size_t cut = first + columns;  // the row ends before character cut
        size_t next = cut;
        // A blank in the last third of the row takes the break (and is dropped there).
        for (size_t k = cut; k > first + columns * 2 / 3; --k) {
            if (text[at[k]] == ' ') {
                cut = k;
                next = k + 1;
                break;
            }
        }
        AppendRow(text.substr(at[first], at[cut] - at[first]), bold, rows);
        first = next;
    }
    if (first < count)
        AppendRow(text.substr(at[first]), bold, rows);
}

std::vector<SubtitleRow> Newest(const std::vector<SubtitleRow>& rows, int maxRows) {
    size_t keep = static_cast<size_t>(std::max(maxRows, 1));
    if (rows.size() <= keep)
        return rows;
    return std::vector<SubtitleRow>(rows.end() - static_cast<std::ptrdiff_t>(keep), rows.end());
}

// SubRip: always "HH:MM:SS,mmm". WebVTT: "MM:SS.mmm" within the first hour, as ffmpeg writes
// it too, so a file muxed into a clip and taken out again reads back the same.
std::string Timestamp(int64_t milliseconds, char separator, bool shortWithinAnHour) {
    char text[32];
    long long ms = milliseconds % 1000, s = milliseconds / 1000;
    long long hours = s / 3600, minutes = s / 60 % 60, seconds = s % 60;
    if (shortWithinAnHour && hours == 0)
        std::snprintf(text, sizeof text, "%02lld:%02lld%c%03lld", minutes, seconds, separator, ms);
    else
        std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld%c%03lld", hours, minutes, seconds, separator,
                      ms);
    return text;
}

std::string SubRipEscaped(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '{') {
            out += kFullwidthBrace;
            continue;
        }
        out += c;
        if (c == '<')
            out += kWordJoiner;
        else if (c == '-' && i + 2 < text.size() && text[i + 1] == '-' && text[i + 2] == '>') {
            out += '-';
            out += kWordJoiner;
            ++i;
        }
    }
    return out;
}

std::string WebVttEscaped(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

}  // namespace

std::vector<SubtitleCue> BuildSubtitleCues(std::vector<SubtitleLine> lines, const SubtitleOptions& options) {
    std::stable_sort(lines.begin(), lines.end(), [](const SubtitleLine& a, const SubtitleLine& b) {
        return a.utcMilliseconds < b.utcMilliseconds;
    });
    std::vector<SubtitleCue> cues;  // in UTC milliseconds until the end
    std::vector<SubtitleRow> receiptRows;
    bool inReceipt = false, receiptEnded = false;
    uint32_t receipt = 0;
    SubtitleCue open;
    bool isOpen = false;
    int64_t openLast = 0;  // the time of the open cue's newest line

    auto close = [&](int64_t next) {
        if (!isOpen)
            return;
        open.endMilliseconds = std::min(next, openLast + options.holdMilliseconds);
        if (!open.rows.empty() && open.endMilliseconds > open.startMilliseconds)
            cues.push_back(open);
        isOpen = false;
    };

    for (const SubtitleLine& line : lines) {
        bool newReceipt = !inReceipt || receiptEnded || line.receipt != receipt;
        if (newReceipt) {
            receiptRows.clear();
            receipt = line.receipt;
        }
        inReceipt = true;
        receiptEnded = (line.flags & 2) != 0;
        size_t before = receiptRows.size();
        std::string text = CleanText(line.text);
        if (text.find_first_not_of(' ') != std::string::npos)
            AppendWrapped(text, (line.flags & 4) != 0, options.maxColumns, &receiptRows);
        bool grew = receiptRows.size() > before;
        int64_t t = line.utcMilliseconds;
        bool joins =
            isOpen && !newReceipt && (!grew || t - open.startMilliseconds <= options.mergeMilliseconds);
        if (joins) {
            open.rows = Newest(receiptRows, options.maxRows);
            openLast = t;
            continue;
        }
        close(t);
        open = SubtitleCue();
        open.startMilliseconds = t;
        open.receipt = receipt;
        open.rows = Newest(receiptRows, options.maxRows);
        openLast = t;
        isOpen = true;
    }
    close(INT64_MAX);

    // From the clip's start, cut to the clip.
    std::vector<SubtitleCue> clipped;
    int64_t limit = options.clipEndUtcMilliseconds > 0
                        ? options.clipEndUtcMilliseconds - options.clipStartUtcMilliseconds
                        : INT64_MAX;
    for (SubtitleCue& cue : cues) {
        cue.startMilliseconds =
            std::max<int64_t>(cue.startMilliseconds - options.clipStartUtcMilliseconds, 0);
        cue.endMilliseconds = std::min(cue.endMilliseconds - options.clipStartUtcMilliseconds, limit);
        if (cue.endMilliseconds > cue.startMilliseconds)
            clipped.push_back(std::move(cue));
    }
    return clipped;
}

std::string SubRipText(const std::vector<SubtitleCue>& cues) {
    std::string out = "\xEF\xBB\xBF";
    int number = 0;
    for (const SubtitleCue& cue : cues) {
        out += std::to_string(++number) + "\r\n";
        out += Timestamp(cue.startMilliseconds, ',', false) + " --> " +
               Timestamp(cue.endMilliseconds, ',', false) + "\r\n";
        for (const SubtitleRow& row : cue.rows)
            out += (row.bold ? "<b>" + SubRipEscaped(row.text) + "</b>" : SubRipEscaped(row.text)) + "\r\n";
        out += "\r\n";
    }
    return out;
}

std::string WebVttText(const std::vector<SubtitleCue>& cues) {
    std::string out = "WEBVTT\n";
    for (const SubtitleCue& cue : cues) {
        out += "\n" + Timestamp(cue.startMilliseconds, '.', true) + " --> " +
               Timestamp(cue.endMilliseconds, '.', true) + "\n";
        for (const SubtitleRow& row : cue.rows)
            out += (row.bold ? "<b>" + WebVttEscaped(row.text) + "</b>" : WebVttEscaped(row.text)) + "\n";
    }
    return out;
}

}  // namespace zamri
