// Turns a printer byte stream into text lines with their receipt flags. The same line loop
// serves every emulation and every byte source; an emulation only changes which control bytes
// introduce commands (command_tables.h) and, for receipt printers, how code pages and print
// positions shape the text.
#pragma once

#include <cstdint>

#include "codepage/code_page.h"
#include "mask/card_mask.h"
#include "serial/byte_source.h"
#include "serial/command_skip.h"

constexpr int kLineCapacity = 1024;  // 1023 bytes and the terminating NUL
// A full line that ends in a run of digits (see mask/card_mask.h) of at most this many bytes is
// delivered without the run, which begins the next line: a card number is never split.
constexpr int kMaxHeldRun = 255;
constexpr int kPatternTextSize = 256;
constexpr int kPatternFormFeed = 0;
constexpr int kPatternFooter = 1;
constexpr int kMaxTabStops = 32;
constexpr int kNoConversion = -1;
// A source whose decoder has an idle end reports nothing-came at least this often while quiet.
constexpr int kQuietReportMilliseconds = 250;

class LineDecoder {
  public:
    LineDecoder();

    // Stores the code when it names an emulation; returns the emulation now in force.
    int SetEmulation(int code);
    int GetEmulation() const { return emulation; }
    // Stores the flags unchanged and copies the footer text (at most 255 bytes); returns flags.
    int SetPattern(int flags, const char* text);
    // Whether a paper cut (ESC/POS and Star) ends the receipt as a form feed does (the default);
    // off for a till that cuts in the middle of a receipt. Footer mode ignores cuts either way.
    void SetCutEndsReceipt(bool on) { cutEndsReceipt = on; }
    bool CutEndsReceipt() const { return cutEndsReceipt; }

    // The printer's code page until the stream selects one (0: the emulation's own default, which
    // is PC437 for receipt printers and no conversion at all for ESC/P and Text Only;
    // kNoConversion: bytes as they come in every emulation) and the Windows page the text is
    // delivered in. Returns 0, or -1 when a page is not supported, in
    // which case that page keeps its previous value.
    int SetCodePages(int printerPage, int recorderPage);
    // Whether text bytes are converted from a printer page at all.
    bool Converting() const { return converting; }

    // Ends an open receipt after this many milliseconds without a byte (0: never). The clock
    // gives milliseconds on any monotonic scale; null keeps the current one. The end is seen when
    // the byte source reports that nothing came, so a source must do that while it is idle (see
    // QuietReportMilliseconds). Inside a command such reports are waited out until the idle time
    // has passed: a command whose bytes come in slow pieces stays whole, and one whose bytes
    // never all come ends there.
    void SetIdleEnd(int64_t milliseconds, int64_t (*clock)() = nullptr);
    // How long a source may wait for a byte before it reports that nothing came: 0 without an
    // idle end (as long as it likes), else kQuietReportMilliseconds.
    int QuietReportMilliseconds() const { return idleMilliseconds > 0 ? kQuietReportMilliseconds : 0; }

    // The next line: its length (0 or more) with *text pointing at the terminated line (valid
    // until the next call) and *flags set; -1 when the source reports a stop, in which case the
    // partial line is kept back. When the source reports an interruption, the partial line and
    // any command being consumed are dropped. A full line is cut before the run of digits it
    // ends in (kMaxHeldRun); a longer run is cut where the line is full, and the two lines carry
    // kLineFlagRunCutAfter and kLineFlagRunCutBefore for the delivery step.
    // A drawer command comes out as a line of its own: length 0, empty text, flags exactly
    // kLineFlagDrawer. It never splits a line: between lines it comes out where it stood, inside
    // one it comes out once that line has been delivered (or thrown away as blank).
    int ReadLine(ByteSource& source, const char** text, int* flags);

    char lineBuffer[kLineCapacity];
    int lineLength = 0;
    int spaceCount = 0;
    int lineCount = 0;  // lines delivered since the current receipt began
    int emulation = kEmulationEscP;
    int patternFlags = kPatternFormFeed;  // any value other than 1 ends receipts at form feeds
    char patternText[kPatternTextSize];

  private:
    int Deliver(int flags, const char** text, int* outFlags);
    // Delivers a full line, cut so that no card number is split (see ReadLine).
    int DeliverFull(const char** text, int* outFlags);
    // A form feed, or a cut where cuts end receipts: ends an open receipt with the line so far.
    bool PageEndEndsReceipt() const { return lineCount > 0 && patternFlags != kPatternFooter; }
    int DeliverReceiptEnd(const char** text, int* outFlags);
    int DeliverDrawer(const char** text, int* outFlags);
    void DrawerFired();
    // The byte source of a command's bytes when the idle end is on (see SetIdleEnd).
    static int PatientNext(void* context);
    bool IdleTimePassed();
    int ConsumeCommand(const CommandTable& table, ByteSource& source, CommandEffect* effect, int command);
    int NextLineFlags();
    void DropLine();
    void Configure();
    void ResetPrinter();
    void ApplyEffect(const CommandEffect& effect);
    // Appends the text of one printed character (a byte of the stream); false when the line is
    // full and has to be delivered first.
    void AppendCharacter(int c);
    void Put(const char* bytes, int length);
    void MoveTo(int64_t dots);
    void Tab();
    int CellDots() const { return cellDots; }
    // Recomputes what depends on the font and on the text mode.
    void Refresh();

    const Emulation* rules;

    // Code pages.
    int channelPage = 0;  // 0: the emulation's default
    int recorderPage = kDefaultRecorderCodePage;
    bool converting = false;
    bool utf8 = false;
    PageConverter converter;
    Utf8Reader utf8Reader;

    // Where the print head is, for the spaces that print positions become.
    int64_t dots = 0;
    int fontWidth = 12;  // dots of one character without spacing and enlargement
    int spacing = 0;
    int widthMultiple = 1;
    int cellDots = 12;  // (fontWidth + spacing) x widthMultiple
    // Bytes from 0x20 up to below this stand for themselves and take the short way (0x20: none do,
    // in UTF-8 text and raster mode, which take the full way).
    int plainLimit = 0x100;
    int tabStops[kMaxTabStops];
    int tabCount = 0;
    bool rasterMode = false;

    // The run of digits that a full line ended in, then the bytes of a character that did not
    // fit into it; they begin the next line.
    char held[kMaxHeldRun];
    int heldLength = 0;
    char carry[2 * kMaxConvertedBytes];
    int carryLength = 0;
    bool runCutBefore = false;  // the next line begins inside a run that a full line cut

    bool cutEndsReceipt = true;
    bool cutCame = false;  // the command just applied cut the paper
    int drawersDue = 0;    // drawer events waiting for the line that holds their commands

    int64_t idleMilliseconds = 0;
    int64_t (*idleClock)() = nullptr;
    int64_t quietSince = 0;       // the first report of a quiet spell
    bool byteCame = false;        // since the last report that nothing came
    ByteSource* outer = nullptr;  // the source behind PatientNext
    bool commandQuiet = false;    // PatientNext cut the command short
};
