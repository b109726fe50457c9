#include "detect/line_settings_detector.h"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <tuple>

#include "detect/code_page_guess.h"
#include "detect/stream_scan.h"

namespace {

constexpr size_t kSettleWindow = 64;   // the first bytes of a listen, held back to find where it fell in step
constexpr size_t kSettledRun = 16;     // clean bytes that must follow the last error among them
constexpr size_t kErrorStorm = 24;     // errors in a row that no misstep at the right settings gives
constexpr int kCutShortLimit = 3;      // listens cut short before falling in step that are let go
constexpr size_t kLeastBytes = 8;      // a listen with fewer weighed bytes says nothing
constexpr size_t kJudgeEvery = 32;     // bytes between looks during a listen
constexpr size_t kHopelessBytes = 16;  // plainly wrong (errors on a quarter, no text) by then: ends
constexpr size_t kScanBytes = 32;      // a listen that does not read as text ends here
constexpr size_t kAcceptBytes = 128;   // what a setting must read cleanly as text to be taken
constexpr size_t kAcceptLineEnds = 3;
constexpr size_t kListenBytes = 256;  // one listen reads at most this much
constexpr size_t kKeptBytes = 1024;   // evidence kept per trial
constexpr int kLongestQuiet = 6000;   // ms a setting may hear (next to) nothing of a line that carried bytes
constexpr size_t kGiveUpBytes = 768;  // clean bytes that still do not read as printer text: not a receipt
constexpr double kTextShare = 0.8;    // of a clean reading, to be printer text
constexpr double kTextDespiteErrors = 0.85;  // of a reading with errors, to point to another frame
constexpr double kLeastBlanks = 0.05;
constexpr double kLeastLetters = 0.25;
constexpr size_t kLeastTextForBlanks = 24;  // fewer text bytes say nothing about their blanks
constexpr int kErrorOneIn = 50;             // at most one byte in 50 may carry an error mark

// The rates tills use most, first; offered rates not listed follow in their own order.
constexpr int kRateOrder[] = {9600, 19200, 38400, 115200, 57600, 4800, 2400, 14400, 1200};

struct Frame {
    int dataBits;
    int parity;
};
// Frames in the order they are tried when no hint pointed to them: 7N1 first (an 8N1 reading
// can hardly point to it), then those whose hints the bytes may have hidden (8-bit parity on
// binary data), then the others.
constexpr Frame kFrameOrder[] = {
    {8, kParityNone}, {7, kParityNone},  {8, kParityEven}, {8, kParityOdd},  {7, kParityEven},
    {7, kParityOdd},  {8, kParitySpace}, {8, kParityMark}, {7, kParityMark}, {7, kParitySpace},
    {6, kParityNone}, {6, kParityEven},  {6, kParityOdd},  {6, kParityMark}, {6, kParitySpace},
    {5, kParityNone}, {5, kParityEven},  {5, kParityOdd},  {5, kParityMark}, {5, kParitySpace},
};

int FrameRank(int dataBits, int parity) {
    for (size_t i = 0; i < sizeof kFrameOrder / sizeof kFrameOrder[0]; ++i) {
        if (kFrameOrder[i].dataBits == dataBits && kFrameOrder[i].parity == parity)
            return static_cast<int>(i);
    }
    return 100;
}

int RateRank(int rate) {
    for (size_t i = 0; i < sizeof kRateOrder / sizeof kRateOrder[0]; ++i) {
        if (kRateOrder[i] == rate)
            return static_cast<int>(i);
    }
    return 100;
}

struct TextMeasure {
    double share = 0;
    size_t lineEnds = 0;
    double blanks = 0;     // the share of spaces, tabs and line ends: receipts are full of them
    size_t textBytes = 0;  // bytes outside commands
    size_t commands = 0;   // commands typical of the printer family
    double letters = 0;    // the share of letters in the text but its blanks: words have them

