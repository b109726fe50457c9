// Detection's findings written out: as one JSON object for programs, as a ready settings block
// for the settings file, and as a few lines for people.
#pragma once

#include <string>

#include "detect/tap_detection.h"

// One object, codes as the settings file stores them:
// {"emulation":2,"codePage":858,"receiptEnd":"cut","line":{"baud":9600,"dataBits":8,"parity":0,
// "stopBits":0},"confidence":0.97}. What was not found is null ("line" for a file or a network
// source, and whenever the line settings were not found); "footer" follows "receiptEnd" when
// receipts end with a repeated footer line. Text is UTF-8, converted from recorderPage.
std::string FindingsJson(const DetectFindings& findings, int recorderPage = 1252);

// The channel's record in "[Channel]" and its "[Channel N]" section, ready to paste into the
// settings file. What was not found keeps the record's default; comments (";") say why.
// Receipts that end at a cut (which no setting ends a receipt at) end at their footer line when
// one repeats, else after kCutIdleSeconds without data.
constexpr int kCutIdleSeconds = 5;
std::string ChannelBlock(const DetectFindings& findings, int channelNumber, const std::string& portName);

// A few lines for people: what was found, how sure, and what stands in the way; UTF-8.
std::string FindingsText(const DetectFindings& findings, int recorderPage = 1252);
