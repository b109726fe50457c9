// The local time range of a look into the journal (text search, events), and the day files it
// covers. Bounds are inclusive "YYYY-MM-DDTHH:MM:SS.mmm" texts or any leading part of one at
// least a day long: "2026-12-08" as a bound covers that whole day.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "journal/journal_files.h"

namespace zamri {

class FindRange {
  public:
    // 1 ready; 0 when a bound is malformed, with the reason in error. Empty bounds are open.
    int Prepare(const std::string& from, const std::string& to, std::string* error);

    // A record's time as stored ("YYYY-MM-DDTHH:MM:SS.mmm+HH:MM") lies within the bounds.
    bool Holds(std::string_view time) const {
        if (!from.empty() && time.substr(0, from.size()) < from)
            return false;
        return to.empty() || time.substr(0, to.size()) <= to;
    }
    bool HoldsDay(int64_t day) const { return day >= fromDay && day <= toDay; }
    // The day before the first one: a receipt across midnight may begin there.
    bool IsDayBefore(int64_t day) const { return fromDay != INT64_MIN && day == fromDay - 1; }

    // The day files of folder the range covers, oldest first, with the day before the first
    // when dayBefore is set. 1, or 0 when the folder is not there (error says so).
    int Files(const std::string& folder, bool dayBefore, std::vector<JournalFile>* files,
              std::string* error) const;

  private:
    std::string from, to;
    int64_t fromDay = INT64_MIN;
    int64_t toDay = INT64_MAX;
};

}  // namespace zamri
