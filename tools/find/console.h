// The terminal zamri-find prints to; one backend per platform.
#pragma once

// Makes the console show UTF-8 text as such (Windows: the console's output code page).
void PrepareUtf8Console();
