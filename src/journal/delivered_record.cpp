#include "journal/delivered_record.h"

#include <memory>
#include <mutex>

#include "codepage/code_page.h"
#include "codepage/hebrew_setting.h"

namespace zamri {

int OverlayCodePage(int posHebrew, int recorderCodePage) {
    return posHebrew == 1 ? 1255 : recorderCodePage;
}

std::function<int()> OverlayCodePageSource(int recorderCodePage, const std::string& recorderSettingsPath) {
    if (recorderSettingsPath.empty())
        return [recorderCodePage] { return recorderCodePage; };
    struct Shared {
        std::mutex lock;  // HebrewSetting keeps its last look at the file
        HebrewSetting hebrew;
    };
    auto shared = std::make_shared<Shared>();
    shared->hebrew.SetPath(recorderSettingsPath.c_str());
    return [shared, recorderCodePage] {
        std::lock_guard<std::mutex> guard(shared->lock);
        return OverlayCodePage(shared->hebrew.Current(), recorderCodePage);
    };
}

void RecordFromDelivered(const DeliveredLine& line, JournalRecord* record) {
    record->utcMilliseconds = line.utcMilliseconds;
    record->utcOffsetMinutes = line.utcOffsetMinutes;
    record->camera = line.camera;
    record->flags = line.flags;
    record->receipt = line.receipt;
    record->source = line.source;
    record->text = line.utf8;
}

}  // namespace zamri
