#include "detect/printer_stream_detector.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "codepage/code_page.h"
#include "detect/code_page_guess.h"
#include "detect/language_guess.h"
#include "detect/stream_scan.h"
#include "serial/command_tables.h"

namespace {

constexpr int kChannelPage = -1;  // text printed in the page the channel sets, not one selected
constexpr size_t kMaxWords = 20000;
constexpr int kLongFeedLines = 4;                  // a feed this long tears a receipt off
constexpr double kLeastEmulationConfidence = 0.5;  // below it the emulation is not named
constexpr double kLeastPageConfidence = 0.5;
constexpr size_t kStrayHighOneIn = 200;
constexpr size_t kEnoughInOnePiece =
    4096;  // a few receipts  // at most one such byte in this many is a stray

struct Word {
    std::string bytes;
    int page;  // kChannelPage, or the page selected (0: one with no table here)
    bool utf8;
};

// Collects, under one emulation, what the code page and the receipt end are judged by.
class Collector : public StreamObserver {
  public:
    std::vector<Word> words;
    std::vector<ReceiptBoundary> boundaries;
    std::map<int, int> selectedHighBytes;  // selected page -> its bytes from 0x80 up
    int lastSelector = -1;
    int lastSelectedPage = 0;
    int unsupportedSelector = -1;

    void Text(size_t position, uint8_t byte) override {
        textSinceBoundary = true;
        lineFeeds = 0;
        if (byte == ' ') {
            EndWord();
            return;
        }
        current.push_back(static_cast<char>(byte));
        high |= byte >= 0x80;
        textSinceBoundary = true;
        lineFeeds = 0;
        if (byte >= 0x80 && page != kChannelPage && !utf8)
            ++selectedHighBytes[page];
    }
    void Gap(size_t) override { EndWord(); }
    void LineEnd(size_t position) override {
        EndWord();
        // A run of empty lines this long is paper fed out to tear the receipt off.
        if (++lineFeeds == kLongFeedLines + 1)
            Boundary(position, kBoundaryFeed);
    }
    void FormFeed(size_t position) override {
        EndWord();
        Boundary(position + 1, kBoundaryFormFeed);
    }
    void Cut(size_t, size_t end) override {
        EndWord();
        Boundary(end, kBoundaryCut);
    }
    void Reset(size_t position) override {
        EndWord();
        Boundary(position, kBoundaryReset);
        page = kChannelPage;
        utf8 = false;
    }
    void Feed(size_t position, int lines) override {
        if (lines >= kLongFeedLines)
            Boundary(position, kBoundaryFeed);
    }
    void SelectPage(size_t, int selected, int selector) override {
        EndWord();
        page = selected;
        lastSelector = selector;
        lastSelectedPage = selected;
        if (selected == 0 && unsupportedSelector < 0)
            unsupportedSelector = selector;
    }
    void Utf8Text(size_t, bool on) override {
        EndWord();
        utf8 = on;
    }
    void Finish() { EndWord(); }

  private:
    void EndWord() {
        if (high && words.size() < kMaxWords)
            words.push_back(Word{current, page, utf8});
        current.clear();
        high = false;
    }
    void Boundary(size_t position, int kind) {
        if (!textSinceBoundary) {
            // A receipt fed out and then cut (or ended by a form feed) ended with the cut.
            if (!boundaries.empty() && boundaries.back().kind == kBoundaryFeed &&
                (kind == kBoundaryCut || kind == kBoundaryFormFeed))
                boundaries.back().kind = kind;
            return;
        }
        boundaries.push_back(ReceiptBoundary{position, kind});
        textSinceBoundary = false;
    }

