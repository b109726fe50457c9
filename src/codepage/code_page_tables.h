// The generated code page data (code_page_tables.cpp, written by tools/dev/gen-codepages.py).
#pragma once

#include <cstdint>

struct CodePageTable {
    int number;           // the Windows code page identifier where one exists
    const char* name;     // as users know it: "PC437", "WPC1252"
    const char* about;    // the language or region
    uint16_t upper[128];  // Unicode character of bytes 0x80 to 0xFF; 0 where the page has none
};

// What stands in for a character that a page lacks, in ASCII (at most four bytes).
struct LookAlike {
    uint16_t code;
    char text[5];
};

extern const CodePageTable kCodePageTables[];
extern const int kCodePageTableCount;
extern const LookAlike kLookAlikes[];  // sorted by code
extern const int kLookAlikeCount;
