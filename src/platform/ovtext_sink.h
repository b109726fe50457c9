// Where the overlay library records its calls when OVTEXT_LOG names no file.
#pragma once

#include <cstdio>

namespace zamri {

// Returns the stream to record to and whether the library must close it at the end.
FILE* OpenDefaultOverlaySink(bool* owned);

}  // namespace zamri
