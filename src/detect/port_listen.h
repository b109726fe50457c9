// A whole detection on a serial port: opens it with the settings the detection asks for, one
// listen after another, never writing a byte, until the detection is done or the time is up.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "detect/tap_detection.h"

// How long a detection listens unless told otherwise: a few test receipts' time.
constexpr int kDefaultListenSeconds = 30;

struct ListenProgress {
    int elapsedSeconds = 0;
    int totalSeconds = 0;
    LineSettings settings;  // what the port listens with now
    size_t bytesRead = 0;   // everything read so far
    bool lineFound = false;
};

// recorderPage: the page the recorder shows text in. 1 with the findings (complete or what there was when the
// time ran out), 0 when the port cannot be opened or fails, with the reason in problem. progress is called at
// each new listen and about once a second. When *stop turns true (another thread may set it) the
// listening ends within a read's time and the findings are what there was.
int ListenOnPort(const std::string& portName, int seconds, int recorderPage,
                 const std::function<void(const ListenProgress&)>& progress, DetectFindings* findings,
                 std::string* problem, const std::atomic<bool>* stop = nullptr);
