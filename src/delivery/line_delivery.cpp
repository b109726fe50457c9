#include "delivery/line_delivery.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "codepage/code_page.h"
#include "config/line_flags.h"
#include "delivery/overlay_output.h"
#include "mask/card_mask.h"
#include "platform/os.h"
#include "receipt/receipt_records.h"
#include "receipt/receipt_settings.h"

LineDelivery::LineDelivery(OverlayOutput& output)
    : overlay(output),
      clock(&SystemLineClock()),
      masks(std::make_shared<const MaskSet>(MaskSettings())),
      filter(std::make_shared<const LineFilter>()),
      sinks(std::make_shared<const SinkSet>()),
      readers(new CameraReader[kChannelCount]) {
    for (int i = 0; i < kChannelCount; ++i) {
        receipts[i] = 1;
        maskedCards[i] = 0;
        maskedUser[i] = 0;
    }
}

LineDelivery::~LineDelivery() = default;

int LineDelivery::Deliver(int camera, int flags, const char* source, const char* text, const char* after) {
    if (camera < 1 || camera > kChannelCount)
        return 0;
    LineClock* now = clock.load();
    int64_t utcMilliseconds = now->UtcMilliseconds();
    // A drawer event is no line for the overlay: the reader and the sinks take it as an event.
    if ((flags & kLineFlagDrawer) != 0) {
        Drawer(camera, source, utcMilliseconds, now);
        return 0;
    }
    int runCuts = flags & kLineFlagsRunCut;
    flags &= ~kLineFlagsRunCut;
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
    if (!reading.load(std::memory_order_relaxed)) {
        HandOn(camera, flags, source, masked, length, utcMilliseconds, now, receiptNumber);
        return 1;
    }
    // Read before the overlay call: a line that an exception or a rule matched is flagged 4.
    std::vector<zamri::ReadReceipt> done;
    {
        CameraReader& camerasReader = readers[camera - 1];
        std::lock_guard<std::mutex> guard(camerasReader.lock);
        if (camerasReader.reader != nullptr) {
            zamri::ReceiptLine line;
            line.text = std::string_view(masked, static_cast<size_t>(length));
            line.flags = flags;
            line.utcMilliseconds = utcMilliseconds;
            line.utcOffsetMinutes = now->UtcOffsetMinutes(utcMilliseconds);
            line.camera = camera;
            if (source != nullptr)
                line.source = std::string_view(source, strnlen(source, kDeliveredSourceSize - 1));
            line.receipt = receiptNumber;
            flags |= camerasReader.reader->Line(line, &done);
        }
    }
    HandOn(camera, flags, source, masked, length, utcMilliseconds, now, receiptNumber);
    if (!done.empty())
        HandOnReceipts(camera, done, now);
    return 1;
}

void LineDelivery::HandOn(int camera, int flags, const char* source, const char* masked, int length,
                          int64_t utcMilliseconds, LineClock* now, uint32_t receiptNumber) {
    overlay.WriteOverlayLine(camera - 1, flags, masked);

    std::shared_ptr<const SinkSet> current = SinkSnapshot();
    if (current->sinks.empty())
        return;
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
}

void LineDelivery::Drawer(int camera, const char* source, int64_t utcMilliseconds, LineClock* now) {
    zamri::DrawerEvent event;
    event.utcMilliseconds = utcMilliseconds;
    event.utcOffsetMinutes = now->UtcOffsetMinutes(utcMilliseconds);
    event.camera = camera;
    if (source != nullptr)
        event.source.assign(source, strnlen(source, kDeliveredSourceSize - 1));
    event.receipt = receipts[camera - 1].load();
    std::vector<zamri::ReadReceipt> done;
    if (reading.load(std::memory_order_relaxed)) {
        CameraReader& camerasReader = readers[camera - 1];
        std::lock_guard<std::mutex> guard(camerasReader.lock);
        if (camerasReader.reader != nullptr)
            camerasReader.reader->Drawer(event, &done);
    }
    std::string record;
    zamri::AppendDrawerRecord(event, &record);
    HandOnRecord(DeliveredKind::Drawer, record, nullptr, camera, event.source, event.receipt,
                 event.utcMilliseconds, event.utcOffsetMinutes);
    if (!done.empty())
        HandOnReceipts(camera, done, now);
}

void LineDelivery::HandOnReceipts(int camera, std::vector<zamri::ReadReceipt>& done, LineClock* now) {
    std::shared_ptr<const SinkSet> current = SinkSnapshot();
    int page = current->codePage ? current->codePage() : kDefaultRecorderCodePage;
    zamri::TextToUtf8 convert = [page](std::string_view text, std::string* utf8) {
        if (AppendWindowsAsUtf8(page, text.data(), text.size(), utf8) != 0)
            AppendWindowsAsUtf8(kDefaultRecorderCodePage, text.data(), text.size(), utf8);
    };
    std::string record;
    for (const zamri::ReadReceipt& read : done) {
        const zamri::Transaction& t = read.transaction;
        // The exceptions first, as they happened, then the transaction that ended with its last line.
        if (!current->sinks.empty()) {
            for (const zamri::ReceiptException& e : read.exceptions) {
                record.clear();
                zamri::AppendExceptionRecord(e, &record, convert);
                HandOnRecord(DeliveredKind::Exception, record, &e, camera, e.source, e.receipt,
                             e.utcMilliseconds, e.utcOffsetMinutes);
            }
            record.clear();
            zamri::AppendTransactionRecord(t, &record, convert);
            HandOnRecord(DeliveredKind::Transaction, record, nullptr, camera, t.source, t.receipt,
                         t.lastUtcMilliseconds, t.lastUtcOffsetMinutes);
        }
        // Banners travel the lines' road from the masks on, so nothing unmasked reaches anyone.
        for (const zamri::ReceiptException& e : read.exceptions) {
            if (e.atLine || e.banner.empty())
                continue;
            char masked[kDeliveredTextSize];
            int length =
                static_cast<int>(std::min(e.banner.size(), static_cast<size_t>(kDeliveredTextSize - 1)));
            std::memcpy(masked, e.banner.data(), static_cast<size_t>(length));
            masked[length] = 0;
            int cards = 0;
            int user = 0;
            MaskSnapshot()->Apply(masked, length, &cards, &user, 0, nullptr);
            int64_t utcMilliseconds = now->UtcMilliseconds();
            HandOn(camera, kLineFlagImportant, t.source.c_str(), masked, length, utcMilliseconds, now,
                   t.receipt);
        }
    }
    done.clear();
}

