#include "config/health_settings.h"
#include "text/setting_value.h"

namespace zamri {

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
    if (!TrimBlanks(silentMinutes).empty() &&
        !ParseWholeNumber(silentMinutes, 0, kMaxHealthSilentMinutes, &settings->silentMinutes))
        report("HealthSilentMinutes", silentMinutes,
               "is no number of minutes from 0 to " + std::to_string(kMaxHealthSilentMinutes) +
                   "; silent channels are not reported.");
    std::string_view hours = TrimBlanks(openingHours);
    if (!hours.empty()) {
        size_t dash = hours.find('-');
        int open = 0, close = 0;
        if (dash == std::string_view::npos || !ParseClockMinutes(hours.substr(0, dash), &open) ||
            !ParseClockMinutes(hours.substr(dash + 1), &close)) {
            report("HealthOpeningHours", openingHours,
                   "is no span of local times HH:MM-HH:MM; silence counts all day.");
        } else {
            settings->openMinute = open;
            settings->closeMinute = close;
        }
    }
    if (!TrimBlanks(lineErrors).empty() &&
        !ParseWholeNumber(lineErrors, 1, 1000000, &settings->lineErrorsPerMinute))
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
