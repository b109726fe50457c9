// The raw scan of the journal search: before a line is parsed, the bytes of a day file are
// searched for a plain piece of the search text, so that the lines without it are passed over
// at memory speed. The scan only proposes lines; the search confirms every one on the decoded
// text of its record, so a piece chosen here must occur, byte for byte, in the journal line of
// every record that can match.
#pragma once

#include <emmintrin.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "journal/text_fold.h"

namespace zamri {

// The piece of a search text (folded already when case does not matter) that the raw file
// holds unchanged: its longest run that JSON writes as it is (printable ASCII without quote
// and backslash). Empty when that run is shorter than three bytes and not the whole text: it
// would propose nearly every line.
std::string RawLiteral(const std::string& needle);

// A piece of plain text that every match of a regular expression holds (ASCII-folded when
// foldCase). Found without understanding all of the syntax, and so kept to what is sure: runs
// of literal characters outside groups and classes, a character that ?, * or a count follows
// left out; any alternation gives none. Empty when nothing is sure.
std::string RequiredLiteral(const std::string& expression, bool foldCase);

// Finds a literal in bytes. Sixteen positions at a time are tested for the literal's first and
// last byte, and only where both agree is the rest compared.
class LiteralScanner {
  public:
    // foldCase: ASCII letters match in either case; every other byte (UTF-8 among them) only
    // as it is, as the search's own folding never turns one into ASCII.
    void Init(const std::string& literal, bool foldCase);
    // There is a literal to look for.
    bool Active() const { return !pattern.empty(); }

    // The first position at or after from where the literal lies wholly within data[0, n), or
    // npos. An empty literal is found at from (when from <= n).
    size_t Find(const char* data, size_t n, size_t from) const {
        size_t m = pattern.size();
        if (m == 0)
            return from <= n ? from : std::string::npos;
        if (n < m)
            return std::string::npos;
        size_t i = FindBlocks(data, n, from);
        for (; i + m <= n; ++i)
            if (Matches(reinterpret_cast<const unsigned char*>(data + i)))
                return i;
        return std::string::npos;
    }

    // Where the lines of block (cut at '\n'; the last one may lack it) that hold the literal
    // begin, in order, each line once.
    std::vector<size_t> CandidateLines(std::string_view block) const;

  private:
    // Defined here, with Find, so that the scan is one loop wherever it is called.
    bool Matches(const unsigned char* at) const {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(pattern.data());
        for (size_t j = 0; j < pattern.size(); ++j)
            if ((fold ? FoldAscii(at[j]) : at[j]) != p[j])
                return false;
        return true;
    }

    // Scans whole blocks of 16 positions; returns a position at which a hit may start, or the
    // first position the blocks did not cover.
    size_t FindBlocks(const char* data, size_t n, size_t from) const {
        size_t m = pattern.size();
        const __m128i first = _mm_set1_epi8(static_cast<char>(firstByte));
        const __m128i last = _mm_set1_epi8(static_cast<char>(lastByte));
        const __m128i firstFold = _mm_set1_epi8(static_cast<char>(firstMask));
        const __m128i lastFold = _mm_set1_epi8(static_cast<char>(lastMask));
        size_t i = from;
        for (; i + m - 1 + 16 <= n; i += 16) {
            __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
            __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + m - 1));
            __m128i hits = _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(a, firstFold), first),
                                         _mm_cmpeq_epi8(_mm_or_si128(b, lastFold), last));
            unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
            while (mask != 0) {
                unsigned bit = static_cast<unsigned>(__builtin_ctz(mask));
                if (Matches(reinterpret_cast<const unsigned char*>(data + i + bit)))
                    return i + bit;
                mask &= mask - 1;
            }
        }
        return i;
    }

    std::string pattern;  // folded when fold
    bool fold = false;
    unsigned char firstByte = 0, lastByte = 0, firstMask = 0, lastMask = 0;
};

}  // namespace zamri
