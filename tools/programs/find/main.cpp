// zamri-find: searches the receipt journal by text, camera and time, and prints whole
// receipts with the matching lines marked, or only the matching lines; or lists the
// exceptions and transactions read from the receipts, and reports on the exceptions.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "config/settings.h"
#include "console.h"
#include "journal/event_output.h"
#include "journal/find_time.h"
#include "journal/journal_events.h"
#include "journal/journal_search.h"
#include "journal/local_clock.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "subtitle/journal_subtitles.h"

namespace {

const char kPackagedSettings[] = "/etc/zamri/zamri.ini";

const char kUsage[] =
    "usage: zamri-find [options] [TEXT]\n"
    "       zamri-find --exceptions [--kind K] [--report] [options]\n"
    "       zamri-find --transactions [options]\n"
    "       zamri-find --health [--kind K] [options]\n"
    "Searches the receipt journal and prints each receipt that has a line containing TEXT\n"
    "(without regard to case), the matching lines marked with '>'. Without TEXT every line matches.\n"
    "  -d, --journal DIR    the journal folder (default: the Journal setting of the settings file)\n"
    "  -s, --settings FILE  the settings file (default: zamri.ini beside the program, else\n"
    "                       /etc/zamri/zamri.ini where the Debian package put it)\n"
    "  -e, --regex          TEXT is a regular expression (ECMAScript syntax)\n"
    "  -C, --match-case     upper and lower case differ\n"
    "  -c, --camera N       only lines of camera N (1 to 32)\n"
    "      --from TIME      from this local time on\n"
    "      --to TIME        up to this local time (inclusive)\n"
    "  -l, --lines          print only the matching lines\n"
    "  -j, --json           print journal records, one JSON object per line (with \"match\")\n"
    "  -m, --max N          stop after N receipts (with --lines: lines); 0: no limit (default 10000)\n"
    "  -t, --time-limit S   stop after S seconds; 0: no limit (default 300)\n"
    "  -q, --quiet          no summary on standard error (a search that stopped early still says so)\n"
    "      --exceptions     list the exceptions (voids, refunds, no-sales, ...) instead of lines\n"
    "  -k, --kind K         with --exceptions: only those of kind K (void, refund, no-sale, discount,\n"
    "                       price-override, cancel, or a rule's name)\n"
    "      --report         with --exceptions: counts and amounts per cashier, camera and day\n"
    "      --transactions   list the transactions (total, tenders, cashier, ...) instead of lines\n"
    "      --health         list the feed-health events (a port that failed, a silent channel, a\n"
    "                       refused sender, ...), each at its start and its end; --kind: port,\n"
    "                       line-errors, silent, unexpected-camera or refused-sender\n"
    "      --csv            with --exceptions, --transactions or --health: CSV with a header row\n"
    "With --exceptions, --transactions or --health, --json prints the records as stored, --camera, --from,\n"
    "--to, --max (records; not for --report) and --time-limit apply, TEXT and --lines do not.\n"
    "      --srt, --vtt     print the camera's receipts from --from to --to as SubRip or WebVTT\n"
    "                       subtitles for a clip of that camera (needs --camera, --from and --to)\n"
    "      --clip-start TIME  the clip's first moment, when it is not --from\n"
    "TIME: today, yesterday, YYYY-MM-DD, YYYY-MM-DD HH:MM[:SS], HH:MM[:SS] (today), today HH:MM.\n"
    "A day or minute as a bound covers all of it: --from yesterday --to yesterday is one day.\n"
    "Exit status: 0 something found, 1 nothing found, 2 usage or journal error.\n";

constexpr uint64_t kDefaultMaxResults = 10000;
constexpr int kDefaultTimeLimitSeconds = 300;

struct Options {
    std::string journal;
    std::string settings;
    bool json = false;
    bool quiet = false;
    zamri::FindQuery query;
    bool haveText = false;
    // --exceptions or --transactions: the event read instead of lines.
    std::string event;
    std::string kind;
    bool csv = false;
    bool report = false;
    bool maxGiven = false;
    enum class Subtitles { kNone, kSrt, kVtt } subtitles = Subtitles::kNone;
    std::string clipStart;  // a bound as --from takes it; empty: --from
};

// A whole number from 0 to most; false when value is anything else.
bool ParseCount(const char* value, long long most, long long* out) {
    char* end = nullptr;
    long long n = std::strtoll(value, &end, 10);
    if (*value == 0 || *end != 0 || n < 0 || n > most)
        return false;
    *out = n;
    return true;
}

int Usage(const char* problem) {
    std::fprintf(stderr, "zamri-find: %s\n(zamri-find --help shows the options)\n", problem);
    return 2;
}

class Printer {
  public:
    explicit Printer(bool json) : json(json) {}
    ~Printer() { Flush(); }

