#include "delivery/line_delivery.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "codepage/code_page.h"
#include "config/line_flags.h"
#include "delivery/overlay_output.h"
#include "mask/card_mask.h"
#include "platform/os.h"

LineDelivery::LineDelivery(OverlayOutput& output)
    : overlay(output),
      clock(&SystemLineClock()),
      masks(std::make_shared<const MaskSet>(MaskSettings())),
      filter(std::make_shared<const LineFilter>()),
      sinks(std::make_shared<const SinkSet>()) {
    for (int i = 0; i < kChannelCount; ++i) {
        receipts[i] = 1;
        maskedCards[i] = 0;
        maskedUser[i] = 0;
    }
}

int LineDelivery::Deliver(int camera, int flags, const char* source, const char* text, const char* after) {
    // A drawer event is no line for the overlay or the sinks; it goes nowhere yet.
    if ((flags & kLineFlagDrawer) != 0)
        return 0;
    if (camera < 1 || camera > kChannelCount)
        return 0;
    int runCuts = flags & kLineFlagsRunCut;
    flags &= ~kLineFlagsRunCut;
    LineClock* now = clock.load();
    int64_t utcMilliseconds = now->UtcMilliseconds();
    // Masked in place here; the shared line that the sinks get is made only when there are any.
    char masked[kDeliveredTextSize];
    int length = 0;
    if (text != nullptr) {
        const void* end = std::memchr(text, 0, kDeliveredTextSize - 1);
        length =
            end != nullptr ? static_cast<int>(static_cast<const char*>(end) - text) : kDeliveredTextSize - 1;
        std::memcpy(masked, text, static_cast<size_t>(length));
        if (end == nullptr)
            after = text + length;  // what is cut off here decides over the digits before it
    }
    masked[length] = 0;

    // Masking comes first, so the filter, the overlay and every sink see only the masked text.
    int cards = 0;
    int user = 0;
    MaskSnapshot()->Apply(masked, length, &cards, &user, runCuts, after);
    if (cards != 0)
        maskedCards[camera - 1].fetch_add(static_cast<uint64_t>(cards));
    if (user != 0)
        maskedUser[camera - 1].fetch_add(static_cast<uint64_t>(user));

    // A receipt that ends on a dropped line has ended all the same.
    std::atomic<uint32_t>& receipt = receipts[camera - 1];
    uint32_t receiptNumber = (flags & kLineFlagEnd) != 0 ? receipt.fetch_add(1) : receipt.load();

    if (CurrentFilter()->Apply(masked, flags) == 0)
        return 0;
    overlay.WriteOverlayLine(camera - 1, flags, masked);

    std::shared_ptr<const SinkSet> current = SinkSnapshot();
    if (current->sinks.empty())
        return 1;
    auto line = std::make_shared<DeliveredLine>();
    line->utcMilliseconds = utcMilliseconds;
    line->utcOffsetMinutes = now->UtcOffsetMinutes(utcMilliseconds);
    line->camera = camera;
    line->flags = flags;
    line->receipt = receiptNumber;
    if (source != nullptr)
        line->source.assign(source, strnlen(source, kDeliveredSourceSize - 1));
    line->text.assign(masked, static_cast<size_t>(length));
    // Once here for every sink that wants it, in the page the overlay received.
    if (current->utf8) {
        int page = current->codePage ? current->codePage() : kDefaultRecorderCodePage;
        if (AppendWindowsAsUtf8(page, masked, static_cast<size_t>(length), &line->utf8) != 0)
            AppendWindowsAsUtf8(kDefaultRecorderCodePage, masked, static_cast<size_t>(length), &line->utf8);
    }
    std::shared_ptr<const DeliveredLine> shared = std::move(line);
    for (const std::shared_ptr<LineSink>& sink : current->sinks)
        sink->AcceptShared(shared);
    return 1;
}

std::shared_ptr<const LineDelivery::SinkSet> LineDelivery::SinkSnapshot() const {
    std::lock_guard<std::mutex> guard(sinkLock);
    return sinks;
}

// Under sinkLock.
void LineDelivery::ReplaceSinks(SinkList list, CodePageSource codePage) {
    auto next = std::make_shared<SinkSet>();
    next->sinks = std::move(list);
    next->codePage = std::move(codePage);
    for (const std::shared_ptr<LineSink>& sink : next->sinks)
        next->utf8 = next->utf8 || sink->WantsUtf8();
    sinks = std::move(next);
}

void LineDelivery::AddSink(std::shared_ptr<LineSink> sink) {
    if (sink == nullptr)
        return;
    std::lock_guard<std::mutex> guard(sinkLock);
    SinkList next = sinks->sinks;
    next.push_back(std::move(sink));
    ReplaceSinks(std::move(next), sinks->codePage);
}

void LineDelivery::RemoveSink(const LineSink* sink) {
    std::lock_guard<std::mutex> guard(sinkLock);
    SinkList next = sinks->sinks;
    next.erase(std::remove_if(next.begin(), next.end(),
                              [sink](const std::shared_ptr<LineSink>& held) { return held.get() == sink; }),
               next.end());
    ReplaceSinks(std::move(next), sinks->codePage);
}

std::vector<std::shared_ptr<LineSink>> LineDelivery::Sinks() const {
    return SinkSnapshot()->sinks;
}

void LineDelivery::SetTextCodePage(CodePageSource page) {
    std::lock_guard<std::mutex> guard(sinkLock);
    ReplaceSinks(sinks->sinks, std::move(page));
}

void LineDelivery::SetClock(LineClock* newClock) {
    clock = newClock != nullptr ? newClock : &SystemLineClock();
}

uint32_t LineDelivery::NextReceipt(int camera) const {
    if (camera < 1 || camera > kChannelCount)
        return 0;
    return receipts[camera - 1].load();
}

std::shared_ptr<const MaskSet> LineDelivery::MaskSnapshot() const {
    std::lock_guard<std::mutex> guard(maskLock);
    return masks;
}

void LineDelivery::SetMasks(const MaskSettings& settings, std::vector<std::string>* errors) {
    auto next = std::make_shared<const MaskSet>(settings, errors);
    std::lock_guard<std::mutex> guard(maskLock);
    masks = std::move(next);
}

void LineDelivery::SetFilter(LineFilter next) {
    auto value = std::make_shared<const LineFilter>(std::move(next));
    std::lock_guard<std::mutex> guard(filterLock);
    filter = std::move(value);
}

std::shared_ptr<const LineFilter> LineDelivery::CurrentFilter() const {
    std::lock_guard<std::mutex> guard(filterLock);
    return filter;
}

int LineDelivery::LoadMasks(const MaskSettings& settings) {
    std::vector<std::string> errors;
    SetMasks(settings, &errors);
    for (const std::string& error : errors) {
        std::string text = error + " It is not used until it is corrected on the filter page.";
        zamri::ShowMessage(text.c_str(), "Warning", zamri::kMsgIconWarning);
    }
    return static_cast<int>(errors.size());
}

MaskSettings LineDelivery::GetMaskSettings() const {
    return MaskSnapshot()->Settings();
}

uint64_t LineDelivery::MaskedCardNumbers(int camera) const {
    return camera >= 1 && camera <= kChannelCount ? maskedCards[camera - 1].load() : 0;
}

uint64_t LineDelivery::MaskedByUser(int camera) const {
    return camera >= 1 && camera <= kChannelCount ? maskedUser[camera - 1].load() : 0;
}
