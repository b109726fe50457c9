#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "binary_input.h"

void UseBinaryStandardInput() {
    _setmode(_fileno(stdin), _O_BINARY);
}
