// What the delivery step masks in every line: card numbers (unless switched off) and the user's
// masks, as the settings file holds them:
//   [Options]
//   MaskCardNumbers=1        (0 switches card-number masking off; missing or any other value: on)
//   [Mask]
//   count=2
//   0=MEMBER *
//   1=re:TEL\s+([0-9 ]+)
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "config/settings_parts.h"
#include "mask/mask_pattern.h"

using MaskSettings = zamri::MaskSettings;

// Writes the [Mask] section: count and one key per pattern. 1, or 0 when the file could not be
// written.
int WriteMaskPatterns(const char* path, const std::vector<std::string>& patterns);
// Writes MaskCardNumbers in [Options]. 1, or 0 when the file could not be written.
int WriteMaskCardNumbers(const char* path, bool on);

class MaskSet {
  public:
    // Compiles the settings' patterns; one that does not compile is left out and its message
    // added to errors (when not null).
    explicit MaskSet(const MaskSettings& settings, std::vector<std::string>* errors = nullptr);

    // Masks text (length bytes, in place): card numbers first, then each user mask in order.
    // Adds the number of card numbers and of user-mask matches masked to the counters. For a
    // line that was cut, runCuts and after say what lies across the cut (see MaskCardNumbers);
    // they matter only while card numbers are masked.
    void Apply(char* text, int length, int* cardNumbers, int* userMatches, int runCuts = 0,
               const char* after = nullptr) const;

    const MaskSettings& Settings() const { return settings; }

  private:
    MaskSettings settings;
    std::vector<MaskPattern> compiled;
};