    // Printer text: explained by a printer language, and with the blanks or the line ends of
    // text, or with a printer family's own commands. Readings at a wrong rate can come out as
    // printable bytes, but hardly ever with spaces, line ends or commands among them. Too
    // little text to count its blanks passes, unless strict.
    bool Text(double least, bool strict = false) const {
        if (share < least || (textBytes >= kLeastTextForBlanks && letters < kLeastLetters))
            return false;
        if (lineEnds >= 2 || commands >= 2 || (textBytes >= kLeastTextForBlanks && blanks >= kLeastBlanks))
            return true;
        return !strict && textBytes < kLeastTextForBlanks;
    }
};

// How well the bytes (under mask) read as printer text: the best of the printer languages, with
// the bytes from 0x80 up counted as far as they read as letters of some code page. Each listen's
// bytes are read on their own (a listen may begin or end inside a command).
TextMeasure Measure(const LineTrial& t, uint8_t mask) {
    std::vector<uint8_t> masked(t.values);
    std::vector<std::string> words;
    std::string word;
    bool high = false;
    size_t blanks = 0;
    size_t letters = 0;
    size_t highs = 0;
    for (uint8_t& v : masked) {
        v &= mask;
        blanks += v == ' ' || v == 0x09 || v == 0x0A;
        letters += (v >= 'A' && v <= 'Z') || (v >= 'a' && v <= 'z');
        highs += v >= 0x80;
        if (v > 0x20) {
            word.push_back(static_cast<char>(v));
            high |= v >= 0x80;
            continue;
        }
        if (high)
            words.push_back(word);
        word.clear();
        high = false;
    }
    if (high)
        words.push_back(word);
    // UTF-8 text (StarPRNT can switch to it) is text too.
    double credit = words.empty() ? 0 : LooksLikeUtf8(words) ? 1 : GuessCodePage(words, 0).quality;

    std::vector<size_t> starts = t.segments;
    if (starts.empty() || starts.front() != 0)
        starts.insert(starts.begin(), 0);
    TextMeasure best;
    for (int emulation = 0; emulation < 4; ++emulation) {
        StreamScan sum;
        for (size_t i = 0; i < starts.size(); ++i) {
            size_t from = std::min(starts[i], masked.size());
            size_t to = i + 1 < starts.size() ? std::min(starts[i + 1], masked.size()) : masked.size();
            if (to <= from)
                continue;
            StreamScan scan = ScanStream(masked.data() + from, to - from, emulation);
            sum.bytes += scan.bytes;
            sum.explained += scan.explained;
            sum.highBytes += scan.highBytes;
            sum.lineEnds += scan.lineEnds;
            sum.commandBytes += scan.commandBytes;
            sum.typical += scan.typical;
        }
        if (sum.TextShare(credit) > best.share) {
            best.share = sum.TextShare(credit);
            best.lineEnds = sum.lineEnds;
            // Blanks and letters among the text, not among the commands' bytes; letters from
            // 0x80 up count as far as a code page reads them as letters.
            size_t text = sum.bytes > sum.commandBytes ? sum.bytes - sum.commandBytes : 0;
            best.textBytes = text;
            best.commands = sum.typical;
            double all = static_cast<double>(letters) + credit * static_cast<double>(highs);
            size_t solid = text > blanks ? text - blanks : 0;  // a receipt's padding is no word
            best.letters = solid == 0 ? 0 : std::min(1.0, all / static_cast<double>(solid));
            best.blanks =
                text == 0 ? 0 : std::min(1.0, static_cast<double>(blanks) / static_cast<double>(text));
        }
    }
    return best;
}

int Ones(uint8_t value) {
    return static_cast<int>(std::bitset<8>(value).count());
}

// The low seven bits with bit 7 as their parity, for every byte: a 7-bit line with parity
// read as 8 data bits.
bool ParityInBit7(const LineTrial& t, int parity) {
    int high = 0;
    for (uint8_t v : t.values) {
        int bit7 = v >> 7;
        high += bit7;
        if (bit7 != ParityBit(parity, v & 0x7Fu, 7))
            return false;
    }
    return high >= 2 && t.values.size() - static_cast<size_t>(high) >= 2;
}

double Confidence(size_t bytes, double share) {
    return share * share * (1 - std::pow(0.5, static_cast<double>(bytes) / 32));
}

bool Clean(const LineTrial& t) {
    return t.errors * kErrorOneIn <= t.bytes;
}

std::string Describe(const LineSettings& settings) {
    char text[40];
    FormatLineSettings(settings, text, sizeof text);
    return text;
}

}  // namespace

