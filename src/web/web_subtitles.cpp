#include "web/web_subtitles.h"

#include <vector>

#include "journal/journal_search.h"
#include "platform/local_time.h"
#include "subtitle/subtitle_track.h"
#include "web/web_events.h"
#include "web/web_text.h"

namespace zamri {

namespace {

// The UTC instant of a local time: the offset at the instant it names, found in two steps so
// that a time next to a clock change takes the offset in force then.
int64_t UtcOfLocal(int64_t localMs) {
    int64_t guess = localMs - static_cast<int64_t>(LocalUtcOffsetMinutes(localMs)) * 60000;
    return localMs - static_cast<int64_t>(LocalUtcOffsetMinutes(guess)) * 60000;
}

}  // namespace

int JournalSubtitleText(const std::string& folder, const WebSubtitleQuery& query,
                        const std::atomic<bool>& stop, std::string& text, std::string& error) {
    int64_t toMs = 0, clipMs = 0;
    const std::string& clip = query.clipStart.empty() ? query.from : query.clipStart;
    if (!ParseLocalTime(query.to, &toMs) || !ParseLocalTime(clip, &clipMs)) {
        error = "the times must be like 2026-12-09T14:30";
        return 0;
    }
    FindQuery find;
    find.camera = query.camera;
    find.from = JournalTimeBound(query.from);
    find.to = JournalTimeBound(query.to);
    find.timeLimitMilliseconds = kEventsSeconds * 1000;
    JournalSearch search;
    if (!search.Prepare(find, &error))
        return 0;
    std::vector<SubtitleLine> lines;
    bool offsetKnown = false;
    int offsetMinutes = 0;
    FindStats stats;
    if (JournalFolderExists(folder) && !search.Run(
                                           folder,
                                           [&](const FoundReceipt& receipt) {
                                               for (const FoundLine& line : receipt.lines) {
                                                   if (!offsetKnown) {
                                                       offsetKnown = true;
                                                       offsetMinutes = line.record.utcOffsetMinutes;
                                                   }
                                                   SubtitleLine shown;
                                                   shown.utcMilliseconds = line.record.utcMilliseconds;
                                                   shown.text = line.record.text;
                                                   shown.receipt = static_cast<uint32_t>(line.record.receipt);
                                                   shown.flags = line.record.flags;
                                                   lines.push_back(std::move(shown));
                                               }
                                               return !stop.load();
                                           },
                                           &stats, &error))
        return 0;
    if (GaveUp(stop, error))
        return 0;
    if (stats.timedOut) {
        error = "The journal could not be read to the end of the range in " + std::to_string(kEventsSeconds) +
                " seconds, so the subtitles would miss receipts. Choose a shorter range.";
        return 0;
    }
    // The range was found by the lines' own local times, the ones the page shows: the clip's
    // times are taken in the same zone.
    auto utc = [&](int64_t localMs) {
        return offsetKnown ? localMs - static_cast<int64_t>(offsetMinutes) * 60000 : UtcOfLocal(localMs);
    };
    SubtitleOptions options;
    options.clipStartUtcMilliseconds = utc(clipMs);
    // A bound of minutes covers its whole minute, one of seconds its second.
    options.clipEndUtcMilliseconds = utc(toMs + (query.to.size() == 16 ? 60000 : 1000));
    std::vector<SubtitleCue> cues = BuildSubtitleCues(std::move(lines), options);
    text = query.webVtt ? WebVttText(cues) : SubRipText(cues);
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
