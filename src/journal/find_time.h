// Time bounds as people type them, turned into the local-time prefixes a FindQuery takes:
//   today, yesterday, YYYY-MM-DD            a whole day
//   YYYY-MM-DD HH:MM[:SS]  (or with a T)    that minute or second
//   HH:MM[:SS]                              today at that time
//   today HH:MM, yesterday HH:MM            that day at that time
// A bound covers its whole day, minute or second, so "--to 14:05" includes 14:05:59.
#pragma once

#include <cstdint>
#include <string>

namespace zamri {

// 1 with the prefix in bound, 0 when text is none of the forms above. localNowMilliseconds is
// the local wall-clock now (for today and yesterday).
int ParseFindTime(const std::string& text, int64_t localNowMilliseconds, std::string* bound);

}  // namespace zamri
