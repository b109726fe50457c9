#include <windows.h>

#include "platform/profile.h"

namespace zamri {

int ProfileReadText(const char* path, const char* section, const char* key, const char* def, char* out,
                    int size) {
    if (out == nullptr || size <= 0)
        return 0;
    return static_cast<int>(GetPrivateProfileStringA(section, key, def != nullptr ? def : "", out,
                                                     static_cast<DWORD>(size), path));
}

int ProfileReadInt(const char* path, const char* section, const char* key, int def) {
    return static_cast<int>(GetPrivateProfileIntA(section, key, def, path));
}

int ProfileWriteText(const char* path, const char* section, const char* key, const char* value) {
    return WritePrivateProfileStringA(section, key, value, path) ? 1 : 0;
}

}  // namespace zamri
