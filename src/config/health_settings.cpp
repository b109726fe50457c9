#include "config/health_settings.h"

namespace zamri {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool ParseNumber(std::string_view text, int low, int high, int* value) {
    text = Trim(text);
    if (text.empty() || text.size() > 7)
        return false;
    int n = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + (c - '0');
    }
    if (n < low || n > high)
        return false;
    *value = n;
    return true;
}

// "H:MM" or "HH:MM" as minutes after midnight.
bool ParseClock(std::string_view text, int* minutes) {
    text = Trim(text);
    size_t colon = text.find(':');
    int hour = 0, minute = 0;
    if (colon == std::string_view::npos || colon < 1 || colon > 2 || text.size() - colon != 3 ||
        !ParseNumber(text.substr(0, colon), 0, 23, &hour) ||
        !ParseNumber(text.substr(colon + 1), 0, 59, &minute))
        return false;
    *minutes = hour * 60 + minute;
    return true;
}

}  // namespace

int ParseFeedHealthSettings(std::string_view silentMinutes, std::string_view openingHours,
                            std::string_view lineErrors, FeedHealthSettings* settings,
                            std::vector<std::string>* errors) {
    *settings = FeedHealthSettings();
    int problems = 0;
    auto report = [&](const char* key, std::string_view written, const std::string& why) {
        ++problems;
        if (errors != nullptr)
            errors->push_back(std::string("[Options] ") + key + ": \"" + std::string(written) + "\" " + why);
    };
    if (!Trim(silentMinutes).empty() &&
        !ParseNumber(silentMinutes, 0, kMaxHealthSilentMinutes, &settings->silentMinutes))
        report("HealthSilentMinutes", silentMinutes,
               "is no number of minutes from 0 to " + std::to_string(kMaxHealthSilentMinutes) +
                   "; silent channels are not reported.");
    std::string_view hours = Trim(openingHours);
    if (!hours.empty()) {
        size_t dash = hours.find('-');
        int open = 0, close = 0;
        if (dash == std::string_view::npos || !ParseClock(hours.substr(0, dash), &open) ||
            !ParseClock(hours.substr(dash + 1), &close)) {
            report("HealthOpeningHours", openingHours,
                   "is no span of local times HH:MM-HH:MM; silence counts all day.");
        } else {
            settings->openMinute = open;
            settings->closeMinute = close;
        }
    }
    if (!Trim(lineErrors).empty() && !ParseNumber(lineErrors, 1, 1000000, &settings->lineErrorsPerMinute))
        report("HealthLineErrors", lineErrors,
               "is no number of errors from 1 to 1000000; " + std::to_string(kDefaultHealthLineErrors) +
                   " is used.");
    return problems;
}

bool WithinOpeningHours(const FeedHealthSettings& settings, int minuteOfDay) {
    int open = settings.openMinute;
    int close = settings.closeMinute;
    if (open == close)
        return true;
    if (open < close)
        return minuteOfDay >= open && minuteOfDay < close;
    return minuteOfDay >= open || minuteOfDay < close;  // across midnight
}

}  // namespace zamri
