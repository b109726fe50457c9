// A whole detection on a tapped serial port: the line settings first (LineSettingsDetector), then,
// listening with them, the printer language, code page and receipt end (PrinterStreamDetector).
// The serial layer drives it as it drives the line detection alone: Plan(), Feed(), EndListen()
// until Done() or its own time is up, then Result().
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "detect/line_settings_detector.h"
#include "detect/printer_stream_detector.h"

// What detection found: a tap's line settings (hasLine) and the printer stream's findings.
struct DetectFindings {
    bool hasLine = false;  // false for a file or a network source: no line settings to find
    LineFinding line;
    StreamFinding stream;
    // The least confidence of what was found: the line (on a tap) and the stream's parts.
    double Confidence() const;
};

class TapDetection {
  public:
    explicit TapDetection(const std::vector<LineSettings>& candidates = OfferedLineSettings(),
                          int recorderPage = 1252);

    // Done: the language, the code page and the receipt end are decided, or 16 KB of stream were
    // read for them, or no line settings are to be found (every offered one was tried).
    bool Done() const;
    // While the line settings are looked for, the line detection's plan; then one long listen
    // with the settings found (the listen that found them may simply go on).
    ListenPlan Plan() const;
    // As LineSettingsDetector::Feed and FeedRead.
    bool Feed(const ReceivedByte* bytes, size_t count, bool afterPause = false);
    bool FeedRead(const uint8_t* bytes, size_t count, uint8_t marks, bool afterPause = false);
    void EndListen();
    // What was found so far; at any time (a caller whose time is up takes what there is).
    DetectFindings Result() const;
    bool LineFound() const { return line.Found(); }

  private:
    void StartStream(bool seed);
    // Looks at the stream's finding: whether it is decided (or the budget spent).
    bool Look();
    bool Take(const ReceivedByte& byte, bool afterPause);

    LineSettingsDetector line;
    PrinterStreamDetector stream;
    bool streaming = false;
    bool finished = false;
    size_t streamBytesRead = 0;
    size_t lookedAt = 0;
    bool settled = true;
    size_t settleBytes = 0;
    bool breakPending = false;  // bytes were lost since the stream's last byte
};

// The detection of a stream whose bytes need no line settings (a recorded dump, a network source).
DetectFindings DetectStream(const uint8_t* data, size_t size, int recorderPage = 1252);
