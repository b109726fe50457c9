// The one table of every key the program reads from its settings file. Each row names the key,
// says what it holds for people (the settings reference in docs/settings.md is made from these
// rows) and carries the function that reads it into the settings value. ReadSettings walks the
// rows in order: first the rows of one channel for channel 1, then for channel 2 and so on, then
// every other row; a problem is reported in that order.
//
// A new key is a new row here (with its part in settings.h); a new area's keys join the table
// the same way.
#pragma once

#include <string>
#include <vector>

#include "config/settings.h"
#include "platform/profile.h"
#include "receipt/receipt_template.h"

namespace zamri {

// What a row's reader works with: the file, the value being filled and the problems met.
class SettingsReading {
  public:
    SettingsReading(const char* path, Settings* settings) : path_(path), settings_(settings) {}

    const char* Path() const { return path_; }
    Settings& Value() { return *settings_; }

    // The whole value (trimmed, quotes removed): 1 read, 0 missing (out empty), -1 longer than
    // maxLength characters (out empty; the problem is noted, with consequence when given).
    int Text(const char* section, const char* key, std::string* out, int maxLength = kMaxSettingsValueLength,
             const char* consequence = nullptr);
    // The value, or def when it is missing or too long for maxLength characters.
    std::string TextOr(const char* section, const char* key, int maxLength, const char* def);
    // The value as a decimal number, as the platform's profile functions read one; def when the
    // key is missing or empty (or its value too long, which is noted).
    int Integer(const char* section, const char* key, int def);
    // A numbered list (count=N, 0=..., 1=...), as far as the file holds it.
    std::vector<std::string> List(const char* section);
    void Problem(const std::string& section, const std::string& key, const std::string& text,
                 const char* area = "");

    // The web page's port while its keys are read one after the other (-1 once one is in the
    // way); WebSettings::port gets it when the last one holds.
    int webPort = -1;
    // The receipt keys of [Options] as written, gathered row by row and read as a whole with the
    // templates and rules.
    std::vector<SettingPair> receiptOptions;
    // The alert keys while they are read: [Options] ones and each [Webhook N] section's, made
    // into AlertSettings by the last row of each.
    AlertOptionsText alertOptions;
    WebhookSectionText webhooks[kMaxWebhooks];
    // The feed-health keys as written, read as a whole by the last of them.
    std::string healthSilent, healthHours;

  private:
    const char* path_;
    Settings* settings_;
};

struct SettingKey {
    const char* section;       // "Options", "Channel", "Channel N" (a section per channel), ...
    const char* key;           // "count, 0, 1, ..." for a list
    const char* type;          // for people: "number", "text", "0 or 1", ...
    const char* defaultValue;  // as the reference shows it
    const char* range;         // for people; "" when any value of the type will do
    const char* help;          // one line
    bool perChannel;           // read once for each channel, number 1 to 32
    void (*read)(SettingsReading& reading, const SettingKey& row, int number);
};

// Readers for the plain rows, so that such a key is one row of the table and its field: the
// value into (Settings::*Part).*Field, the row's default when the key is missing (or refused as
// longer than MaxLength characters, or a number below Min).
template <auto Part, auto Field, int MaxLength = kMaxSettingsValueLength>
void TextKey(SettingsReading& reading, const SettingKey& row, int) {
    (reading.Value().*Part).*Field = reading.TextOr(row.section, row.key, MaxLength, row.defaultValue);
}

int DefaultNumber(const SettingKey& row);

template <auto Part, auto Field, int Min = -2147483647 - 1>
void NumberKey(SettingsReading& reading, const SettingKey& row, int) {
    int value = reading.Integer(row.section, row.key, DefaultNumber(row));
    (reading.Value().*Part).*Field = value < Min ? DefaultNumber(row) : value;
}

// A number kept within Min to Max.
template <auto Part, auto Field, int Min, int Max>
void ClampedKey(SettingsReading& reading, const SettingKey& row, int) {
    int value = reading.Integer(row.section, row.key, DefaultNumber(row));
    (reading.Value().*Part).*Field = value < Min ? Min : value > Max ? Max : value;
}

const std::vector<SettingKey>& SettingKeys();

// The settings reference (docs/settings.md), made from the table.
std::string SettingsReference();

}  // namespace zamri
