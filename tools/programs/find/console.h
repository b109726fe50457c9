// The terminal zamri-find prints to; one backend per platform.
#pragma once

// Makes the console show UTF-8 text as such and lines end in LF alone (Windows: the console's
// output code page and binary standard output).
void PrepareOutput();
