#include "journal/find_time.h"

#include <cstdio>

#include "journal/journal_files.h"
#include "text/civil_days.h"

namespace zamri {

namespace {

std::string DayText(int64_t day) {
    int y = 0, m = 0, d = 0;
    CivilFromDays(day, &y, &m, &d);
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", y, m, d);
    return text;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// "HH:MM" or "HH:MM:SS" with valid values.
bool ValidClock(const std::string& t) {
    if (t.size() != 5 && t.size() != 8)
        return false;
    for (size_t i = 0; i < t.size(); ++i)
        if ((i % 3 == 2) ? t[i] != ':' : !IsDigit(t[i]))
            return false;
    int hour = (t[0] - '0') * 10 + (t[1] - '0');
    int minute = (t[3] - '0') * 10 + (t[4] - '0');
    int second = t.size() == 8 ? (t[6] - '0') * 10 + (t[7] - '0') : 0;
    return hour < 24 && minute < 60 && second < 60;
}

}  // namespace

int ParseFindTime(const std::string& input, int64_t localNowMilliseconds, std::string* bound) {
    int64_t today = localNowMilliseconds / 86400000;
    if (localNowMilliseconds < 0 && localNowMilliseconds % 86400000 != 0)
        --today;
    std::string text = input;
    std::string day;
    size_t split = text.find_first_of(" T");
    std::string first = text.substr(0, split);
    std::string rest = split == std::string::npos ? std::string() : text.substr(split + 1);
    if (first == "today") {
        day = DayText(today);
    } else if (first == "yesterday") {
        day = DayText(today - 1);
    } else if (first.size() == 10) {
        int64_t parsed = 0;
        if (!ParseDayText(first, &parsed) || DayText(parsed) != first)
            return 0;
        day = first;
    } else if (split == std::string::npos && ValidClock(first)) {
        *bound = DayText(today) + "T" + first;
        return 1;
    } else {
        return 0;
    }
    if (rest.empty() && split == std::string::npos) {
        *bound = day;
        return 1;
    }
    if (!ValidClock(rest))
        return 0;
    *bound = day + "T" + rest;
    return 1;
}

}  // namespace zamri