    void Receipt(const zamri::FoundReceipt& receipt, bool linesOnly) {
        for (const zamri::FoundLine& line : receipt.lines) {
            if (json)
                JsonLine(line, !linesOnly);
            else if (linesOnly)
                PlainLine(line);
        }
        if (!json && !linesOnly && !receipt.lines.empty()) {
            const zamri::JournalRecord& first = receipt.lines.front().record;
            std::string time = zamri::FormatRecordTime(first.utcMilliseconds, first.utcOffsetMinutes);
            char head[160];
            std::snprintf(head, sizeof head, "%s== %.10s %.8s  camera %d  receipt %lld  %s\n",
                          printedAny ? "\n" : "", time.c_str(), time.c_str() + 11, first.camera,
                          static_cast<long long>(first.receipt), "");
            out.append(head);
            out.resize(out.size() - 1);
            out.append(first.source);
            if (receipt.partial)
                out.append("  (a part: the receipt is longer)");
            out.push_back('\n');
            for (const zamri::FoundLine& line : receipt.lines) {
                std::string t =
                    zamri::FormatRecordTime(line.record.utcMilliseconds, line.record.utcOffsetMinutes);
                out.append(line.match ? "> " : "  ");
                out.append(t, 11, 12);
                out.append("  ");
                out.append(line.record.text);
                out.push_back('\n');
            }
        }
        printedAny = true;
        if (out.size() > (1 << 16))
            Flush();
    }

    void Flush() {
        if (!out.empty())
            std::fwrite(out.data(), 1, out.size(), stdout);
        out.clear();
        std::fflush(stdout);
    }

  private:
    void JsonLine(const zamri::FoundLine& line, bool withMatch) {
        size_t start = out.size();
        zamri::AppendRecordLine(line.record, &out);
        if (withMatch) {
            out.resize(out.size() - 2);  // the closing brace and the newline
            out.append(line.match ? ",\"match\":true}\n" : ",\"match\":false}\n");
        }
        (void)start;
    }
    void PlainLine(const zamri::FoundLine& line) {
        std::string t = zamri::FormatRecordTime(line.record.utcMilliseconds, line.record.utcOffsetMinutes);
        char head[96];
        std::snprintf(head, sizeof head, "%.10s %.12s  camera %d  receipt %lld  ", t.c_str(), t.c_str() + 11,
                      line.record.camera, static_cast<long long>(line.record.receipt));
        out.append(head);
        out.append(line.record.text);
        out.push_back('\n');
    }