LineSettingsDetector::LineSettingsDetector(const std::vector<LineSettings>& candidates) {
    // One trial per rate and frame: the receiver checks one stop bit whatever its setting, so the
    // stop bits are tried once, as one stop bit where that is offered.
    for (const LineSettings& c : candidates) {
        if (!ValidLineSettings(c))
            continue;
        int found = Find(c.baudRate, c.dataBits, c.parity);
        if (found < 0) {
            LineTrial trial;
            trial.settings = c;
            trials.push_back(trial);
        } else if (c.stopBits < trials[static_cast<size_t>(found)].settings.stopBits) {
            trials[static_cast<size_t>(found)].settings.stopBits = c.stopBits;
        }
    }
    std::vector<int> order(trials.size());
    for (size_t i = 0; i < trials.size(); ++i)
        order[i] = static_cast<int>(i);
    // First one listen per rate with the frame that tells most (its bytes point to the frames
    // that share its length), then each other frame at every rate, in kFrameOrder.
    auto key = [&](int index) {
        const LineSettings& s = trials[static_cast<size_t>(index)].settings;
        int frame = FrameRank(s.dataBits, s.parity);
        return std::make_tuple(frame == 0 ? 0 : 1, frame, RateRank(s.baudRate), index);
    };
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return key(a) < key(b); });
    // The first round comes twice: a port opened inside a run of like bytes (a receipt's padding)
    // can stay out of step for a whole listen even at the right settings.
    size_t firstRound = 0;
    while (firstRound < order.size() && std::get<0>(key(order[firstRound])) == 0)
        ++firstRound;
    queue.assign(order.begin(), order.begin() + static_cast<ptrdiff_t>(firstRound));
    queue.insert(queue.end(), order.begin(), order.end());
    for (size_t i = 0; i < firstRound; ++i)
        trials[static_cast<size_t>(order[i])].chances = 2;
}

int LineSettingsDetector::Find(int rate, int dataBits, int parity) const {
    for (size_t i = 0; i < trials.size(); ++i) {
        const LineSettings& s = trials[i].settings;
        if (s.baudRate == rate && s.dataBits == dataBits && s.parity == parity)
            return static_cast<int>(i);
    }
    return -1;
}

LineTrial* LineSettingsDetector::Current() {
    return queue.empty() ? nullptr : &trials[static_cast<size_t>(queue.front())];
}

const LineTrial* LineSettingsDetector::Current() const {
    return queue.empty() ? nullptr : &trials[static_cast<size_t>(queue.front())];
}

bool LineSettingsDetector::Done() const {
    return accepted >= 0 || queue.empty();
}

ListenPlan LineSettingsDetector::Plan() const {
    ListenPlan plan;
    const LineTrial* t = Current();
    if (t == nullptr)
        return plan;
    plan.settings = t->settings;
    plan.maxBytes = static_cast<int>(kListenBytes);
    // Time for half a listen's bytes at this rate, within 0.3 to 2.5 seconds: a wrong setting reads
    // fewer bytes than the till sends, and every byte it misreads is one the right one misses.
    double milliseconds = 1000.0 * (kListenBytes / 2) * 11 / t->settings.baudRate;
    plan.maxMilliseconds = static_cast<int>(std::clamp(milliseconds, 300.0, 2500.0));
    return plan;
}

