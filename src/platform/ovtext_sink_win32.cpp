#include <windows.h>

#include <cstring>

#include "platform/ovtext_sink.h"

namespace zamri {

// A GUI program has no console, so the record goes to "ovtext.log" beside the library.
FILE* OpenDefaultOverlaySink(bool* owned) {
    *owned = false;
    HMODULE self = nullptr;
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCSTR>(&OpenDefaultOverlaySink), &self)) {
        return nullptr;
    }
    char path[MAX_PATH + 16];
    DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    char* slash = std::strrchr(path, '\\');
    char* name = slash != nullptr ? slash + 1 : path;
    std::strcpy(name, "ovtext.log");
    FILE* file = std::fopen(path, "ab");
    *owned = file != nullptr;
    return file;
}

}  // namespace zamri