void LineDelivery::HandOnRecord(DeliveredKind kind, const std::string& record,
                                const zamri::ReceiptException* exception, int camera,
                                const std::string& source, uint32_t receipt, int64_t utcMilliseconds,
                                int32_t utcOffsetMinutes) {
    std::shared_ptr<const SinkSet> current = SinkSnapshot();
    if (current->sinks.empty())
        return;
    auto item = std::make_shared<DeliveredLine>();
    item->kind = kind;
    item->utcMilliseconds = utcMilliseconds;
    item->utcOffsetMinutes = utcOffsetMinutes;
    item->camera = camera;
    item->receipt = receipt;
    item->source = source.substr(0, kDeliveredSourceSize - 1);
    item->record = record;
    if (!item->record.empty() && item->record.back() == '\n')
        item->record.pop_back();
    if (exception != nullptr) {
        item->text = exception->line;
        if (current->utf8) {
            int page = current->codePage ? current->codePage() : kDefaultRecorderCodePage;
            if (AppendWindowsAsUtf8(page, exception->line.data(), exception->line.size(), &item->utf8) != 0)
                AppendWindowsAsUtf8(kDefaultRecorderCodePage, exception->line.data(), exception->line.size(),
                                    &item->utf8);
        }
        item->exceptionKind = exception->kind;  // a kind's name, or a rule's Name as the file has it
    }
    std::shared_ptr<const DeliveredLine> shared = std::move(item);
    for (const std::shared_ptr<LineSink>& sink : current->sinks)
        sink->AcceptShared(shared);
}

void LineDelivery::DeliverRecord(const DeliveredLine& item) {
    std::shared_ptr<const SinkSet> current = SinkSnapshot();
    if (current->sinks.empty())
        return;
    auto shared = std::make_shared<DeliveredLine>(item);
    if (shared->source.size() >= kDeliveredSourceSize)
        shared->source.resize(kDeliveredSourceSize - 1);
    if (!shared->record.empty() && shared->record.back() == '\n')
        shared->record.pop_back();
    std::shared_ptr<const DeliveredLine> handed = std::move(shared);
    for (const std::shared_ptr<LineSink>& sink : current->sinks)
        sink->AcceptShared(handed);
}

void LineDelivery::SetReceipts(const zamri::ReceiptSettings& settings, zamri::ReceiptClock* readerClock) {
    bool any = false;
    for (int camera = 1; camera <= kChannelCount; ++camera) {
        int choice = settings.templateChoice[camera - 1];
        std::shared_ptr<const zamri::ReceiptTemplate> chosen;
        if (choice >= 0 && static_cast<size_t>(choice) < settings.templates.size())
            chosen = settings.templates[static_cast<size_t>(choice)];
        std::vector<zamri::ReadReceipt> done;
        {
            CameraReader& camerasReader = readers[camera - 1];
            std::lock_guard<std::mutex> guard(camerasReader.lock);
            if (chosen == nullptr) {
                if (camerasReader.reader != nullptr) {
                    camerasReader.reader->Flush(&done);
                    camerasReader.reader.reset();
                }
            } else if (camerasReader.reader == nullptr) {
                camerasReader.reader =
                    std::make_unique<zamri::ReceiptReader>(chosen, settings.rules, readerClock);
            } else {
                camerasReader.reader->Reconfigure(chosen, settings.rules);
            }
            any = any || camerasReader.reader != nullptr;
        }
        if (!done.empty())
            HandOnReceipts(camera, done, clock.load());
    }
    reading = any;
}

void LineDelivery::EachReader(void (zamri::ReceiptReader::*step)(std::vector<zamri::ReadReceipt>*)) {
    if (!reading.load())
        return;
    std::vector<zamri::ReadReceipt> done;
    for (int camera = 1; camera <= kChannelCount; ++camera) {
        {
            CameraReader& camerasReader = readers[camera - 1];
            std::lock_guard<std::mutex> guard(camerasReader.lock);
            if (camerasReader.reader != nullptr)
                (camerasReader.reader.get()->*step)(&done);
        }
        if (!done.empty())
            HandOnReceipts(camera, done, clock.load());
    }
}

void LineDelivery::Tick() {
    EachReader(&zamri::ReceiptReader::Tick);
}

void LineDelivery::Flush() {
    EachReader(&zamri::ReceiptReader::Flush);
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