void LineSettingsDetector::Take(uint8_t value, uint8_t marks, bool afterPause) {
    ++totalBytes;
    ++listenBytes;
    if (Current() == nullptr)
        return;
    ++Current()->heardBytes;
    // A port opened in the middle of a frame may take a data bit for a start bit and stay out of
    // step for a while: a stream sent back to back puts it right only at some error or pause.
    // After a pause the port is in step: what came before it is dropped, what follows weighed.
    // Without one, the first bytes of a listen are held back and weighed from the last error
    // among them on, if enough clean bytes follow it; otherwise (errors all along) all are.
    if (afterPause && !inStep) {
        inStep = true;
        window.assign(kSettleWindow, ReceivedByte{});
    }
    if (window.size() < kSettleWindow) {
        window.push_back(ReceivedByte{value, marks});
        errorRun = (marks & kLineErrorMarks) ? errorRun + 1 : 0;
        if (window.size() == kSettleWindow || errorRun >= kErrorStorm)
            Settle(false);
        return;
    }
    Weigh(value, marks);
}

void LineSettingsDetector::Settle(bool listenOver) {
    size_t from = 0;
    for (size_t i = 0; i < window.size(); ++i) {
        if (window[i].marks & kLineErrorMarks)
            from = i + 1;
    }
    LineTrial* t = Current();
    if (window.size() - from < kSettledRun) {
        // No clean run at the end. A full window or a storm of errors is weighed whole; a listen
        // cut short (the till paused) before the port fell in step says nothing, unless that
        // keeps happening.
        bool cutShort = listenOver && window.size() < kSettleWindow / 2 && errorRun < kErrorStorm;
        if (cutShort && ++t->cutShortListens < kCutShortLimit) {
            window.assign(kSettleWindow, ReceivedByte{});
            return;
        }
        from = 0;
    }
    for (size_t i = from; i < window.size(); ++i)
        Weigh(window[i].value, window[i].marks);
    window.assign(kSettleWindow, ReceivedByte{});  // full: later bytes are weighed as they come
}

void LineSettingsDetector::Weigh(uint8_t value, uint8_t marks) {
    LineTrial* t = Current();
    if (!weighedThisListen) {
        weighedThisListen = true;
        t->listenStart = t->values.size();
        t->segments.push_back(t->values.size());
    }
    ++t->bytes;
    if (marks & kLineErrorMarks)
        ++t->errors;
    if (t->values.size() < kKeptBytes) {
        t->values.push_back(value);
        t->marks.push_back(marks);
    }
}

bool LineSettingsDetector::Feed(const ReceivedByte* bytes, size_t count, bool afterPause) {
    for (size_t i = 0; i < count && !listenEnough && !Done(); ++i) {
        Take(bytes[i].value, bytes[i].marks, afterPause && i == 0);
        if (listenBytes % kJudgeEvery == 0 && window.size() >= kSettleWindow)
            listenEnough = Enough();
    }
    return listenEnough || Done();
}

bool LineSettingsDetector::FeedRead(const uint8_t* bytes, size_t count, uint8_t marks, bool afterPause) {
    if (marks & kLineErrorMarks)
        perByteMarks = false;
    for (size_t i = 0; i < count && !listenEnough && !Done(); ++i) {
        // The read's errors go with its first byte: one error per marked read.
        Take(bytes[i], i == 0 ? marks : 0, afterPause && i == 0);
        if (listenBytes % kJudgeEvery == 0 && window.size() >= kSettleWindow)
            listenEnough = Enough();
    }
    return listenEnough || Done();
}

void LineSettingsDetector::EndListen() {
    if (!Done()) {
        ++listens;
        if (window.size() < kSettleWindow)
            Settle(true);
        Conclude();
    }
    listenBytes = 0;
    listenEnough = false;
    window.clear();
    errorRun = 0;
    weighedThisListen = false;
    inStep = false;
}

