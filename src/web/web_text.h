// Text helpers of the web page: JSON strings, query strings, HTTP Basic credentials, times.
// Pure functions on strings, so every rule is tested without a socket.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zamri {

// Appends text as a JSON string (with quotes). Bytes that are not valid UTF-8 become U+FFFD, so
// what comes from a till can never break the page's JSON.
void AppendJsonString(std::string& out, const std::string& text);
std::string JsonString(const std::string& text);

// Splits "a=1&b=x%20y" into decoded pairs ('+' is a blank). 1, or 0 when an escape is broken or
// a decoded value holds a NUL.
int ParseQuery(const std::string& query, std::vector<std::pair<std::string, std::string>>& out);

// A whole decimal number from min to max; 1 or 0.
int ParseNumber(const std::string& text, int64_t min, int64_t max, int64_t* value);

// "YYYY-MM-DDTHH:MM[:SS]" or with a blank for the T: milliseconds since 1970 as if the local
// time were UTC. 1 or 0 (bad format, or a date that does not exist).
int ParseLocalTime(const std::string& text, int64_t* localMs);
// The same form back: "YYYY-MM-DD HH:MM:SS".
std::string FormatLocalTime(int64_t localMs);

// A bound as the form sends it ("2026-12-09 14:30" or with a T) as the journal compares it:
// with the T.
std::string JournalTimeBound(std::string bound);

// Decodes standard base64; 1 or 0.
int DecodeBase64(const std::string& text, std::string& out);

// 1 when an Authorization header value carries HTTP Basic credentials whose password is
// password (the user name is not checked). Compares in time independent of where they differ.
int BasicPasswordMatches(const std::string& authorization, const std::string& password);

}  // namespace zamri
