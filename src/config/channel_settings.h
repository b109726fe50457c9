// The text form of a channel record in the settings file: ten comma-separated fields,
// "enabled,portName,baudRate,parity,dataBits,stopBits,flowControl(hex),emulation,patternFlags,patternText".
#pragma once

#include "config/channel_config.h"

constexpr int kSettingsValueSize = zamri::kMaxSettingsValueLength + 1;  // a whole value and its NUL

// What a sender rule (an allowed-senders list, a listen address) holds when its value in the
// file was refused as too long: no address and no block, so the list admits nobody and the
// address cannot be bound, and the settings pages show what happened. It is never written back,
// so the file keeps the value for the user to shorten.
constexpr char kRefusedSettingText[] = "(too long)";

// Stores the tokens of value into record in field order, splitting at commas the way strtok
// does (a run of commas is one separator, so an empty field yields no token). Stops at the
// first missing token: that field and all later ones keep their values. Decimal fields are read
// as atoi does, the flow field as sscanf "%x" does (low 8 bits kept), text fields are cut to
// 63 characters. Returns the number of fields stored.
int ParseChannelValue(const char* value, ChannelConfig& record);

// The first text field of value that ParseChannelValue would have to cut to 63 characters, by
// name ("port name", "footer text"); nullptr when every field fits.
const char* OverlongChannelField(const char* value);

// Formats the record for the settings file. Returns the length, or -1 when it did not fit.
int FormatChannelValue(const ChannelConfig& record, char* out, int size);

// The C library's number readers, without their undefined behaviour on overflow.
int ParseDecimalLikeAtoi(const char* text);
unsigned ParseHexLikeScanf(const char* text);