LineSettingsDetector::Look LineSettingsDetector::Judge(const LineTrial& t) const {
    Look look;
    if (t.bytes < kLeastBytes)
        return look;
    look.weighed = true;
    TextMeasure text = Measure(t, 0xFF);
    look.lineEnds = text.lineEnds;
    look.share = text.share;
    // Read as 8 bits, a 7-bit line shows its parity or its stop bit in bit 7: clean, but wrong.
    bool eightBits = t.settings.dataBits == 8 && t.settings.parity == kParityNone;
    size_t high = 0;
    for (uint8_t v : t.values)
        high += v >> 7;
    bool patterned = eightBits && (ParityInBit7(t, kParityEven) || ParityInBit7(t, kParityOdd) ||
                                   high * 20 >= t.values.size() * 19);
    look.promising = Clean(t) && text.Text(kTextShare) && !patterned;
    // Clean, but no text yet (a logo's image data, say): worth listening on, as long as the
    // bytes do not point to another frame.
    look.cleanSoFar = Clean(t) && !patterned;
    look.acceptable = look.promising && t.bytes >= kAcceptBytes && text.lineEnds >= kAcceptLineEnds;
    look.hopeless = !look.promising && t.bytes >= kHopelessBytes && t.errors * 4 >= t.bytes &&
                    !text.Text(kTextDespiteErrors) && !Measure(t, 0x7F).Text(kTextDespiteErrors);
    return look;
}

// During a listen: whether it has heard enough (the setting is taken, or plainly wrong, or a
// scan's worth of bytes does not read as text).
bool LineSettingsDetector::Enough() {
    LineTrial* t = Current();
    if (t == nullptr)
        return true;
    Look look = Judge(*t);
    if (look.acceptable) {
        t->state = kTrialAccepted;
        accepted = queue.front();
        return true;
    }
    if (look.promising || look.cleanSoFar)
        return listenBytes >= kListenBytes;
    return look.hopeless || t->bytes >= kScanBytes || listenBytes >= kListenBytes;
}

// After a listen: keep listening with the setting (it reads as text so far, or too little came
// to tell), or reject it and move on, first to the frames its bytes point to.
void LineSettingsDetector::Conclude() {
    LineTrial* t = Current();
    if (t == nullptr)
        return;
    t->state = kTrialListening;
    Look look = Judge(*t);
    if (look.acceptable) {
        t->state = kTrialAccepted;
        accepted = queue.front();
        return;
    }
    // Reading as text (or cleanly) so far: listen on. Too little to tell (the till paused): listen
    // on, unless it has been too little for so long, while the line carried bytes before, that
    // this setting must be hearing next to nothing of a busy line (a receiver whose sample clock
    // runs in step with a faster line can take nearly every start bit for a false start).
    if ((look.promising || look.cleanSoFar) ? t->bytes < kGiveUpBytes
                                            : (!look.hopeless && t->bytes < kScanBytes)) {
        if (listenBytes >= kLeastBytes)
            return;
        ++t->quietListens;
        t->quietMilliseconds += Plan().maxMilliseconds;
        if (t->quietMilliseconds < kLongestQuiet || totalBytes <= t->heardBytes)
            return;
    }
    queue.pop_front();
    QueueHints(*t);
    if (--t->chances > 0) {
        // Heard again later from scratch.
        LineTrial fresh;
        fresh.settings = t->settings;
        fresh.chances = t->chances;
        *t = fresh;
    } else {
        t->state = kTrialRejected;
    }
}

