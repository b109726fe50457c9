// Values as users write them in the settings file: blanks around them are not part of them.
#pragma once

#include <string_view>

namespace zamri {

// text without the blanks and tabs around it.
std::string_view TrimBlanks(std::string_view text);

// A whole number from low to high written in digits only (blanks around it aside); false, and
// value untouched, for anything else.
bool ParseWholeNumber(std::string_view text, int low, int high, int* value);

// Whether two keys of the settings file are the same key: compared without regard to the case
// of ASCII letters, as the Windows profile functions compare them.
bool SameSettingKey(std::string_view a, std::string_view b);

// A local time of day "H:MM" or "HH:MM" (00:00 to 23:59) as minutes after midnight.
bool ParseClockMinutes(std::string_view text, int* minutes);

}  // namespace zamri
