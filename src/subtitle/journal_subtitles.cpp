#include "subtitle/journal_subtitles.h"

#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/local_time.h"
#include "subtitle/subtitle_track.h"
#include "text/civil_days.h"

namespace zamri {

namespace {

bool Digits(const std::string& text, size_t at, size_t count, int* value) {
    if (text.size() < at + count)
        return false;
    int v = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        v = v * 10 + (text[i] - '0');
    }
    *value = v;
    return true;
}

// The local moment a bound ("2026-12-08", "2026-12-08T14:05", "...:07", "...:07.250") begins at,
// as if the local time were UTC, and how long it lasts.
bool BoundStart(const std::string& bound, int64_t* localMs, int64_t* lengthMs) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milli = 0;
    size_t n = bound.size();
    if ((n != 10 && n != 16 && n != 19 && n != 23) || !Digits(bound, 0, 4, &year) || bound[4] != '-' ||
        !Digits(bound, 5, 2, &month) || bound[7] != '-' || !Digits(bound, 8, 2, &day))
        return false;
    if (n > 10 && ((bound[10] != 'T' && bound[10] != ' ') || !Digits(bound, 11, 2, &hour) ||
                   bound[13] != ':' || !Digits(bound, 14, 2, &minute)))
        return false;
    if (n >= 19 && (bound[16] != ':' || !Digits(bound, 17, 2, &second)))
        return false;
    if (n == 23 && (bound[19] != '.' || !Digits(bound, 20, 3, &milli)))
        return false;
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59)
        return false;
    // A day that does not exist comes back from the round trip as another.
    int64_t days = DaysFromCivil(year, month, day);
    int y = 0, m = 0, d = 0;
    CivilFromDays(days, &y, &m, &d);
    if (y != year || m != month || d != day)
        return false;
    *localMs = ((days * 24 + hour) * 60 + minute) * 60000 + static_cast<int64_t>(second) * 1000 + milli;
    *lengthMs = n == 10 ? 86400000 : n == 16 ? 60000 : n == 19 ? 1000 : 1;
    return true;
}

// The journal compares bounds with the T.
std::string WithT(std::string bound) {
    if (bound.size() > 10 && bound[10] == ' ')
        bound[10] = 'T';
    return bound;
}

// The PC's offset at the instant a local time names, found in two steps so that a time next to
// a clock change takes the offset in force then.
int64_t UtcOfLocal(int64_t localMs) {
    int64_t guess = localMs - static_cast<int64_t>(LocalUtcOffsetMinutes(localMs)) * 60000;
    return localMs - static_cast<int64_t>(LocalUtcOffsetMinutes(guess)) * 60000;
}

}  // namespace

int MakeJournalSubtitles(const std::string& folder, const JournalSubtitleQuery& query,
                         const std::atomic<bool>* stop, JournalSubtitles& out, std::string& error) {
    int64_t from = 0, to = 0, clip = 0, fromLength = 0, toLength = 0, clipLength = 0;
    const std::string& clipBound = query.clipStart.empty() ? query.find.from : query.clipStart;
    if (!BoundStart(query.find.from, &from, &fromLength) || !BoundStart(query.find.to, &to, &toLength) ||
        !BoundStart(clipBound, &clip, &clipLength)) {
        error = "the times must be like 2026-12-09T14:30";
        return 0;
    }
    FindQuery find = query.find;
    find.from = WithT(find.from);
    find.to = WithT(find.to);
    JournalSearch search;
    if (!search.Prepare(find, &error))
        return 0;
    std::vector<SubtitleLine> lines;
    bool offsetKnown = false;
    int offsetMinutes = 0;
    out.stats = FindStats();
    std::error_code missing;
    bool skip =
        query.noFolderIsEmpty && !std::filesystem::is_directory(std::filesystem::path(folder), missing);
    bool ok = skip || search.Run(
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
                              return stop == nullptr || !stop->load();
                          },
                          &out.stats, &error);
    if (!ok)
        return 0;
    if (stop != nullptr && stop->load()) {
        error = "the program is stopping";
        return 0;
    }
    auto utc = [&](int64_t localMs) {
        return offsetKnown ? localMs - static_cast<int64_t>(offsetMinutes) * 60000 : UtcOfLocal(localMs);
    };
    SubtitleOptions options;
    options.clipStartUtcMilliseconds = utc(clip);
    options.clipEndUtcMilliseconds = utc(to + toLength);
    std::vector<SubtitleCue> cues = BuildSubtitleCues(std::move(lines), options);
    out.cues = cues.size();
    out.text = query.webVtt ? WebVttText(cues) : SubRipText(cues);
    return 1;
}

}  // namespace zamri
