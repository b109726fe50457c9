#include "console.h"

void PrepareOutput() {}
