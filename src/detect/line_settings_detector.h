// Finds a tapped serial line's settings by listening only (a tap never writes a byte). The
// serial layer opens the port with the settings Plan() names, hands every byte it reads to
// Feed() with the driver's error marks, and ends the listen when Feed() says it has enough or
// the plan's time has passed (EndListen()); then it opens the port with the next plan, until
// Done().
//
// How it decides: at each offered rate, most common first, it listens with 8 data bits and no
// parity, the frame that shows most about the others. A line whose rate is right reads as text
// there, or as text in its low seven bits with the eighth carrying a parity (7E1, 7O1) or
// always high (7 bits with mark parity or two stop bits); with parity after 8 data bits the
// bytes are still text but the parity bit lands in the stop bit (framing errors on exactly the
// bytes whose parity bit is 0). That picks the frames to try next at that rate. A setting is
// taken when the line shows no framing or parity errors under it (at most one byte in 50) and
// its bytes read as printer text (printable bytes, blanks, line ends, commands a printer
// language knows) for long enough. When no rate reads so, every rate is heard once more (a port
// opened inside a run of like bytes, a receipt's padding, can stay out of step for a whole
// listen), then every other offered frame at every rate; then it says what it saw.
//
// A port opened while the till sends may take a data bit for a start bit and stay out of step
// until the line pauses: a listen's bytes are weighed from the first pause the driver reports
// (afterPause), or, without one, from the last error among its first bytes.
//
// Stop bits cannot be told by listening: a UART checks the first stop bit only, so one stop bit
// reads a till that sends any number, and that is what is found. Settings that read the line
// identically are not told apart either (8N1 and 7 bits with space parity for 7-bit text; 7N1,
// 7M1 and 7N2 where the bit after the data is always high): the one that also reads the other
// senders of its kind is found (8N1; 7N1).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "detect/line_settings.h"
#include "serial/received_byte.h"

struct ListenPlan {
    LineSettings settings;
    int maxBytes = 0;         // the listen need not read more than this
    int maxMilliseconds = 0;  // nor wait longer
};

enum LineVerdict {
    kLineFound,    // these settings read the line cleanly as printer text
    kLineNotSure,  // not decided yet (too little came); settings are the likeliest so far
    kLineNoFit,    // every offered setting was tried and none reads the line
    kLineSilent,   // nothing came at all
};

enum LineTrialState { kTrialUntried, kTrialListening, kTrialRejected, kTrialAccepted };

// What one tried setting showed, over all its listens.
struct LineTrial {
    LineSettings settings;
    int state = kTrialUntried;
    size_t bytes = 0;         // bytes weighed (the first bytes of every listen are not: the port
                              // may have opened in the middle of a frame)
    size_t errors = 0;        // framing, parity and break marks among them
    size_t quietListens = 0;  // listens in which too little came to weigh
    int quietMilliseconds = 0;
    size_t heardBytes = 0;        // every byte read with it, the unweighed ones included
    int cutShortListens = 0;      // listens that ended before the port fell in step
    int chances = 1;              // times it is heard before it is given up
    std::vector<uint8_t> values;  // the bytes weighed (the first kept ones)
    std::vector<uint8_t> marks;
    size_t listenStart = 0;        // where the last listen's bytes begin in values
    std::vector<size_t> segments;  // where each listen's bytes begin
};

struct LineFinding {
    int verdict = kLineSilent;
    LineSettings settings;
    double confidence = 0;
    size_t bytesRead = 0;  // everything the port read while detecting
    int listens = 0;
    std::string summary;  // what was seen, for people
};

class LineSettingsDetector {
  public:
    // candidates: what the port offers (the dialog's lists by default); at least one.
    explicit LineSettingsDetector(const std::vector<LineSettings>& candidates = OfferedLineSettings());

    bool Done() const;
    // Whether settings were found, and which (meaningful when found).
    bool Found() const { return accepted >= 0; }
    LineSettings FoundSettings() const;
    // The settings to listen with now (meaningful while !Done()).
    ListenPlan Plan() const;
    // Bytes read under Plan()'s settings since the port was opened with them. afterPause: the
    // line was quiet for at least two frames' time before them (or since the opening), as a
    // read that had to wait for its bytes shows; a port is in step after such a pause. True
    // when this listen has read enough: end it.
    bool Feed(const ReceivedByte* bytes, size_t count, bool afterPause = false);
    // For a driver that reports errors for a whole read rather than per byte (Windows): bytes
    // with the marks of the read they came in; each marked read counts as one error.
    bool FeedRead(const uint8_t* bytes, size_t count, uint8_t marks, bool afterPause = false);
    // The listen is over (Feed said so, or the time ran out).
    void EndListen();

    LineFinding Result() const;
    // The bytes of the listen in which the settings were found, in one piece from where it fell
    // in step up to the last byte read (none when they were too many to keep): the printer
    // language can be told from them.
    std::vector<uint8_t> FoundBytes() const;
    const std::vector<LineTrial>& Trials() const { return trials; }

  private:
    // What a trial's bytes show so far.
    struct Look {
        bool weighed = false;     // enough bytes to say anything
        bool promising = false;   // no errors, and they read as printer text
        bool acceptable = false;  // and long enough to be taken
        bool hopeless = false;    // errors, and no text in them either
        bool cleanSoFar = false;  // no errors, and nothing that points to another frame
        double share = 0;
        size_t lineEnds = 0;
    };

    LineTrial* Current();
    const LineTrial* Current() const;
    int Find(int rate, int dataBits, int parity) const;
    void Take(uint8_t value, uint8_t marks, bool afterPause);
    void Settle(bool listenOver);
    void Weigh(uint8_t value, uint8_t marks);
    Look Judge(const LineTrial& trial) const;
    bool Enough();
    void Conclude();
    void QueueHints(const LineTrial& trial);

    std::vector<LineTrial> trials;
    std::deque<int> queue;  // trials still to listen with, the current one first
    int accepted = -1;
    size_t listenBytes = 0;            // bytes of the current listen, the unweighed first ones included
    bool listenEnough = false;         // Feed said so
    std::vector<ReceivedByte> window;  // the current listen's first bytes, held back
    size_t errorRun = 0;               // marked bytes in a row among them
    bool inStep = false;               // the line paused since the port was opened
    bool weighedThisListen = false;
    size_t totalBytes = 0;
    int listens = 0;
    bool perByteMarks = true;
};
