#include "delivery/line_delivery.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "config/line_flags.h"
#include "delivery/overlay_output.h"
#include "mask/card_mask.h"
#include "platform/os.h"

LineDelivery::LineDelivery(OverlayOutput& output)
    : overlay(output),
      clock(&SystemLineClock()),
      masks(std::make_shared<const MaskSet>(MaskSettings())),
      filter(std::make_shared<const LineFilter>()),
      sinks(std::make_shared<const SinkList>()) {
    for (int i = 0; i < kChannelCount; ++i) {
        receipts[i] = 1;
        maskedCards[i] = 0;
        maskedUser[i] = 0;
    }
}

int LineDelivery::Deliver(int camera, int flags, const char* source, const char* text, const char* after) {
    if (camera < 1 || camera > kChannelCount)
        return 0;
    int runCuts = flags & kLineFlagsRunCut;
    flags &= ~kLineFlagsRunCut;
    DeliveredLine line;
    LineClock* now = clock.load();
    line.utcMilliseconds = now->UtcMilliseconds();
    line.utcOffsetMinutes = now->UtcOffsetMinutes(line.utcMilliseconds);
    line.camera = camera;
    std::snprintf(line.source, sizeof line.source, "%s", source != nullptr ? source : "");
    size_t length = 0;
    if (text != nullptr) {
        const void* end = std::memchr(text, 0, kDeliveredTextSize - 1);
        length = end != nullptr ? static_cast<size_t>(static_cast<const char*>(end) - text)
                                : kDeliveredTextSize - 1;
        std::memcpy(line.text, text, length);
        if (end == nullptr)
            after = text + length;  // what is cut off here decides over the digits before it
    }
    line.text[length] = 0;
    line.length = static_cast<int32_t>(length);

    // Masking comes first, so the filter, the overlay and every sink see only the masked text.
    int cards = 0;
    int user = 0;
    MaskSnapshot()->Apply(line.text, line.length, &cards, &user, runCuts, after);
    if (cards != 0)
        maskedCards[camera - 1].fetch_add(static_cast<uint64_t>(cards));
    if (user != 0)
        maskedUser[camera - 1].fetch_add(static_cast<uint64_t>(user));

    // A receipt that ends on a dropped line has ended all the same.
    std::atomic<uint32_t>& receipt = receipts[camera - 1];
    line.receipt = (flags & kLineFlagEnd) != 0 ? receipt.fetch_add(1) : receipt.load();

    if (CurrentFilter()->Apply(line.text, flags) == 0)
        return 0;
    line.flags = flags;
    overlay.WriteOverlayLine(camera - 1, flags, line.text);

    std::shared_ptr<const SinkList> current = SinkSnapshot();
    for (const std::shared_ptr<LineSink>& sink : *current)
        sink->Accept(line);
    return 1;
}

std::shared_ptr<const LineDelivery::SinkList> LineDelivery::SinkSnapshot() const {
    std::lock_guard<std::mutex> guard(sinkLock);
    return sinks;
}

void LineDelivery::AddSink(std::shared_ptr<LineSink> sink) {
    if (sink == nullptr)
        return;
    std::lock_guard<std::mutex> guard(sinkLock);
    auto next = std::make_shared<SinkList>(*sinks);
    next->push_back(std::move(sink));
    sinks = std::move(next);
}

void LineDelivery::RemoveSink(const LineSink* sink) {
    std::lock_guard<std::mutex> guard(sinkLock);
    auto next = std::make_shared<SinkList>(*sinks);
    next->erase(std::remove_if(next->begin(), next->end(),
                               [sink](const std::shared_ptr<LineSink>& held) { return held.get() == sink; }),
                next->end());
    sinks = std::move(next);
}

std::vector<std::shared_ptr<LineSink>> LineDelivery::Sinks() const {
    return *SinkSnapshot();
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
