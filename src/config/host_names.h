// The other names the web page answers to (HttpHostNames= in [Options]).
#pragma once

#include <string>
#include <vector>

namespace zamri {

// Separated by blanks or commas, each a host name (letters, digits, '-' and '.') or an IP address,
// kept in lower case. 1 with the names in *names, or 0 with the first entry that is neither in
// *bad.
int ParseHostNames(const std::string& text, std::vector<std::string>* names, std::string* bad);

// A letter (lower case), digit, '-', '.' or ':': what a name or address of the list is made of.
bool IsHostNameCharacter(char c);

}  // namespace zamri
