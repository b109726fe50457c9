// A numbered list in a settings section, as the Important, Ignore and Mask lists are stored:
//   count=N
//   0=first entry
//   1=second entry ...
#pragma once

#include <string>
#include <vector>

// The values of keys "0" to "count - 1", in that order, as far as the file holds them: the
// section is read in one pass and a count larger than the entries present (or a huge one) gives
// only those that are there. A key written with a leading zero or sign ("017", "+1") is not an
// entry, as a lookup of "17" would not find it; the first line of an index wins.
std::vector<std::string> ReadSettingsList(const char* path, const char* section);
