// UTF-8 byte sequences.
#pragma once

#include <cstddef>
#include <string_view>

namespace zamri {

// Length of the valid multi-byte UTF-8 sequence at text[i], or 0 (also for a plain ASCII byte).
size_t Utf8SequenceLength(std::string_view text, size_t i);

}  // namespace zamri
