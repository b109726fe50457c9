// A whole detection run on a simulated tap, as the serial layer would drive it: listen with each
// plan, hand the bytes over read by read, end the listen when the detection says so or its time
// is up. For the tests and the benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "detect/line_simulator.h"
#include "detect/tap_detection.h"

// A till printing a receipt again and again: each line written on its own (a 2 ms pause after
// every LF), now and then a stall of its UART's FIFO, and a pause between receipts.
LineSignal TillPrinting(const std::string& receipt, const LineSettings& sender, int copies,
                        int64_t pauseMilliseconds = 1500, uint32_t seed = 1);

struct DetectionRun {
    DetectFindings findings;
    size_t bytesAtLine = 0;  // the till's bytes on the line when the line settings were found (0: never)
    size_t bytesAtEnd = 0;   // when the detection was done (or the time was up)
    bool done = false;
};

// Runs the detection until it is done or untilMilliseconds of line time have passed. With
// perReadMarks, errors are handed over per read of up to 8 bytes, as Windows reports them.
DetectionRun RunDetection(const LineSignal& signal, int64_t untilMilliseconds, bool perReadMarks = false);