    bool json;
    bool printedAny = false;
    std::string out;
};

// The options that make no sense together, each refused with its reason.
bool CheckCombination(const Options& o) {
    const char* problem = nullptr;
    bool exceptions = o.event == "exception";
    if (!o.kind.empty() && !exceptions && o.event != "health")
        problem = "--kind goes with --exceptions or --health";
    else if (o.report && !exceptions)
        problem = "--report goes with --exceptions";
    else if (o.csv && o.event.empty())
        problem = "--csv goes with --exceptions or --transactions";
    else if (o.csv && o.json)
        problem = "--csv and --json go one at a time";
    else if (o.report && o.json)
        problem = "--report prints a table or, with --csv, CSV; not JSON";
    else if (o.report && o.maxGiven)
        problem = "--report counts every exception of the range; --max does not apply";
    else if (!o.event.empty() && (o.haveText || o.query.regex || o.query.matchCase || o.query.linesOnly))
        problem = "TEXT, --regex, --match-case and --lines search lines, not --exceptions or --transactions";
    if (problem != nullptr)
        Usage(problem);
    return problem == nullptr;
}

// 1 parsed, 0 usage error (already reported), -1 help shown.
int ParseOptions(int argc, char** argv, Options* o) {
    int64_t now = zamri::LocalNowMilliseconds();
    o->query.maxResults = kDefaultMaxResults;
    o->query.timeLimitMilliseconds = kDefaultTimeLimitSeconds * 1000;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto needValue = [&]() {
            if (value == nullptr) {
                Usage((arg + " needs a value").c_str());
                return false;
            }
            ++i;
            return true;
        };
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return -1;
        } else if (arg == "-d" || arg == "--journal") {
            if (!needValue())
                return 0;
            o->journal = value;
        } else if (arg == "-s" || arg == "--settings") {
            if (!needValue())
                return 0;
            o->settings = value;
        } else if (arg == "-e" || arg == "--regex") {
            o->query.regex = true;
        } else if (arg == "-C" || arg == "--match-case") {
            o->query.matchCase = true;
        } else if (arg == "-c" || arg == "--camera") {
            if (!needValue())
                return 0;
            char* end = nullptr;
            long camera = std::strtol(value, &end, 10);
            if (*value == 0 || *end != 0 || camera < 1 || camera > 32) {
                Usage("the camera is a number from 1 to 32");
                return 0;
            }
            o->query.camera = static_cast<int>(camera);
        } else if (arg == "--from" || arg == "--to") {
            if (!needValue())
                return 0;
            std::string* bound = arg == "--from" ? &o->query.from : &o->query.to;
            if (!zamri::ParseFindTime(value, now, bound)) {
                Usage(("cannot read the time \"" + std::string(value) + "\"").c_str());
                return 0;
            }
        } else if (arg == "-m" || arg == "--max") {
            long long n = 0;
            if (!needValue())
                return 0;
            if (!ParseCount(value, 1000000000000LL, &n)) {
                Usage("--max takes a whole number (0: no limit)");
                return 0;
            }
            o->query.maxResults = static_cast<uint64_t>(n);
            o->maxGiven = true;
        } else if (arg == "-t" || arg == "--time-limit") {
            long long n = 0;
            if (!needValue())
                return 0;
            if (!ParseCount(value, 2000000, &n)) {
                Usage("--time-limit takes a whole number of seconds (0: no limit)");
                return 0;
            }
            o->query.timeLimitMilliseconds = static_cast<int>(n * 1000);
        } else if (arg == "-l" || arg == "--lines") {
            o->query.linesOnly = true;
        } else if (arg == "-j" || arg == "--json") {
            o->json = true;
        } else if (arg == "-q" || arg == "--quiet") {
            o->quiet = true;
        } else if (arg == "--exceptions" || arg == "--transactions" || arg == "--health") {
            std::string event = arg == "--exceptions"     ? "exception"
                                : arg == "--transactions" ? "transaction"
                                                          : "health";
            if (!o->event.empty() && o->event != event) {
                Usage("--exceptions, --transactions and --health go one at a time");
                return 0;
            }
            o->event = event;
        } else if (arg == "-k" || arg == "--kind") {
            if (!needValue())
                return 0;
            if (*value == 0) {
                Usage("--kind needs a kind (void, refund, no-sale, ...)");
                return 0;
            }
            o->kind = value;
        } else if (arg == "--csv") {
            o->csv = true;
        } else if (arg == "--report") {
            o->report = true;
        } else if (arg == "--srt" || arg == "--vtt") {
            o->subtitles = arg == "--srt" ? Options::Subtitles::kSrt : Options::Subtitles::kVtt;
        } else if (arg == "--clip-start") {
            if (!needValue())
                return 0;
            if (!zamri::ParseFindTime(value, now, &o->clipStart)) {
                Usage(("cannot read the time \"" + std::string(value) + "\"").c_str());
                return 0;
            }
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "--") {
            Usage(("unknown option " + arg).c_str());
            return 0;
        } else {
            if (arg == "--") {
                if (++i >= argc)
                    break;
                arg = argv[i];
            }
            if (o->haveText) {
                Usage("only one search text (quote it when it holds blanks)");
                return 0;
            }
            o->query.text = arg;
            o->haveText = true;
        }
    }
    if (o->subtitles != Options::Subtitles::kNone) {
        if (!o->event.empty()) {
            Usage("subtitles show a camera's lines: no --exceptions or --transactions with --srt or --vtt");
            return 0;
        }
        if (o->query.camera == 0 || o->query.from.empty() || o->query.to.empty()) {
            Usage("subtitles are for one camera's clip: give --camera, --from and --to");
            return 0;
        }
        if (o->haveText || o->query.linesOnly || o->json) {
            Usage("subtitles show whole receipts: no search text, --lines or --json with --srt or --vtt");
            return 0;
        }
    } else if (!o->clipStart.empty()) {
        Usage("--clip-start goes with --srt or --vtt");
        return 0;
    }
    return CheckCombination(*o) ? 1 : 0;
}