void LineSettingsDetector::QueueHints(const LineTrial& t) {
    if (t.settings.dataBits != 8 || t.settings.parity != kParityNone || t.bytes < kLeastBytes)
        return;
    // A strong hint is heard twice if need be: a port opened inside a run of like bytes can stay
    // out of step for a whole listen even at the right settings.
    struct Hint {
        Frame frame;
        bool strong;
    };
    std::vector<Hint> hints;
    TextMeasure full = Measure(t, 0xFF);
    TextMeasure low = Measure(t, 0x7F);
    size_t high = 0;
    for (uint8_t v : t.values)
        high += v >> 7;
    if (Clean(t)) {
        if (low.Text(kTextShare, true)) {
            if (ParityInBit7(t, kParityEven))
                hints.push_back({{7, kParityEven}, true});
            if (ParityInBit7(t, kParityOdd))
                hints.push_back({{7, kParityOdd}, true});
            if (high * 20 >= t.values.size() * 19) {
                // The bit after seven data bits is always high: 7N1 reads what 7M1 and 7N2 send.
                hints.push_back({{7, kParityNone}, true});
                hints.push_back({{7, kParityMark}, false});
            }
        }
    } else {
        // With a parity bit after 8 data bits the receiver finds it where it wants the stop bit:
        // the bytes whose parity bit is 0 show framing errors, the others none. That pattern
        // tells even from odd parity whatever the bytes are (a logo, a barcode); a wrong rate
        // gives errors that have nothing to do with the bytes' parity. The first bytes, which
        // may be out of step, are left out.
        size_t marked = 0, markedEven = 0, cleanOdd = 0, cleanCount = 0;
        for (size_t i = t.values.size() / 4; i < t.values.size(); ++i) {
            bool even = Ones(t.values[i]) % 2 == 0;
            if (t.marks[i] & kLineErrorMarks) {
                ++marked;
                markedEven += even;
            } else {
                ++cleanCount;
                cleanOdd += !even;
            }
        }
        bool enough = marked >= 6 && cleanCount >= 6 && perByteMarks;
        if (enough && markedEven * 5 >= marked * 4 && cleanOdd * 5 >= cleanCount * 4)
            hints.push_back({{8, kParityEven}, true});
        if (enough && (marked - markedEven) * 5 >= marked * 4 &&
            (cleanCount - cleanOdd) * 5 >= cleanCount * 4)
            hints.push_back({{8, kParityOdd}, true});
        if (full.Text(kTextDespiteErrors, true)) {
            // Text with errors on (nearly) every byte: a parity bit that is always 0.
            if (perByteMarks && cleanCount * 10 <= marked + cleanCount)
                hints.push_back({{8, kParitySpace}, true});
            for (Frame f :
                 {Frame{8, kParityEven}, Frame{8, kParityOdd}, Frame{8, kParitySpace}, Frame{8, kParityMark}})
                hints.push_back({f, !perByteMarks});
        }
        // Seven data bits and one stop bit sent back to back: the stop bit lands in bit 7, the
        // next start bit where the stop bit is wanted, so most bytes have bit 7 set, many an error.
        if (high * 10 >= t.values.size() * 6 && low.Text(kTextDespiteErrors, true))
            hints.push_back({{7, kParityNone}, false});
    }
    // Hints go to the front, in their order, ahead of the rest of the queue.
    std::vector<int> front;
    for (const Hint& h : hints) {
        int index = Find(t.settings.baudRate, h.frame.dataBits, h.frame.parity);
        if (index < 0 || trials[static_cast<size_t>(index)].state == kTrialRejected ||
            std::find(front.begin(), front.end(), index) != front.end())
            continue;
        LineTrial& hinted = trials[static_cast<size_t>(index)];
        queue.erase(std::remove(queue.begin(), queue.end(), index), queue.end());
        front.push_back(index);
        if (h.strong) {
            hinted.chances = 2;
            front.push_back(index);
        } else {
            hinted.chances = 1;
        }
    }
    queue.insert(queue.begin(), front.begin(), front.end());
}

LineSettings LineSettingsDetector::FoundSettings() const {
    return accepted >= 0 ? trials[static_cast<size_t>(accepted)].settings : LineSettings{};
}

