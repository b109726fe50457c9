// What the Exceptions page shows and writes: the built-in kinds' switches and thresholds of
// [Options] and the user's rules of [Rule N], read from the settings file when the sheet opens
// and written back after OK, only where they changed. What the user types is checked by the
// receipt reader's own functions, so the page accepts exactly what the program will use.
#pragma once

#include <string>
#include <vector>

#include "receipt/receipt_rules.h"

struct ExceptionKindRow {
    bool on = true;
    bool hasThreshold = false;
    std::string threshold;  // as shown and typed: "0.00", "49.90"
};

// One [Rule N] section as the page edits it: the keys as text, empty where the section has none.
struct RuleEntry {
    int number = 0;  // N of [Rule N]
    std::string name, line, match, hours, first, then, within;
    bool banner = true;

    // The rule as a settings section, for the receipt reader's check.
    zamri::SettingSection Section() const;
    // For the list: "Line: VOID *", "Match: total > 100", "void then no-sale within 60 s", with
    // ", 22:00-06:00" when Hours is given.
    std::string Summary() const;
};

class ExceptionsModel {
  public:
    // Reads [Options] and [Rule 1] to [Rule 99] of the file; codePage: the recorder's, in which
    // Line patterns are written.
    void Read(const char* path, int codePage);

    // Whether the thresholds as typed are amounts: 1, or 0 with the reader's sentence in
    // *message and the kind in *kind.
    int CheckThresholds(std::string* message, int* kind) const;

    // Checks rule as it would stand among the others: at index (replacing that one) or, for -1,
    // as a new rule after them. 1, or 0 with the sentence the program would give at start.
    int CheckRule(const RuleEntry& rule, int index, std::string* message) const;
    // The number of [Rule N] a new rule gets: one past the highest, else the lowest free; 0
    // when all 99 are taken.
    int NewRuleNumber() const;
    // After CheckRule: puts the rule in place (index -1: adds it, in number order).
    void StoreRule(const RuleEntry& rule, int index);
    void RemoveRule(int index);

    // Writes what differs from what was read: kinds' keys in [Options], removed rules'
    // sections, and the keys of each changed rule (an emptied key is removed). Keys the page
    // does not show stay as they are. Returns the number of writes, or -1 when one failed.
    int Write(const char* path) const;

    ExceptionKindRow kinds[zamri::kExceptionKindCount];
    std::vector<RuleEntry> rules;  // in number order

  private:
    ExceptionKindRow readKinds[zamri::kExceptionKindCount];
    std::vector<RuleEntry> readRules;
    int codePage_ = 1252;
};
