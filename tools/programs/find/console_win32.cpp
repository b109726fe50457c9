#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "console.h"

void PrepareOutput() {
    SetConsoleOutputCP(CP_UTF8);
    // Lines end in LF as in the journal itself, so --json output is the same JSON Lines on
    // both platforms.
    _setmode(_fileno(stdout), _O_BINARY);
}
