#include "journal_replay.h"

#include <cstdio>
#include <memory>

#include "codepage/code_page.h"
#include "config/line_filter.h"
#include "config/settings.h"
#include "delivery/line_delivery.h"
#include "delivery/overlay_output.h"
#include "journal/delivered_record.h"
#include "journal/find_time.h"
#include "journal/journal_record.h"
#include "platform/local_time.h"
#include "receipt/receipt_reader.h"
#include "receipt/receipt_settings.h"
#include "serial/byte_source.h"
#include "serial/decoding_options.h"
#include "serial/line_decoder.h"

namespace {

void Warn(const std::string& text) {
    std::fprintf(stderr, "zamri-replay: %s\n", text.c_str());
}

// One moment for every line, drawer event and receipt: a dump holds no times, and the same
// dump must give the same records.
class FixedClock : public LineClock, public zamri::ReceiptClock {
  public:
    FixedClock(int64_t utc, int32_t offset) : utc(utc), offset(offset) {}
    int64_t UtcMilliseconds() override { return utc; }
    int32_t UtcOffsetMinutes(int64_t utcMilliseconds) override {
        return offset == JournalReplay::kLocalOffset ? zamri::LocalUtcOffsetMinutes(utcMilliseconds) : offset;
    }

  private:
    int64_t utc;
    int32_t offset;
};

// What the journal sink writes for each item, in the order the delivery step hands them on,
// written out as it comes rather than queued: the replay has no capture thread to keep free.
class PrintingSink : public LineSink {
  public:
    bool WantsUtf8() const override { return true; }
    void Accept(const DeliveredLine& line) override {
        if (line.kind == DeliveredKind::Line) {
            zamri::RecordFromDelivered(line, &record);
            zamri::AppendRecordLine(record, &out);
        } else {
            out += line.record;
            out += '\n';
        }
        if (out.size() >= 65536)
            Write();
    }
    // false when standard output failed.
    bool Write() {
        if (!out.empty() && std::fwrite(out.data(), 1, out.size(), stdout) != out.size())
            failed = true;
        out.clear();
        return !failed;
    }

  private:
    zamri::JournalRecord record;
    std::string out;
    bool failed = false;
};

bool TwoDigits(const std::string& text, size_t at, int* value) {
    if (at + 2 > text.size() || text[at] < '0' || text[at] > '9' || text[at + 1] < '0' || text[at + 1] > '9')
        return false;
    *value = (text[at] - '0') * 10 + (text[at + 1] - '0');
    return true;
}

}  // namespace

bool ParseReplayStart(const std::string& text, JournalReplay* replay) {
    // The offset, when there is one, follows the seconds or minutes.
    std::string clock = text;
    int32_t offset = JournalReplay::kLocalOffset;
    if (!clock.empty() && (clock.back() == 'Z' || clock.back() == 'z')) {
        clock.pop_back();
        offset = 0;
    } else if (clock.size() > 16 && (clock[clock.size() - 6] == '+' || clock[clock.size() - 6] == '-') &&
               clock[clock.size() - 3] == ':') {
        int hours = 0, minutes = 0;
        if (!TwoDigits(clock, clock.size() - 5, &hours) || !TwoDigits(clock, clock.size() - 2, &minutes) ||
            hours > 14 || minutes > 59)
            return false;
        offset = (hours * 60 + minutes) * (clock[clock.size() - 6] == '-' ? -1 : 1);
        clock.resize(clock.size() - 6);
    }
    while (!clock.empty() && clock.back() == ' ')
        clock.pop_back();
    // A date with a time of day: the forms zamri-find reads, without "today" and the like.
    std::string bound;
    if (clock.size() < 16 || clock[4] != '-' || zamri::ParseFindTime(clock, 0, &bound) != 1 ||
        bound.size() < 16)
        return false;
    if (bound.size() == 16)
        bound += ":00";
    int64_t local = 0;
    int32_t none = 0;
    if (!zamri::ParseRecordTime(bound + ".000+00:00", &local, &none))
        return false;
    if (offset != JournalReplay::kLocalOffset) {
        replay->utcMilliseconds = local - offset * 60000LL;
    } else {
        // The offset at the moment itself: a first guess from the offset of its reading as UTC,
        // then a second from the guess's, for a moment near a change of daylight saving time. A
        // time that the clocks skipped keeps the first guess, just after the gap.
        int64_t guess = local - zamri::LocalUtcOffsetMinutes(local) * 60000LL;
        int64_t utc = local - zamri::LocalUtcOffsetMinutes(guess) * 60000LL;
        replay->utcMilliseconds = utc + zamri::LocalUtcOffsetMinutes(utc) * 60000LL == local ? utc : guess;
    }
    replay->utcOffsetMinutes = offset;
    return true;
}