std::vector<uint8_t> LineSettingsDetector::FoundBytes() const {
    if (accepted < 0)
        return {};
    const LineTrial& t = trials[static_cast<size_t>(accepted)];
    if (t.bytes > t.values.size())
        return {};  // not all of them were kept: what there is ends before the last byte read
    size_t from = std::min(t.listenStart, t.values.size());
    return std::vector<uint8_t>(t.values.begin() + static_cast<ptrdiff_t>(from), t.values.end());
}

LineFinding LineSettingsDetector::Result() const {
    LineFinding finding;
    finding.bytesRead = totalBytes;
    finding.listens = listens;
    if (accepted >= 0) {
        const LineTrial& t = trials[static_cast<size_t>(accepted)];
        finding.verdict = kLineFound;
        finding.settings = t.settings;
        finding.confidence = Confidence(t.bytes, Measure(t, 0xFF).share);
        finding.summary = Describe(t.settings) + ": " + std::to_string(t.bytes) +
                          " bytes read without an error, as printer text";
        return finding;
    }
    if (totalBytes == 0) {
        finding.verdict = kLineSilent;
        finding.summary =
            "nothing came: the till printed nothing while zamri listened, or the port is not on "
            "the printer line";
        if (const LineTrial* t = Current())
            finding.settings = t->settings;
        return finding;
    }
    if (!queue.empty()) {
        const LineTrial& t = *Current();
        finding.verdict = kLineNotSure;
        finding.settings = t.settings;
        TextMeasure text = Measure(t, 0xFF);
        if (t.bytes >= kLeastBytes && Clean(t) && text.Text(kTextShare)) {
            // Cleanly text so far, but too little of it to be sure.
            finding.confidence = std::min(Confidence(t.bytes, text.share), 0.6);
            finding.summary = "not sure: " + Describe(t.settings) + " reads " + std::to_string(t.bytes) +
                              " bytes as text so far, too few to be sure";
        } else {
            finding.summary =
                "not sure: " + std::to_string(totalBytes) + " bytes came, too few to tell the line settings";
        }
        return finding;
    }

    // Every setting was tried: say what the line looked like.
    finding.verdict = kLineNoFit;
    const LineTrial* cleanTrial = nullptr;
    const LineTrial* textTrial = nullptr;
    bool errorsEverywhere = true;
    bool anyWeighed = false;
    for (const LineTrial& t : trials) {
        if (t.bytes < kLeastBytes)
            continue;
        anyWeighed = true;
        if (t.errors * 20 < t.bytes)
            errorsEverywhere = false;
        if (Clean(t) && cleanTrial == nullptr)
            cleanTrial = &t;
        // Plainly text despite the errors: lines with words in them.
        auto plainly = [](const TextMeasure& m) {
            return m.share >= kTextShare && m.lineEnds >= 2 && m.textBytes >= kLeastTextForBlanks &&
                   m.blanks >= kLeastBlanks && m.letters >= kLeastLetters;
        };
        if (textTrial == nullptr && (plainly(Measure(t, 0xFF)) || plainly(Measure(t, 0x7F))))
            textTrial = &t;
    }
    if (!anyWeighed) {
        finding.verdict = kLineSilent;
        finding.summary = "too little came under every setting to tell anything";
    } else if (textTrial != nullptr) {
        finding.settings = textTrial->settings;
        finding.summary = "text at " + std::to_string(textTrial->settings.baudRate) +
                          " bps, but with framing or parity errors under every frame: a bad cable, or a "
                          "setting the port does not offer";
    } else if (errorsEverywhere) {
        finding.summary =
            "framing errors under every setting: the line is probably not a serial printer line, "
            "or the rate is not offered";
    } else if (cleanTrial != nullptr) {
        finding.settings = cleanTrial->settings;
        finding.summary = "the line reads without errors at " + Describe(cleanTrial->settings) +
                          " but carries no printer text: it may not be the printer line";
    } else {
        finding.summary = "no setting reads the line as printer text";
    }
    return finding;
}
