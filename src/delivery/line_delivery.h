// The one road every printed line travels, whatever its source (serial capture, TCP mode,
// network sources): masks (card numbers and the user's patterns), line filter (which may add
// flag 4), the receipt reader (which may add flag 4 too), the overlay output (first and
// synchronous), then every registered sink. Nothing behind this step ever sees an unmasked line.
//
// Each camera whose settings name a receipt template has a receipt reader. A drawer line
// (kLineFlagDrawer) goes to the reader and to the sinks as a drawer record, never to the
// overlay; a receipt the reader hands back goes to the sinks as a transaction record and its
// exception records, and an exception known only at the receipt's end adds its banner line
// ("*** REFUND 120.00 ***") to the camera's overlay and to the sinks as a line, flagged 4.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "config/channel_config.h"
#include "config/line_filter.h"
#include "config/settings_parts.h"
#include "delivery/delivered_line.h"
#include "delivery/line_clock.h"
#include "mask/mask_set.h"
#include "receipt/receipt_reader.h"

class OverlayOutput;

class LineDelivery {
  public:
    // overlay must outlive this object.
    explicit LineDelivery(OverlayOutput& overlay);
    ~LineDelivery();
    LineDelivery(const LineDelivery&) = delete;
    LineDelivery& operator=(const LineDelivery&) = delete;

    // Hands one line on. camera 1 to 32 (anything else is dropped); flags as the source's line
    // assembly set them, with kLineFlagRunCut* bits where the source cut the line inside a run
    // of digits (taken off here: the filter, the overlay and the sinks see the printed line's
    // flags only); source names where the line came from (a port name, a peer address; null
    // reads as empty); text is NUL-terminated and is cut to 1023 bytes; after (NUL-terminated,
    // may be null) is what followed text but is not delivered, as when TCP mode cuts a long
    // text: a card number that runs on into it is masked all the same. Safe from any number of
    // threads at once. 1 when the line passed the filter, 0 when it was dropped.
    int Deliver(int camera, int flags, const char* source, const char* text, const char* after = nullptr);

    // Hands a record that no printed line made (a health event) to every sink as item has it:
    // never to the overlay, the filter or the readers. Any thread.
    void DeliverRecord(const DeliveredLine& item);

    // Adds a sink; lines delivered from then on reach it. Any thread.
    void AddSink(std::shared_ptr<LineSink> sink);
    // Removes a sink. A delivery already under way may still hand it its line, which is why
    // sinks are shared: the sink object stays valid until that delivery is done.
    void RemoveSink(const LineSink* sink);
    // The sinks now registered (for status reports).
    std::vector<std::shared_ptr<LineSink>> Sinks() const;

    // The Windows code page of the lines' text, for the sinks that want it in UTF-8: asked once
    // for each line that such a sink receives, from any delivering thread at once. Empty (the
    // start): 1252. A page that cannot be converted falls back to 1252 too.
    using CodePageSource = std::function<int()>;
    void SetTextCodePage(CodePageSource page);

    // Replaces the time source; nullptr restores the system clock. The clock must outlive its
    // use here.
    void SetClock(LineClock* clock);

    // The receipt number that the camera's next line will carry (0 for a camera out of range).
    uint32_t NextReceipt(int camera) const;

    // Filters by this value from now on (empty lists: every line is kept); any thread. A
    // delivery already under way finishes with the filter it took.
    void SetFilter(LineFilter filter);
    std::shared_ptr<const LineFilter> CurrentFilter() const;

    // Masks by the settings as read from the file from now on. Each pattern that does not
    // compile is reported with ShowMessage and left out (it stays in the file for the user to
    // mend); returns how many were.
    int LoadMasks(const MaskSettings& settings);
    // Masks by these settings from now on; any thread. Patterns that do not compile are left
    // out and their messages added to errors (when not null).
    void SetMasks(const MaskSettings& settings, std::vector<std::string>* errors = nullptr);
    MaskSettings GetMaskSettings() const;
    // Card numbers and user-mask matches masked in the camera's lines (1 to 32) since start-up;
    // 0 for a camera out of range. Any thread, without a lock (status displays poll them).
    uint64_t MaskedCardNumbers(int camera) const;
    uint64_t MaskedByUser(int camera) const;

    // Reads receipts by these settings from now on; any thread. A camera that no longer reads
    // hands on what it had read first. clock: the readers' time (null: the system's; it must
    // outlive this object).
    void SetReceipts(const zamri::ReceiptSettings& settings, zamri::ReceiptClock* clock = nullptr);
    // Hands on the receipts that waited long enough for a drawer; about once a second, from a
    // thread of the owner's that holds nothing capture needs.
    void Tick();
    // Ends and hands on every receipt under way (at stop, before the sinks stop).
    void Flush();

  private:
    using SinkList = std::vector<std::shared_ptr<LineSink>>;
    // Replaced whole on every change; a delivery hands its line to the set it took.
    struct SinkSet {
        SinkList sinks;
        bool utf8 = false;  // some sink wants the text in UTF-8
        CodePageSource codePage;
    };
    std::shared_ptr<const SinkSet> SinkSnapshot() const;
    void ReplaceSinks(SinkList sinks, CodePageSource codePage);
    std::shared_ptr<const MaskSet> MaskSnapshot() const;
    // The overlay and the sinks, for a line that passed the filter (or a banner).
    void HandOn(int camera, int flags, const char* source, const char* masked, int length,
                int64_t utcMilliseconds, LineClock* now, uint32_t receiptNumber);
    void Drawer(int camera, const char* source, int64_t utcMilliseconds, LineClock* now);
    // Records of the receipts the reader handed back, and their banners.
    void HandOnReceipts(int camera, std::vector<zamri::ReadReceipt>& done, LineClock* now);
    void HandOnRecord(DeliveredKind kind, const std::string& record, const zamri::ReceiptException* exception,
                      int camera, const std::string& source, uint32_t receipt, int64_t utcMilliseconds,
                      int32_t utcOffsetMinutes);
    // Calls step on every reading camera's reader and hands on what it gives back.
    void EachReader(void (zamri::ReceiptReader::*step)(std::vector<zamri::ReadReceipt>*));

    OverlayOutput& overlay;
    std::atomic<LineClock*> clock;
    std::atomic<uint32_t> receipts[kChannelCount];
    std::atomic<uint64_t> maskedCards[kChannelCount];
    std::atomic<uint64_t> maskedUser[kChannelCount];
    // Replaced whole, like the sinks: a delivery masks with the set it took.
    mutable std::mutex maskLock;
    std::shared_ptr<const MaskSet> masks;
    mutable std::mutex filterLock;
    std::shared_ptr<const LineFilter> filter;
    // Guards only the swap of the list pointer: a delivery takes a reference to the current list
    // and calls the sinks without any lock, and a change builds a new list.
    mutable std::mutex sinkLock;
    std::shared_ptr<const SinkSet> sinks;
    // One per camera; a reader is called under its camera's lock (lines and drawer events come
    // from the camera's capture thread, Tick and Flush from the owner's).
    struct CameraReader {
        std::mutex lock;
        std::unique_ptr<zamri::ReceiptReader> reader;
    };
    std::unique_ptr<CameraReader[]> readers;
    std::atomic<bool> reading{false};  // some camera reads its receipts: one load per line when none does
};
