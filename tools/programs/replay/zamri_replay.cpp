// zamri-replay: decodes a recorded port stream (a binary dump file, or standard input) the way
// a serial channel's capture would, and prints every line that capture hands on towards the
// overlay, one record per line in the overlay library's record format, on channel 0; or, with
// --journal, the records the journal would receive for it.
//
//   zamri-replay [--emulation N] [--footer TEXT] [--cut-ends-receipt 0|1] [--hebrew 0|1]
//                [--codepage N] [--recorder-codepage N] [--no-mask] [FILE | -]
//   zamri-replay --journal --settings FILE --channel N [--start "YYYY-MM-DD HH:MM:SS"]
//                [the options above] [FILE | -]
//
// --emulation          0 "ESC/P" (default), 1 "Text Only", 2 "ESC/POS", 3 "Star"
// --footer             end receipts at the line that contains TEXT instead of at form feeds
// --cut-ends-receipt   the channel's "CutEndsReceipt": 1 (default) a paper cut ends the receipt
//                      as a form feed does (ESC/POS and Star), 0 it does not
// --hebrew             the recorder's "pos_hebrew" setting (default 0)
// --codepage           the printer's code page until the stream selects one, e.g. 850 (default:
//                      PC437 for ESC/POS and Star, none for the others, whose bytes pass
//                      unchanged; -1: none in any emulation)
// --recorder-codepage  the Windows code page the recorder shows text in (default 1252)
// --no-mask            print card numbers as the dump holds them (by default they are masked,
//                      as capture masks them, so the output can be passed on like the overlay's)
//
// --journal            prints, as JSON Lines, what the journal would write for the stream on
//                      channel N of the settings file: its lines (masked, filtered by the
//                      Important and Ignore lists, flagged as the overlay gets them), drawer
//                      events, transactions, exceptions and banner lines, in order. The
//                      channel's emulation, receipt end, code pages, template and rules come
//                      from the settings file; the options above take their place where given.
//                      Every record carries the time of --start (local time, or with an offset
//                      such as "+01:00"; default: now), so a dump gives the same records each
//                      time. The receipt still open when the data ends is ended, as at a stop.
//                      Problems in the settings file are warnings on standard error; the rest is
//                      used, as the program does.
//
// A line still open when the data ends is not printed: capture would still be waiting for its
// line end. Drawer commands are not printed without --journal: the overlay never receives them.
// Exit code 0, 1 when the output could not be written, or 2 for a usage error or an unreadable
// file.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "codepage/code_page.h"
#include "config/channel_config.h"
#include "config/line_flags.h"
#include "journal_replay.h"
#include "mask/card_mask.h"
#include "mask/mask_set.h"
#include "platform/local_time.h"
#include "platform/overlay_record.h"
#include "serial/byte_source.h"
#include "serial/line_decoder.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr int kReplayHandle = 1;  // the handle of a fresh overlay session
constexpr int kReplayChannel = 0;

int Usage(const char* message) {
    if (message != nullptr)
        std::fprintf(stderr, "zamri-replay: %s\n", message);
    std::fprintf(
        stderr,
        "usage: zamri-replay [--emulation 0|1|2|3] [--footer TEXT] [--cut-ends-receipt 0|1]\n"
        "                    [--hebrew 0|1] [--codepage N] [--recorder-codepage N] [--no-mask]\n"
        "                    [FILE | -]\n"
        "       zamri-replay --journal --settings FILE --channel N [--start \"YYYY-MM-DD HH:MM:SS\"]\n"
        "                    [the options above] [FILE | -]\n"
        "  decodes a recorded port stream and prints the lines capture would hand to the overlay\n"
        "  (card numbers masked, unless --no-mask); with --journal, the records the journal would\n"
        "  receive for it on channel N of the settings file, with its template and rules (lines,\n"
        "  drawer events, transactions, exceptions), all at the time of --start (default: now)\n");
    return 2;
}

bool ReadAll(FILE* in, std::vector<unsigned char>* bytes) {
    unsigned char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0)
        bytes->insert(bytes->end(), buffer, buffer + got);
    return std::ferror(in) == 0;
}

