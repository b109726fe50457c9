// What the soak reads of its own process: open descriptors (handles on Windows), threads and
// the memory in use, to tell whether a long run left anything behind.
#pragma once

#include <cstddef>

namespace soak {

// Prepares the probe (Linux: one malloc arena, so that the heap figure covers every thread).
void ProbeStart();
void SetEnvironment(const char* name, const char* value);
// Open file descriptors (Windows: handles) of this process.
long OpenHandles();
// Threads of this process.
long Threads();
// Bytes of heap in use (Windows: private bytes of the process).
long long MemoryInUse();

}  // namespace soak
