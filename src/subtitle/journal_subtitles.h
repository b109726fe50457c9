// A camera's receipts over a range of the journal as subtitles for a clip: what zamri-find
// --srt / --vtt prints and what the page's "Subtitles" downloads give, made the same way.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

#include "journal/journal_search.h"

namespace zamri {

struct JournalSubtitleQuery {
    // The lines searched: a camera, and local bounds "YYYY-MM-DD[THH:MM[:SS[.mmm]]]" (a blank may stand
    // for the T), each covering its whole day, minute, second or millisecond; the search's cap and time limit
    // as they are set here. Text, regex and linesOnly must stay unset: subtitles show receipts.
    FindQuery find;
    // The clip's first moment in the same form; empty: find.from.
    std::string clipStart;
    bool webVtt = false;
    // A folder that is not there yet (the journal makes it with its first record) gives empty
    // subtitles, not an error.
    bool noFolderIsEmpty = false;
};

struct JournalSubtitles {
    std::string text;
    size_t cues = 0;
    // capped or timedOut: the journal was not read to the end of the range, receipts are missing.
    FindStats stats;
};

// 1 with the subtitles; 0 with the reason in error (a bound that is not a time, a journal that
// cannot be read, or *stop became true). The clip's times are taken in the zone the journal's
// lines were written in, as the page and the search show them; the PC's zone only when the
// range holds no line.
int MakeJournalSubtitles(const std::string& folder, const JournalSubtitleQuery& query,
                         const std::atomic<bool>* stop, JournalSubtitles& out, std::string& error);

}  // namespace zamri