bool ParseInt(const char* text, int* value) {
    if (text == nullptr || *text == 0)
        return false;
    char* end = nullptr;
    long parsed = std::strtol(text, &end, 10);
    if (*end != 0)
        return false;
    *value = static_cast<int>(parsed);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int emulation = kEmulationEscP;
    int hebrew = 0;
    int codePage = 0;
    int recorderPage = kDefaultRecorderCodePage;
    int patternFlags = kPatternFormFeed;
    int cutEndsReceipt = 1;
    const char* footer = "";
    const char* path = nullptr;
    MaskSettings masks;
    bool journal = false;
    bool startGiven = false;
    JournalReplay replay;

    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (std::strcmp(arg, "--emulation") == 0 && hasValue) {
            if (!ParseInt(argv[++i], &emulation) || EmulationFor(emulation) == nullptr) {
                return Usage("unknown emulation");
            }
            replay.emulation = emulation;
        } else if (std::strcmp(arg, "--footer") == 0 && hasValue) {
            footer = argv[++i];
            patternFlags = kPatternFooter;
            replay.footerGiven = true;
            replay.footer = footer;
        } else if (std::strcmp(arg, "--cut-ends-receipt") == 0 && hasValue) {
            if (!ParseInt(argv[++i], &cutEndsReceipt) || (cutEndsReceipt != 0 && cutEndsReceipt != 1))
                return Usage("--cut-ends-receipt takes 0 or 1");
            replay.cutEndsReceipt = cutEndsReceipt;
        } else if (std::strcmp(arg, "--hebrew") == 0 && hasValue) {
            if (!ParseInt(argv[++i], &hebrew))
                return Usage("--hebrew takes a number");
            replay.hebrew = hebrew;
        } else if (std::strcmp(arg, "--codepage") == 0 && hasValue) {
            if (!ParseInt(argv[++i], &codePage))
                return Usage("--codepage takes a number");
            if (codePage != 0 && codePage != kNoConversion && FindCodePage(codePage) == nullptr) {
                std::fprintf(stderr, "zamri-replay: code page %d is not supported; these are:", codePage);
                for (int p = 0; p < kCodePageTableCount; ++p)
                    std::fprintf(stderr, " %d", kCodePageTables[p].number);
                std::fprintf(stderr, " (0: the printer's own, -1: none)\n");
                return 2;
            }
            replay.codePageGiven = true;
            replay.codePage = codePage;
        } else if (std::strcmp(arg, "--recorder-codepage") == 0 && hasValue) {
            if (!ParseInt(argv[++i], &recorderPage))
                return Usage("--recorder-codepage takes a number");
            if (!IsWindowsCodePage(recorderPage)) {
                std::fprintf(stderr, "zamri-replay: %d is not a Windows code page (874, 1250 to 1258)\n",
                             recorderPage);
                return 2;
            }
            replay.recorderCodePage = recorderPage;
        } else if (std::strcmp(arg, "--no-mask") == 0) {
            masks.cardNumbers = false;
            replay.noMask = true;
        } else if (std::strcmp(arg, "--journal") == 0) {
            journal = true;
        } else if (std::strcmp(arg, "--settings") == 0 && hasValue) {
            replay.settingsPath = argv[++i];
        } else if (std::strcmp(arg, "--channel") == 0 && hasValue) {
            if (!ParseInt(argv[++i], &replay.channel) || replay.channel < 1 || replay.channel > kChannelCount)
                return Usage("--channel takes a channel number from 1 to 32");
        } else if (std::strcmp(arg, "--start") == 0 && hasValue) {
            if (!ParseReplayStart(argv[++i], &replay))
                return Usage(
                    "--start takes a local time \"YYYY-MM-DD HH:MM:SS\", optionally followed by an "
                    "offset such as +01:00");
            startGiven = true;
        } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            Usage(nullptr);
            return 0;
        } else if (path == nullptr && (arg[0] != '-' || std::strcmp(arg, "-") == 0)) {
            path = arg;
        } else {
            return Usage("unknown argument");
        }
    }

    if (journal && (replay.settingsPath.empty() || replay.channel == 0))
        return Usage("--journal needs --settings FILE (the program's settings file) and --channel N");
    if (!journal && (!replay.settingsPath.empty() || replay.channel != 0 || startGiven))
        return Usage("--settings, --channel and --start go with --journal");

    std::vector<unsigned char> bytes;
    if (path == nullptr || std::strcmp(path, "-") == 0) {
#if defined(_WIN32)
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        if (!ReadAll(stdin, &bytes))
            return Usage("cannot read standard input");
    } else {
        FILE* in = std::fopen(path, "rb");
        if (in == nullptr) {
            std::fprintf(stderr, "zamri-replay: cannot open %s\n", path);
            return 2;
        }
        bool ok = ReadAll(in, &bytes);
        std::fclose(in);
        if (!ok) {
            std::fprintf(stderr, "zamri-replay: cannot read %s\n", path);
            return 2;
        }
    }

#if defined(_WIN32)
    _setmode(_fileno(stdout), _O_BINARY);  // records end in LF on both platforms
#endif
    if (journal) {
        if (!startGiven) {
            replay.utcMilliseconds = zamri::UtcNowMilliseconds();
            replay.utcOffsetMinutes = JournalReplay::kLocalOffset;
        }
        return RunJournalReplay(replay, bytes);
    }

    LineDecoder decoder;
    decoder.SetEmulation(emulation);
    decoder.SetPattern(patternFlags, footer);
    decoder.SetCutEndsReceipt(cutEndsReceipt == 1);
    decoder.SetCodePages(codePage, recorderPage);
    MemoryByteSource memory(bytes.data(), bytes.size(), hebrew);
    ByteSource source = memory.Source();
    const MaskSet maskSet(masks);
    const char* text;
    int flags;
    std::string line;
    std::string record;
    while (decoder.ReadLine(source, &text, &flags) >= 0) {
        if (flags & kLineFlagDrawer)
            continue;
        line = text;
        int runCuts = flags & kLineFlagsRunCut;
        flags &= ~kLineFlagsRunCut;
        maskSet.Apply(&line[0], static_cast<int>(line.size()), nullptr, nullptr, runCuts);
        record = zamri::FormatWriteRecord(kReplayHandle, kReplayChannel, flags, line.c_str());
        record += '\n';
        std::fwrite(record.data(), 1, record.size(), stdout);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
