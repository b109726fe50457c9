// JSON string bodies (the text between the quotes), written and read.
#pragma once

#include <string>
#include <string_view>

namespace zamri {

// Appends text as a JSON string body (without quotes), escaping what JSON requires. Bytes that
// are not valid UTF-8 become U+FFFD.
void AppendJsonEscaped(std::string_view text, std::string* out);

// Resolves the escapes of a JSON string body into UTF-8 (out is replaced).
void UnescapeJsonString(std::string_view body, std::string* out);

}  // namespace zamri
