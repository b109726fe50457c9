#include <windows.h>
// psapi after windows.h
#include <psapi.h>
#include <stdlib.h>

#include "process_probe.h"

namespace soak {

void ProbeStart() {}

void SetEnvironment(const char* name, const char* value) {
    _putenv_s(name, value);
}

long OpenHandles() {
    DWORD count = 0;
    return GetProcessHandleCount(GetCurrentProcess(), &count) ? static_cast<long>(count) : -1;
}

long long MemoryInUse() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof counters))
        return -1;
    return static_cast<long long>(counters.PrivateUsage);
}

}  // namespace soak
