// The settings of the feed-health watch, as [Options] holds them:
//
//   HealthSilentMinutes=30        ; a watched channel silent this long is reported (0: never)
//   HealthOpeningHours=07:30-22:00 ; when silence counts; may cross midnight (22:00-06:00);
//                                 ; empty: all day
//   HealthLineErrors=20           ; framing and parity errors in a minute that are reported
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zamri {

constexpr int kDefaultHealthLineErrors = 20;
constexpr int kMaxHealthSilentMinutes = 10080;  // a week

struct FeedHealthSettings {
    int silentMinutes = 0;  // 0: silence is not watched
    // Opening hours in minutes after local midnight; open == close means all day.
    int openMinute = 0;
    int closeMinute = 0;
    int lineErrorsPerMinute = kDefaultHealthLineErrors;  // more than this in a minute is a problem
};

// The three keys as written. Each value that cannot be used is reported as a sentence
// ("[Options] HealthOpeningHours: ...") and its default is kept. Returns the problems found.
int ParseFeedHealthSettings(std::string_view silentMinutes, std::string_view openingHours,
                            std::string_view lineErrors, FeedHealthSettings* settings,
                            std::vector<std::string>* errors);

// Whether minuteOfDay (0 to 1439, local) lies within the opening hours.
bool WithinOpeningHours(const FeedHealthSettings& settings, int minuteOfDay);

}  // namespace zamri
