// A delivered line as the journal and the export keep it: text from the recorder's Windows code
// page to UTF-8.
#pragma once

#include <string>

#include "delivery/delivered_line.h"
#include "journal/journal_record.h"

namespace zamri {

// The Windows code page the overlay receives: 1255 while the recorder's Hebrew setting is 1,
// else the page set in the settings file (1252 unless set otherwise).
int OverlayCodePage(int posHebrew, int recorderCodePage);

void RecordFromDelivered(const DeliveredLine& line, int windowsPage, JournalRecord* record);

}  // namespace zamri
