#include "detect/receipt_end_guess.h"

#include <algorithm>
#include <map>

#include "serial/byte_source.h"
#include "serial/line_decoder.h"

namespace {

struct Receipt {
    std::vector<std::string> lines;
    int endedBy = -1;  // the boundary kind, -1 for the data's end
};

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(' ');
    if (begin == std::string::npos)
        return "";
    size_t end = text.find_last_not_of(' ');
    return text.substr(begin, end - begin + 1);
}

double CountConfidence(int count) {
    return count >= 3 ? 0.95 : count == 2 ? 0.85 : count == 1 ? 0.7 : 0;
}

// Whether text occurs in a line that does not end its receipt (it would end receipts early).
bool OccursInsideReceipts(const std::vector<Receipt>& receipts, const std::string& text) {
    for (const Receipt& receipt : receipts) {
        for (size_t i = 0; i + 1 < receipt.lines.size(); ++i) {
            if (receipt.lines[i].find(text) != std::string::npos)
                return true;
        }
    }
    return false;
}

// One stream without any boundary: a footer is a line that comes back, each time followed by the
// same line (the next receipt's first, its header), a line that only ever follows it. The stream
// may begin inside a receipt. When the fixed lines between two receipts are several (a footer
// block, a header block), they all come as often: where one receipt ends is then told by the
// stream's first line, if it begins a receipt, and otherwise not.
std::string FooterInOneStream(const std::vector<std::string>& lines, int* count) {
    std::map<std::string, std::vector<size_t>> where;
    for (size_t i = 0; i < lines.size(); ++i)
        where[lines[i]].push_back(i);
    std::vector<std::pair<std::string, int>> candidates;
    std::string beforeFirst;
    for (const auto& entry : where) {
        const std::vector<size_t>& at = entry.second;
        const std::string* next = nullptr;
        bool same = true;
        int followed = 0;
        for (size_t i : at) {
            if (i + 1 >= lines.size())
                continue;
            ++followed;
            if (next == nullptr)
                next = &lines[i + 1];
            else if (*next != lines[i + 1])
                same = false;
        }
        if (!same || followed < 2 || *next == entry.first)
            continue;
        bool onlyAfter = true;  // the header never stands anywhere else
        for (size_t i : where[*next]) {
            if (i > 0 && lines[i - 1] != entry.first)
                onlyAfter = false;
        }
        if (!onlyAfter)
            continue;
        candidates.emplace_back(entry.first, static_cast<int>(at.size()));
        if (*next == lines.front())
            beforeFirst = entry.first;
    }
    // The footer comes once in every receipt: the candidate that comes most often, alone.
    *count = 0;
    std::string found;
    bool tie = false;
    for (const auto& c : candidates) {
        if (c.second > *count) {
            *count = c.second;
            found = c.first;
            tie = false;
        } else if (c.second == *count) {
            tie = true;
        }
    }
    if (!beforeFirst.empty() && (tie || found.empty())) {
        for (const auto& c : candidates) {
            if (c.first == beforeFirst) {
                *count = c.second;
                return c.first;
            }
        }
    }
    if (tie)
        *count = 0;
    return tie ? "" : found;
}

}  // namespace

const char* ReceiptEndName(int end) {
    switch (end) {
        case kReceiptEndFormFeed:
            return "formfeed";
        case kReceiptEndCut:
            return "cut";
        case kReceiptEndFooter:
            return "footer";
        default:
            return nullptr;
    }
}

std::string UsableFooter(const std::string& line, size_t maxLength) {
    std::string best;
    size_t start = 0;
    for (;;) {
        size_t comma = line.find(',', start);
        std::string piece =
            Trim(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (piece.size() > best.size())
            best = piece;
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (best.size() > maxLength)
        best = Trim(best.substr(0, maxLength));
    return best;
}

ReceiptEndGuess GuessReceiptEnd(const uint8_t* data, size_t size,
                                const std::vector<ReceiptBoundary>& boundaries, int emulation, int codePage,
                                int recorderPage) {
    ReceiptEndGuess guess;
    LineDecoder decoder;
    decoder.SetEmulation(emulation);
    decoder.SetCodePages(codePage, recorderPage);
    decoder.SetPattern(kPatternFormFeed, "");

    std::vector<Receipt> pieces;
    size_t start = 0;
    for (size_t b = 0; b <= boundaries.size(); ++b) {
        size_t end = b < boundaries.size() ? std::min(boundaries[b].position, size) : size;
        if (end < start)
            continue;
        Receipt piece;
        piece.endedBy = b < boundaries.size() ? boundaries[b].kind : -1;
        MemoryByteSource memory(data + start, end - start);
        ByteSource source = memory.Source();
        const char* text;
        int flags;
        while (decoder.ReadLine(source, &text, &flags) >= 0) {
            if (text[0] != 0)
                piece.lines.emplace_back(text);
        }
        pieces.push_back(piece);
        start = end;
    }

    // The receipts seen whole: every piece that holds lines and was ended by a boundary.
    std::vector<Receipt> receipts;
    int formFeeds = 0;
    int cuts = 0;
    for (const Receipt& piece : pieces) {
        if (piece.lines.empty() || piece.endedBy < 0)
            continue;
        receipts.push_back(piece);
        formFeeds += piece.endedBy == kBoundaryFormFeed;
        cuts += piece.endedBy == kBoundaryCut;
    }
    guess.receipts = static_cast<int>(receipts.size());

    int footerCount = 0;
    std::string footer;
    if (receipts.size() >= 2) {
        std::map<std::string, int> lastLines;
        for (const Receipt& receipt : receipts)
            ++lastLines[receipt.lines.back()];
        for (const auto& entry : lastLines) {
            if (entry.second > footerCount) {
                footerCount = entry.second;
                footer = entry.first;
            }
        }
        // Most receipts end with it (the first and last may be cut off by the listening).
        if (footerCount < 2 || 3 * footerCount < 2 * static_cast<int>(receipts.size()))
            footer.clear();
    } else if (boundaries.empty()) {
        footer = FooterInOneStream(pieces.empty() ? std::vector<std::string>{} : pieces.front().lines,
                                   &footerCount);
    }
    std::string usable = UsableFooter(footer, kFooterTextLength);
    bool fits = !usable.empty() && !OccursInsideReceipts(receipts, usable);
    if (fits && receipts.empty() && !pieces.empty()) {
        // In one stream the footer must occur in its own lines only.
        int hits = 0;
        for (const std::string& line : pieces.front().lines)
            hits += line.find(usable) != std::string::npos;
        fits = hits == footerCount;
    }
    if (fits)
        guess.footer = usable;

    if (formFeeds > 0 && formFeeds >= cuts) {
        guess.end = kReceiptEndFormFeed;
        guess.confidence = CountConfidence(formFeeds);
    } else if (cuts > 0) {
        guess.end = kReceiptEndCut;
        guess.confidence = CountConfidence(cuts);
    } else if (!guess.footer.empty()) {
        guess.end = kReceiptEndFooter;
        guess.confidence = CountConfidence(footerCount);
    }
    return guess;
}
