#include <windows.h>

#include "console.h"

void PrepareUtf8Console() {
    SetConsoleOutputCP(CP_UTF8);
}