int RunJournalReplay(const JournalReplay& replay, const std::vector<unsigned char>& bytes) {
    if (FILE* probe = std::fopen(replay.settingsPath.c_str(), "rb")) {
        std::fclose(probe);
    } else {
        Warn("cannot open the settings file " + replay.settingsPath);
        return 2;
    }
    std::shared_ptr<const zamri::Settings> settings = zamri::ReadSettings(replay.settingsPath.c_str());
    // As the program warns at start-up, and goes on with what it could use.
    for (const zamri::SettingsProblem& problem : settings->problems) {
        if (problem.area.empty())
            Warn(problem.text);
    }
    const int camera = replay.channel;
    const ChannelConfig& channel = settings->channels[camera - 1];
    if (settings->receipts.templateChoice[camera - 1] == zamri::kNoTemplate)
        Warn("the receipts of channel " + std::to_string(camera) +
             " are not read (Template=none, or no Template in [Channel " + std::to_string(camera) +
             "]): only lines and drawer events are printed.");

    int recorderPage = replay.recorderCodePage >= 0 ? replay.recorderCodePage : settings->recorderCodePage;
    DecodingOptions decoding = channel.decoding;
    if (replay.codePageGiven)
        decoding.codePage = replay.codePage;
    if (replay.cutEndsReceipt >= 0)
        decoding.cutEndsReceipt = replay.cutEndsReceipt;
    LineDecoder decoder;
    decoder.SetEmulation(replay.emulation >= 0 ? replay.emulation : channel.emulation);
    if (replay.footerGiven)
        decoder.SetPattern(kPatternFooter, replay.footer.c_str());
    else
        decoder.SetPattern(channel.patternFlags, channel.patternText);
    char problem[256];
    if (ApplyDecodingOptions(decoder, decoding, recorderPage, channel.portName, problem, sizeof problem) == 0)
        Warn(problem);

    FixedClock clock(replay.utcMilliseconds, replay.utcOffsetMinutes);
    OverlayOutput overlay{OverlayOutput::Detached()};
    LineDelivery delivery(overlay);
    delivery.SetClock(&clock);
    zamri::MaskSettings masks = settings->masks;
    if (replay.noMask)
        masks.cardNumbers = false;
    std::vector<std::string> maskErrors;
    delivery.SetMasks(masks, &maskErrors);
    for (const std::string& error : maskErrors)
        Warn(error + " It is not used.");
    delivery.SetFilter(LineFilter(settings->important, settings->ignore));
    delivery.SetTextCodePage(zamri::OverlayCodePageSource(
        zamri::OverlayCodePage(replay.hebrew, zamri::UsableRecorderCodePage(recorderPage)), ""));
    auto sink = std::make_shared<PrintingSink>();
    delivery.AddSink(sink);
    delivery.SetReceipts(settings->receipts, &clock);

    MemoryByteSource memory(bytes.data(), bytes.size(), replay.hebrew);
    ByteSource source = memory.Source();
    const char* text;
    int flags;
    while (decoder.ReadLine(source, &text, &flags) >= 0)
        delivery.Deliver(camera, flags, channel.portName, text);
    // As at the program's stop: the receipt under way and one waiting for its drawer end here.
    delivery.Flush();
    bool written = sink->Write();
    return written && std::fflush(stdout) == 0 ? 0 : 1;
}
