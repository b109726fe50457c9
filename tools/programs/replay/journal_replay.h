// zamri-replay --journal: a recorded stream run through a channel's decoding and the delivery
// step as the running program has them, with a sink that prints what the journal would write.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct JournalReplay {
    std::string settingsPath;  // the program's settings file
    int channel = 0;           // 1 to 32: the camera, its decoding, template and rules
    // Every record's time: UTC milliseconds and the local offset; offset kLocalOffset: the
    // machine's time zone at that moment.
    int64_t utcMilliseconds = 0;
    int32_t utcOffsetMinutes = 0;
    static constexpr int32_t kLocalOffset = -100000;
    // Taken over the channel's settings where set (-1 or empty: the settings decide).
    int emulation = -1;
    bool footerGiven = false;
    std::string footer;
    int cutEndsReceipt = -1;
    int hebrew = 0;
    bool codePageGiven = false;
    int codePage = 0;
    int recorderCodePage = -1;
    bool noMask = false;
};

// Reads "YYYY-MM-DD HH:MM[:SS]" (or with a T), local time of this machine, or followed by an
// offset ("+01:00", "-05:00", "Z") that then is the records' offset. false when it is neither.
bool ParseReplayStart(const std::string& text, JournalReplay* replay);

// Prints the journal's records for bytes to standard output; problems of the settings go to
// standard error, as warnings, and the rest is used. Returns the exit code: 0 done, 1 the
// output could not be written, 2 the settings file cannot be read.
int RunJournalReplay(const JournalReplay& replay, const std::vector<unsigned char>& bytes);
