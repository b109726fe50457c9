// Comma-separated values as RFC 4180 has them: a field holding a comma, a double quote or a
// line break is put in double quotes, its quotes doubled; records end in CR LF.
#pragma once

#include <string>
#include <string_view>

namespace zamri {

void AppendCsvField(std::string_view field, std::string* out);

}  // namespace zamri
