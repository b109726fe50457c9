#include "journal/find_range.h"

#include <filesystem>

#include "journal/journal_record.h"

namespace zamri {

namespace {

bool ValidBound(const std::string& bound) {
    static const char kShape[] = "dddd-dd-ddTdd:dd:dd.ddd";
    if (bound.size() > kLocalTimeLength)
        return false;
    for (size_t i = 0; i < bound.size(); ++i) {
        char want = kShape[i];
        char c = bound[i];
        if (want == 'd' ? (c < '0' || c > '9') : c != want)
            return false;
    }
    return bound.size() >= 10;
}

}  // namespace

int FindRange::Prepare(const std::string& fromBound, const std::string& toBound, std::string* error) {
    *this = FindRange();
    if (!fromBound.empty() && (!ValidBound(fromBound) || !ParseDayText(fromBound, &fromDay))) {
        *error = "malformed start time: " + fromBound;
        return 0;
    }
    if (!toBound.empty() && (!ValidBound(toBound) || !ParseDayText(toBound, &toDay))) {
        *error = "malformed end time: " + toBound;
        return 0;
    }
    from = fromBound;
    to = toBound;
    return 1;
}

int FindRange::Files(const std::string& folder, bool dayBefore, std::vector<JournalFile>* files,
                     std::string* error) const {
    files->clear();
    std::error_code missing;
    if (!std::filesystem::is_directory(std::filesystem::path(folder), missing)) {
        if (error != nullptr)
            *error = "no journal folder " + folder;
        return 0;
    }
    for (JournalFile& file : ListJournalFiles(folder))
        if (HoldsDay(file.day) || (dayBefore && IsDayBefore(file.day)))
            files->push_back(std::move(file));
    return 1;
}

}  // namespace zamri
