#include "codepage/printer_pages.h"

namespace {

struct Selector {
    int n;
    int page;
};

template <int N>
int Lookup(const Selector (&table)[N], int n) {
    for (const Selector& s : table) {
        if (s.n == n)
            return s.page;
    }
    return 0;
}

// Katakana is the single-byte half of the Japanese page (897). Pages without a table (Star's own
// "Normal" page, Hiragana, Kanji, Thai 42 and the like, TCVN-3, PC720, PC853, PC1098, user pages)
// are missing on purpose: their bytes cannot be named.
constexpr Selector kEscPos[] = {
    {0, 437},
    {1, 897},
    {2, 850},
    {3, 860},
    {4, 863},
    {5, 865},
    {11, 851},
    {13, 857},
    {14, 737},
    {15, 28597},
    {16, 1252},
    {17, 866},
    {18, 852},
    {19, 858},
    {33, 775},
    {34, 855},
    {35, 861},
    {36, 862},
    {37, 864},
    {38, 869},
    {39, 28592},
    {40, 28605},
    {42, 774},
    {43, 772},
    // 45 to 52 are WPC1250 to WPC1258 without 1252, which is 16.
    {44, 1125},
    {45, 1250},
    {46, 1251},
    {47, 1253},
    {48, 1254},
    {49, 1255},
    {50, 1256},
    {51, 1257},
    {52, 1258},
    {53, 1048},
};

constexpr Selector kStar[] = {
    {1, 437},  {2, 897},  {3, 437},   {4, 858},   {5, 852},   {6, 860},  {7, 861},   {8, 863},  {9, 865},
    {10, 866}, {11, 855}, {12, 857},  {13, 862},  {14, 864},  {15, 737}, {16, 851},  {17, 869}, {19, 772},
    {20, 774}, {21, 874}, {32, 1252}, {33, 1250}, {34, 1251}, {73, 771}, {78, 3021},
};

}  // namespace

int EscPosSelectedPage(int n) {
    return Lookup(kEscPos, n);
}

int StarSelectedPage(int n) {
    return Lookup(kStar, n);
}