bool FileExists(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    std::fclose(file);
    return true;
}

std::string JournalFolder(const Options& o) {
    if (!o.journal.empty())
        return o.journal;
    std::string settings = o.settings;
    if (settings.empty()) {
        char path[zamri::kMaxPath] = {};
        if (zamri::DefaultSettingsPath(path, sizeof path))
            settings = path;
        // Installed from the Debian package, the program is in /usr/bin and its settings in /etc.
        if (!FileExists(settings) && FileExists(kPackagedSettings))
            settings = kPackagedSettings;
    }
    std::shared_ptr<const zamri::Settings> read = zamri::ReadSettings(settings.c_str());
    for (const zamri::SettingsProblem& problem : read->problems) {
        if (problem.key == "Journal")
            zamri::ReportSettingsProblem(problem.text);
    }
    return read->journal.folder;
}

// --exceptions and --transactions: the records one by one, or the report. The exit status as
// for a search.
int ReadEvents(const Options& o, const std::string& folder) {
    zamri::EventQuery query;
    query.event = o.event;
    query.kind = o.kind;
    query.camera = o.query.camera;
    query.from = o.query.from;
    query.to = o.query.to;
    query.maxResults = o.report ? 0 : o.query.maxResults;
    query.timeLimitMilliseconds = o.query.timeLimitMilliseconds;
    zamri::JournalEventReader reader;
    std::string error;
    if (!reader.Prepare(query, &error))
        return Usage(error.c_str());
    PrepareOutput();
    std::string out;
    auto flush = [&out] {
        std::fwrite(out.data(), 1, out.size(), stdout);
        std::fflush(stdout);
        out.clear();
    };
    if (o.csv && !o.report)
        zamri::AppendEventCsvHeader(o.event, &out);
    zamri::ExceptionReport report;
    zamri::EventStats stats;
    auto started = std::chrono::steady_clock::now();
    int ok = reader.Run(
        folder,
        [&](const zamri::EventRecord& record) {
            if (o.report)
                report.Add(record);
            else if (o.json)
                out.append(record.stored).push_back('\n');
            else if (o.csv)
                zamri::AppendEventCsvRow(record, &out);
            else
                zamri::AppendEventLine(record, &out);
            if (out.size() > (1 << 16))
                flush();
            return true;
        },
        &stats, &error);
    if (!ok) {
        flush();
        std::fprintf(stderr, "zamri-find: %s\n", error.c_str());
        return 2;
    }
    const char* noun = o.event == "exception" ? "exceptions"
                       : o.event == "health"  ? "health events"
                                              : "transactions";
    if (o.report) {
        std::string title = std::string("Exceptions") + (o.kind.empty() ? "" : " of kind " + o.kind) +
                            (o.query.camera ? ", camera " + std::to_string(o.query.camera) : "") + ", " +
                            (o.query.from.empty() ? "from the first day" : "from " + o.query.from) + " " +
                            (o.query.to.empty() ? "to the last" : "to " + o.query.to);
        if (stats.timedOut)
            title += " (incomplete: see below)";
        if (o.csv)
            report.AppendCsv(&out);
        else
            report.AppendTable(title, &out);
    }
    flush();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::string reached = stats.stoppedAt;
    if (reached.size() > 10)
        reached[10] = ' ';
    if (stats.capped)
        std::fprintf(stderr,
                     "zamri-find: stopped after %llu %s (--max); the journal from %s on was not read\n",
                     static_cast<unsigned long long>(stats.results), noun, reached.c_str());
    if (stats.timedOut)
        std::fprintf(stderr,
                     "zamri-find: stopped after %d s (--time-limit); the journal from %s on was not read\n",
                     o.query.timeLimitMilliseconds / 1000, reached.empty() ? "its start" : reached.c_str());
    if (stats.malformed > 0)
        std::fprintf(stderr, "zamri-find: %llu %s records could not be read and were skipped\n",
                     static_cast<unsigned long long>(stats.malformed), o.event.c_str());
    if (!o.quiet)
        std::fprintf(stderr, "zamri-find: %llu %s; %llu files, %.1f MB in %.2f s\n",
                     static_cast<unsigned long long>(stats.results), noun,
                     static_cast<unsigned long long>(stats.files), stats.bytes / 1e6, seconds);
    return stats.results > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    int parsed = ParseOptions(argc, argv, &options);
    if (parsed <= 0)
        return parsed < 0 ? 0 : 2;
    std::string folder = JournalFolder(options);
    if (folder.empty()) {
        std::fputs(
            "zamri-find: the journal is off in the settings file (Journal= is empty); "
            "name a folder with --journal\n",
            stderr);
        return 2;
    }
    if (!options.event.empty())
        return ReadEvents(options, folder);
    zamri::JournalSearch search;
    std::string error;
    if (!search.Prepare(options.query, &error))
        return Usage(error.c_str());
    PrepareOutput();
    if (options.subtitles != Options::Subtitles::kNone) {
        zamri::JournalSubtitleQuery query;
        query.find = options.query;
        query.clipStart = options.clipStart;
        query.webVtt = options.subtitles == Options::Subtitles::kVtt;
        zamri::JournalSubtitles made;
        if (!zamri::MakeJournalSubtitles(folder, query, nullptr, made, error)) {
            std::fprintf(stderr, "zamri-find: %s\n", error.c_str());
            return 2;
        }
        const zamri::FindStats& stats = made.stats;
        if (stats.capped || stats.timedOut)
            std::fprintf(stderr,
                         "zamri-find: the search stopped early (--max or --time-limit); the subtitles "
                         "are not complete\n");
        std::fwrite(made.text.data(), 1, made.text.size(), stdout);
        std::fflush(stdout);
        if (!options.quiet)
            std::fprintf(stderr, "zamri-find: %zu cues from %llu receipts\n", made.cues,
                         static_cast<unsigned long long>(stats.results));
        return stats.capped || stats.timedOut ? 2 : made.cues == 0 ? 1 : 0;
    }
    Printer printer(options.json);
    zamri::FindStats stats;
    auto started = std::chrono::steady_clock::now();
    bool linesOnly = options.query.linesOnly;
    int ok = search.Run(
        folder,
        [&](const zamri::FoundReceipt& receipt) {
            printer.Receipt(receipt, linesOnly);
            return true;
        },
        &stats, &error);
    printer.Flush();
    if (!ok) {
        std::fprintf(stderr, "zamri-find: %s\n", error.c_str());
        return 2;
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    // Output that stopped early must never pass for the whole answer, not even with --quiet.
    std::string reached = stats.stoppedAt;
    if (reached.size() > 10)
        reached[10] = ' ';
    if (stats.capped)
        std::fprintf(stderr,
                     "zamri-find: stopped after %llu %s (--max); the journal from %s on was not searched\n",
                     static_cast<unsigned long long>(stats.results), linesOnly ? "lines" : "receipts",
                     reached.c_str());
    if (stats.timedOut)
        std::fprintf(
            stderr,
            "zamri-find: stopped after %d s (--time-limit); the journal from %s on was not searched\n",
            options.query.timeLimitMilliseconds / 1000, reached.empty() ? "its start" : reached.c_str());
    if (!options.quiet)
        std::fprintf(stderr, "zamri-find: %llu %s, %llu matching lines; %llu files, %.1f MB in %.2f s\n",
                     static_cast<unsigned long long>(stats.results), linesOnly ? "lines" : "receipts",
                     static_cast<unsigned long long>(stats.matchingLines),
                     static_cast<unsigned long long>(stats.files), stats.bytes / 1e6, seconds);
    return stats.results > 0 ? 0 : 1;
}
