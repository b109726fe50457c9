// Running zamri-detect from a test: the program beside the test executable, its output kept.
#pragma once

#include <string>

#include "support/temp_dir.h"

std::string ZamriDetectProgram();
// The exit code; out and err (when given) receive what it printed.
int RunZamriDetect(const testing_support::TempDir& dir, const std::string& args, std::string* out,
                   std::string* err);
