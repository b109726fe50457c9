// The Linux front has no windows: the dialog chores have nothing to act on.
#include <unistd.h>

#include <cstring>

#include "platform/langpack_window.h"

namespace langpack {

int ProgramDirectory(char* out, int size, char* separator) {
    *separator = '/';
    if (out == nullptr || size <= 1)
        return 0;
    ssize_t length = readlink("/proc/self/exe", out, static_cast<size_t>(size - 1));
    if (length <= 0) {
        out[0] = 0;
        return 0;
    }
    out[length] = 0;
    char* cut = std::strrchr(out, '/');
    if (cut == nullptr) {
        out[0] = 0;
        return 0;
    }
    *cut = 0;
    return static_cast<int>(cut - out);
}

int SetControlText(void* dialog, int controlId, const char* text) {
    return 0;
}

int CenterWindow(void* window) {
    return 0;
}

}  // namespace langpack
