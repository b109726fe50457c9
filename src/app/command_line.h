// The command-line rules of the program: the whole text after the program name decides.
#pragma once

namespace zamri {

// The arguments part of a full process command line: the program name (quoted or not) and the
// blanks after it are skipped; trailing blanks stay part of the result.
const char* ArgumentsOfCommandLine(const char* fullCommandLine);

// 1 when the whole arguments text equals word, ignoring case; 0 otherwise.
int CommandLineIs(const char* arguments, const char* word);

// The operating mode: 1 (TCP) when the whole arguments text is "/tcp" in any case, else 0.
int ModeFromCommandLine(const char* arguments);

// 1 when the whole arguments text is "/property" in any case.
int IsPropertyCommandLine(const char* arguments);

}  // namespace zamri
