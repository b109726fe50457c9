#include <dirent.h>
#include <malloc.h>
#include <stdlib.h>

#include "process_probe.h"

// Under a sanitizer the allocator is the sanitizer's own, which keeps its own count.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#define SOAK_SANITIZER_HEAP 1
#endif

namespace soak {

namespace {

// The entries of a folder of /proc, or -1.
long EntriesOf(const char* path) {
    DIR* folder = opendir(path);
    if (folder == nullptr)
        return -1;
    long count = 0;
    while (dirent* entry = readdir(folder)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    closedir(folder);
    return count;
}

}  // namespace

void ProbeStart() {
    mallopt(M_ARENA_MAX, 1);
}

void SetEnvironment(const char* name, const char* value) {
    setenv(name, value, 1);
}

long OpenHandles() {
    long count = EntriesOf("/proc/self/fd");
    return count < 0 ? -1 : count - 1;  // the folder's own descriptor
}

long Threads() {
    return EntriesOf("/proc/self/task");
}

long long MemoryInUse() {
#ifdef SOAK_SANITIZER_HEAP
    return static_cast<long long>(__sanitizer_get_current_allocated_bytes());
#else
    struct mallinfo2 info = mallinfo2();
    return static_cast<long long>(info.uordblks + info.hblkhd);
#endif
}

}  // namespace soak
