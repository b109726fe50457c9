#include "binary_input.h"

// Linux has no text mode: standard input is already read as it stands.
void UseBinaryStandardInput() {}
