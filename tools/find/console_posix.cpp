#include "console.h"

void PrepareUtf8Console() {}
