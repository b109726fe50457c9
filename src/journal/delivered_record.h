// A delivered line as the journal and the export keep it, with the text in UTF-8 as the
// delivery step converted it; and the code page that conversion reads the text in.
#pragma once

#include <functional>
#include <string>

#include "delivery/delivered_line.h"
#include "journal/journal_record.h"

namespace zamri {

// The Windows code page the overlay receives: 1255 while the recorder's Hebrew setting is 1,
// else the page set in the settings file (1252 unless set otherwise).
int OverlayCodePage(int posHebrew, int recorderCodePage);

// The overlay's code page as it is now, for the delivery step's UTF-8 (LineDelivery::
// SetTextCodePage): recorderCodePage, or 1255 while the Hebrew setting in the recorder's
// settings file (empty path: none) is 1. Safe from several threads at once.
std::function<int()> OverlayCodePageSource(int recorderCodePage, const std::string& recorderSettingsPath);

void RecordFromDelivered(const DeliveredLine& line, JournalRecord* record);

}  // namespace zamri
