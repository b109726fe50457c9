// The page's "Subtitles" downloads: a camera's receipts over a time range as SubRip or WebVTT,
// timed from a clip's start, made by the subtitle track from the journal's lines.
#pragma once

#include <atomic>
#include <string>

namespace zamri {

struct WebSubtitleQuery {
    int camera = 1;
    // Local times, "YYYY-MM-DDTHH:MM[:SS]": the range (to covers its whole minute or second) and
    // the clip's first moment (empty: from).
    std::string from;
    std::string to;
    std::string clipStart;
    bool webVtt = false;
};

// 1 with the file's text; 0 with the reason in error (the journal could not be read, or not to
// the end of the range in time). Gives up with 0 when stop becomes true.
int JournalSubtitleText(const std::string& folder, const WebSubtitleQuery& query,
                        const std::atomic<bool>& stop, std::string& text, std::string& error);

// "camera-3-2026-12-09-1430.srt": the download's file name.
std::string SubtitleFileName(const WebSubtitleQuery& query);

}  // namespace zamri
