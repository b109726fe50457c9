// Detects a printer stream's language, code page and receipt end from its bytes, for every kind
// of source: a tapped serial line (once its line settings are known), a network source, a
// recorded dump. Bytes are fed as they come; the finding can be asked for at any time and says
// "not sure" rather than guess while the bytes do not decide it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "detect/receipt_end_guess.h"

constexpr size_t kMaxStreamBytes = 256 * 1024;  // more decides nothing the first part did not

// Confidence from which a finding counts as sure.
constexpr double kSureConfidence = 0.9;

struct StreamFinding {
    int emulation = -1;  // the emulation code, -1 when not sure
    double emulationConfidence = 0;
    // The printer's page as the settings file stores it (0: as the printer ships); -1 when not
    // sure. codePageWeighed 0 means there were no bytes from 0x80 up to go by.
    int codePage = -1;
    double codePageConfidence = 0;
    int codePageWeighed = 0;
    bool codePageSelected = false;  // the stream selects its page itself
    int receiptEnd = kReceiptEndUnknown;
    double receiptEndConfidence = 0;
    std::string footer;     // the line every receipt ends with, "" when none repeats
    int receipts = 0;       // receipts seen whole
    double confidence = 0;  // of the whole: the least confidence of the parts that were found
    bool sure = false;      // the language and the code page are decided
    size_t bytes = 0;
    size_t firstBoundary = 0;  // where the first receipt that begins in the stream begins (0: none seen)
    std::string note;          // what stands in the way or is worth knowing, for people ("" when nothing)
};

class PrinterStreamDetector {
  public:
    // recorderPage: the Windows page the recorder shows text in (lines and the footer come in it).
    explicit PrinterStreamDetector(int recorderPage = 1252);

    // Bytes of the stream in the order they came; beyond kMaxStreamBytes they are not kept.
    void Feed(const uint8_t* data, size_t size);
    // The stream was joined while it ran (a tap listening in): its first bytes may be the middle
    // of a receipt, of a command, of an image.
    void JoinedMidway() { joinedMidway = true; }
    // The bytes that come next do not follow on from those so far (some were lost in between): a
    // command cut in two would swallow unrelated bytes. What came before is let go, unless it is
    // enough to judge by, in which case nothing more is taken.
    void Break();
    size_t Bytes() const { return stream.size(); }
    StreamFinding Result() const;

  private:
    StreamFinding Result(size_t from) const;

    std::vector<uint8_t> stream;
    int recorderPage;
    bool joinedMidway = false;
    bool complete = false;  // enough came in one piece; no more is taken
};