    std::string current;
    bool high = false;
    int page = kChannelPage;
    bool utf8 = false;
    bool textSinceBoundary = false;
    int lineFeeds = 0;
};

std::string Format(const char* format, int value) {
    char text[160];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

const char* PageName(int number) {
    const CodePageTable* page = FindCodePage(number);
    return page != nullptr ? page->name : "?";
}

}  // namespace

PrinterStreamDetector::PrinterStreamDetector(int page)
    : recorderPage(IsWindowsCodePage(page) ? page : 1252) {}

void PrinterStreamDetector::Break() {
    if (stream.size() >= kEnoughInOnePiece)
        complete = true;
    else
        stream.clear();
}

void PrinterStreamDetector::Feed(const uint8_t* data, size_t size) {
    if (data == nullptr || complete)
        return;
    size_t room = kMaxStreamBytes - std::min(stream.size(), kMaxStreamBytes);
    stream.insert(stream.end(), data, data + std::min(size, room));
}

StreamFinding PrinterStreamDetector::Result() const {
    StreamFinding whole = Result(0);
    if (!joinedMidway)
        return whole;
    // The stream was joined in the middle of a receipt: judge it from the first receipt that
    // begins in it, so that the middle of a command or image is not taken for text. Where that
    // is, the emulation's boundaries tell, or, when the bytes read as no emulation, the first
    // printer reset (ESC @), which every family has.
    size_t from = whole.emulation >= 0 ? whole.firstBoundary : 0;
    if (whole.emulation < 0) {
        static const uint8_t kReset[] = {0x1B, 0x40};
        auto at = std::search(stream.begin(), stream.end(), std::begin(kReset), std::end(kReset));
        if (at != stream.end())
            from = static_cast<size_t>(at - stream.begin());
    }
    if (from == 0 || from > stream.size() / 2)
        return whole;
    StreamFinding fromReceipt = Result(from);
    return fromReceipt.emulation >= 0 ? fromReceipt : whole;
}

StreamFinding PrinterStreamDetector::Result(size_t from) const {
    StreamFinding finding;
    finding.bytes = stream.size();
    const uint8_t* data = stream.data() + from;
    const size_t size = stream.size() - from;
    if (size < kLeastStreamBytes) {
        finding.note = size == 0 ? "no bytes" : "too few bytes to tell";
        return finding;
    }

    LanguageGuess language = GuessLanguage(data, size);
    if (language.emulation < 0 || language.confidence < kLeastEmulationConfidence) {
        finding.note =
            "no printer language explains these bytes well: not a printer stream, or the line "
            "settings are wrong";
        return finding;
    }
    const int emulation = language.emulation;
    finding.emulation = emulation;
    finding.emulationConfidence = language.confidence;
    const bool receiptPrinter = emulation == kEmulationEscPos || emulation == kEmulationStar;

    Collector collector;
    ScanStream(data, size, emulation, &collector);
    collector.Finish();
    if (!collector.boundaries.empty())
        finding.firstBoundary = from + collector.boundaries.front().position;

    // The code page: the stream's own selection where it prints its letters under one, else the
    // page its letters read best in.
    std::vector<std::string> channelWords;
    int selectedHigh = 0;
    for (const auto& entry : collector.selectedHighBytes)
        selectedHigh += entry.second;
    bool utf8Text = false;
    for (const Word& word : collector.words) {
        if (word.utf8)
            utf8Text = true;
        else if (word.page == kChannelPage)
            channelWords.push_back(word.bytes);
    }
    int channelHigh = 0;
    for (const std::string& word : channelWords) {
        for (char c : word)
            channelHigh += static_cast<uint8_t>(c) >= 0x80;
    }
    if (collector.lastSelector >= 0 && selectedHigh >= channelHigh) {
        int dominant = collector.lastSelectedPage;
        int most = -1;
        for (const auto& entry : collector.selectedHighBytes) {
            if (entry.second > most) {
                most = entry.second;
                dominant = entry.first;
            }
        }
        finding.codePageSelected = true;
        finding.codePage = dominant;
        finding.codePageWeighed = selectedHigh;
        finding.codePageConfidence = 0.95;
        if (dominant == 0) {
            finding.note = Format(
                "the till selects a code page zamri has no table for (selector %d); its "
                "letters from 0x80 up show as ?",
                collector.unsupportedSelector);
        }
    } else if (channelHigh == 0) {
        finding.codePage = 0;  // nothing to go by: the printer's own page stays
        if (utf8Text)
            finding.note = "the text is UTF-8, switched on by the stream itself";
    } else if (LooksLikeUtf8(channelWords)) {
        finding.codePageWeighed = channelHigh;
        finding.note = "the text is UTF-8, which no code page setting reads";
    } else {
        PageGuess page = GuessCodePage(channelWords, receiptPrinter ? kDefaultPrinterCodePage : 0);
        finding.codePageWeighed = page.weighed;
        if (page.page != 0 && page.confidence >= kLeastPageConfidence) {
            finding.codePage = page.page;
            finding.codePageConfidence = page.confidence;
        } else if (static_cast<size_t>(page.weighed) * kStrayHighOneIn <= size) {
            // A stray byte or two from 0x80 up that no page reads clearly (a garbled byte, image
            // data taken for text): nothing to go by.
            finding.codePage = 0;
            finding.codePageWeighed = 0;
            finding.note = "a few bytes from 0x80 up that no code page reads as letters were left aside";
        } else {
            finding.note = "the letters from 0x80 up fit no code page well enough";
        }
    }

    int decodePage = finding.codePage > 0 && !finding.codePageSelected ? finding.codePage : 0;
    ReceiptEndGuess end =
        GuessReceiptEnd(data, size, collector.boundaries, emulation, decodePage, recorderPage);
    finding.receiptEnd = end.end;
    finding.receiptEndConfidence = end.confidence;
    finding.footer = end.footer;
    finding.receipts = end.receipts;

    bool pageDecided =
        finding.codePage >= 0 && (finding.codePageWeighed == 0 || finding.codePageConfidence > 0);
    finding.confidence = finding.emulationConfidence;
    if (finding.codePageWeighed > 0)
        finding.confidence = std::min(finding.confidence, pageDecided ? finding.codePageConfidence : 0.0);
    if (finding.receiptEnd != kReceiptEndUnknown)
        finding.confidence = std::min(finding.confidence, finding.receiptEndConfidence);
    finding.sure = finding.emulationConfidence >= kSureConfidence && pageDecided &&
                   (finding.codePageWeighed == 0 || finding.codePageConfidence >= 0.8);
    if (finding.note.empty() && finding.codePage > 0 && !finding.codePageSelected)
        finding.note = std::string("letters from 0x80 up read as ") + PageName(finding.codePage);
    return finding;
}
