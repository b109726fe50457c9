// The text form of a channel record in the settings file: ten comma-separated fields,
// "enabled,portName,baudRate,parity,dataBits,stopBits,flowControl(hex),emulation,patternFlags,patternText".
#pragma once

#include "config/channel_config.h"

constexpr int kSettingsValueSize = 256;  // values are read with at most 255 characters

// Stores the tokens of value into record in field order, splitting at commas the way strtok
// does (a run of commas is one separator, so an empty field yields no token). Stops at the
// first missing token: that field and all later ones keep their values. Decimal fields are read
// as atoi does, the flow field as sscanf "%x" does (low 8 bits kept), text fields are cut to
// 63 characters. Returns the number of fields stored.
int ParseChannelValue(const char* value, ChannelConfig& record);

// Formats the record for the settings file. Returns the length, or -1 when it did not fit.
int FormatChannelValue(const ChannelConfig& record, char* out, int size);

// The C library's number readers, without their undefined behaviour on overflow.
int ParseDecimalLikeAtoi(const char* text);
unsigned ParseHexLikeScanf(const char* text);
