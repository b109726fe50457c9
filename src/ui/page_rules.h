// The rules of the filter, pattern, TCP and About pages that do not need a window, so that
// they run and are tested on both platforms.
#pragma once

#include <string>
#include <vector>

#include "config/channel_config.h"

constexpr int kFilterEntryMaxLength = zamri::kMaxSettingsValueLength;  // as long as the file may hold

// Whether the list view's items equal the stored list: the same count and, position by
// position, the same text ignoring ASCII case (items read up to kFilterEntryMaxLength characters).
bool FilterListUnchanged(char* const* stored, int storedCount, const std::vector<std::string>& items);

// An owned array of items.size() + 1 pointers (the last null) with a copy of each item cut to
// kFilterEntryMaxLength characters, allocated as ChannelTable::ReplaceFilterList frees it; null when out of
// memory.
char** BuildFilterArray(const std::vector<std::string>& items);

// The index of the first mask that does not compile, with its message; -1 when all compile.
int FirstBadMask(const std::vector<std::string>& masks, std::string* message);

// The pattern dialog's OK. Returns 0 (and changes nothing) when Footer is chosen with an empty
// text: the dialog then warns and stays open. Otherwise stores the choice and the text (at
// most 62 characters, kept also when Form Feed is chosen) and returns 1.
int ApplyPatternChoice(bool formFeedChecked, const char* text, ChannelConfig& record);

// The TCP page's port text: 1 with *port set for a whole decimal number from 1 to 65535
// (blanks around it allowed), 0 for anything else.
int ParseTcpPortText(const char* text, int* port);

// The TCP page's listen address and allowed senders, before anything is stored: 0 both fine,
// 1 the address is neither empty (every address) nor a dotted IPv4 address, 2 the list has
// entries that are not IPv4 addresses or blocks. *bad gets what is wrong.
int CheckTcpSenderRules(const std::string& listenAddress, const std::string& allowedSenders,
                        std::string* bad);

// The About page's version line: the language text, a space, the version and a space. The text is
// taken as it stands, never as a format, so a '%' in a translation prints as itself.
std::string VersionLine(const char* languageText);
