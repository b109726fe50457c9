#include "web/web_subtitles.h"

#include <utility>

#include "subtitle/journal_subtitles.h"
#include "web/web_events.h"

namespace zamri {

int JournalSubtitleText(const std::string& folder, const WebSubtitleQuery& query,
                        const std::atomic<bool>& stop, std::string& text, std::string& error) {
    JournalSubtitleQuery subtitles;
    subtitles.find.camera = query.camera;
    subtitles.find.from = query.from;
    subtitles.find.to = query.to;
    subtitles.find.timeLimitMilliseconds = kEventsSeconds * 1000;
    subtitles.clipStart = query.clipStart;
    subtitles.webVtt = query.webVtt;
    subtitles.noFolderIsEmpty = true;
    JournalSubtitles made;
    if (!MakeJournalSubtitles(folder, subtitles, &stop, made, error))
        return 0;
    if (made.stats.timedOut) {
        error = "The journal could not be read to the end of the range in " + std::to_string(kEventsSeconds) +
                " seconds, so the subtitles would miss receipts. Choose a shorter range.";
        return 0;
    }
    text = std::move(made.text);
    return 1;
}

std::string SubtitleFileName(const WebSubtitleQuery& query) {
    std::string name = "camera-" + std::to_string(query.camera) + "-";
    const std::string& start = query.clipStart.empty() ? query.from : query.clipStart;
    for (size_t i = 0; i < start.size() && i < 16; ++i) {
        char c = start[i];
        if (c >= '0' && c <= '9')
            name += c;
        else if (i == 4 || i == 7 || i == 10)
            name += '-';
    }
    return name + (query.webVtt ? ".vtt" : ".srt");
}

}  // namespace zamri
