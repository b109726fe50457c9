#include "journal/delivered_record.h"

#include "codepage/code_page.h"

namespace zamri {

int OverlayCodePage(int posHebrew, int recorderCodePage) {
    return posHebrew == 1 ? 1255 : recorderCodePage;
}

void RecordFromDelivered(const DeliveredLine& line, int windowsPage, JournalRecord* record) {
    record->utcMilliseconds = line.utcMilliseconds;
    record->utcOffsetMinutes = line.utcOffsetMinutes;
    record->camera = line.camera;
    record->flags = line.flags;
    record->receipt = line.receipt;
    record->source.assign(line.source);
    record->text.clear();
    size_t length =
        line.length > 0 && line.length < kDeliveredTextSize ? static_cast<size_t>(line.length) : 0;
    if (AppendWindowsAsUtf8(windowsPage, line.text, length, &record->text) != 0)
        AppendWindowsAsUtf8(kDefaultRecorderCodePage, line.text, length, &record->text);
}

}  // namespace zamri
