// Standard input as raw bytes: receipts may hold any byte, and Windows' text mode would end the
// input at a Ctrl+Z. One backend per platform (binary_input_win32.cpp, binary_input_posix.cpp).
#pragma once

void UseBinaryStandardInput();
