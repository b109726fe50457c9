// A receipt template: how the lines of one till are read into a transaction's fields. The
// built-in template reads the common layouts; a user template ([Template N] in the settings,
// receipt_settings.h) gives patterns for the fields of a layout the built-in one does not know,
// and lets the built-in template read the fields it does not name.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "receipt/line_pattern.h"
#include "receipt/line_reading.h"
#include "receipt/receipt_text.h"

namespace zamri {

struct SettingPair {
    std::string key;
    std::string value;
};

// One numbered section of the settings file ([Template 3], [Rule 7]) with its keys in file order.
struct SettingSection {
    int number = 0;
    std::vector<SettingPair> keys;
};

// What the receipt so far says about how to take a line's readings.
struct ReadContext {
    bool totalSeen = false;  // tenders and change come after the total
    bool inSlip = false;     // the card terminal's slip is being printed
};

class ReceiptTemplate {
  public:
    // The built-in template alone, for lines in codePage.
    explicit ReceiptTemplate(int codePage = 1252);

    // Compiles a [Template N] section. Each key that cannot be used is reported in errors (when
    // not null) with the section and key it stands in, and left out; the rest is used.
    static std::shared_ptr<const ReceiptTemplate> Compile(const SettingSection& section, int codePage,
                                                          std::vector<std::string>* errors);

    // What the line says; out is cleared first. Lines are folded with Folder().
    void Read(const FoldedLine& line, std::string_view original, const ReadContext& context,
              PatternScratch* scratch, LineReadings* out) const;

    const TextFolder& Folder() const { return folder; }
    // 0 for the built-in template, else the section's number.
    int Number() const { return number; }
    const std::string& Name() const { return name; }

  private:
    struct FieldPattern {
        LinePattern pattern;
        ReceiptField field;
    };

    TextFolder folder;
    int number = 0;
    std::string name;
    bool builtin = true;
    bool userField[kReceiptFieldCount] = {};
    std::vector<FieldPattern> patterns;
};

}  // namespace zamri
