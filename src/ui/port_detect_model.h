// What the port settings dialog's Detect button shows while it listens, and what it fills in
// when the listening is over. Kept apart from the dialog so that the rules run and are tested on
// both platforms; texts come through a lookup of the language pack's keys (section
// "portconfig page").
#pragma once

#include <functional>
#include <string>

#include "config/channel_table.h"
#include "detect/port_listen.h"
#include "ui/port_settings_model.h"

using DetectTextLookup = std::function<std::string(const char* key)>;

struct DetectProgressView {
    int percent = 0;   // of the listening time, 0 to 100
    std::string text;  // "Listening at 9600 8N1: 12 of 30 s, 512 bytes read"
};

// pausedCamera: the camera (1 to 32) whose capture pauses while the port listens, 0 for none.
DetectProgressView DetectProgress(const ListenProgress& progress, const DetectTextLookup& text,
                                  int pausedCamera = 0);

// The receipt end a detection found, as the pattern dialog stores it.
struct DetectedPattern {
    bool found = false;
    int patternFlags = 0;  // 0 form feed (a cut ends a receipt as a form feed does), 1 footer text
    std::string footer;
};

struct DetectFill {
    bool line = false;  // baud rate, data bits, parity and stop bits were filled
    bool emulation = false;
    bool codePage = false;
    DetectedPattern pattern;
    bool sure = false;    // everything a detection can find was found
    std::string message;  // for the installer: how sure, what was filled, what was seen
};

// Fills the selections with what the findings decide and leaves the rest as they were; nothing is
// stored (the dialog's OK does that). A finding below kSureConfidence fills nothing.
DetectFill FillFromFindings(const DetectFindings& findings, int parityItemCount, PortSelections* selections,
                            const DetectTextLookup& text);

// Detect listens on a port that a running channel may be capturing: that channel pauses for
// the run (its capture stops, the channel stays enabled and feed health leaves it alone) and
// resumes when the run is over, however it ended. One pause at a time; the table must outlive it.
class DetectCapturePause {
  public:
    explicit DetectCapturePause(ChannelTable& table) : table(table) {}
    ~DetectCapturePause() { Resume(); }
    DetectCapturePause(const DetectCapturePause&) = delete;
    DetectCapturePause& operator=(const DetectCapturePause&) = delete;

    // Pauses the channel that captures portName (after resuming one paused before): its 0-based
    // index, or -1 when none captures it.
    int Pause(const std::string& portName);
    // Resumes the paused channel, if any; a second call does nothing.
    void Resume();
    int Channel() const { return paused; }

  private:
    ChannelTable& table;
    int paused = -1;
};
