#include "detect/tap_detection.h"

#include <algorithm>

namespace {

constexpr size_t kLookEvery = 256;           // stream bytes between looks at the finding
constexpr size_t kStreamBudget = 16 * 1024;  // the language is listened for this long at most
constexpr int kStreamListenMilliseconds = 60000;
constexpr size_t kStreamSettleBytes = 64;
constexpr uint8_t kLineFeed = 0x0A;
constexpr double kSureReceiptEnd = 0.8;

}  // namespace

double DetectFindings::Confidence() const {
    double confidence = stream.confidence;
    if (hasLine)
        confidence = std::min(confidence, line.verdict == kLineFound ? line.confidence : 0.0);
    return confidence;
}

TapDetection::TapDetection(const std::vector<LineSettings>& candidates, int recorderPage)
    : line(candidates), stream(recorderPage) {}

bool TapDetection::Done() const {
    return finished || (line.Done() && !line.Found());
}

ListenPlan TapDetection::Plan() const {
    ListenPlan plan = line.Plan();
    if (streaming) {
        // One long listen with the settings found, for the language.
        plan.settings = line.FoundSettings();
        plan.maxBytes = static_cast<int>(kStreamBudget);
        plan.maxMilliseconds = kStreamListenMilliseconds;
    }
    return plan;
}

// seed: the listen that found the settings goes on, so its bytes and the ones that follow are
// one piece of the stream; otherwise the next listen begins afresh (bytes between are lost).
void TapDetection::StartStream(bool seed) {
    streaming = true;
    stream.JoinedMidway();
    std::vector<uint8_t> found = seed ? line.FoundBytes() : std::vector<uint8_t>{};
    settled = !found.empty();
    if (settled) {
        stream.Feed(found.data(), found.size());
        Look();
    }
}

// Whether the stream is decided: language, code page and receipt end, or the budget is spent.
bool TapDetection::Look() {
    lookedAt = stream.Bytes();
    StreamFinding finding = stream.Result();
    if ((finding.sure && finding.receiptEnd != kReceiptEndUnknown &&
         finding.receiptEndConfidence >= kSureReceiptEnd) ||
        streamBytesRead >= kStreamBudget)
        finished = true;
    return finished;
}

bool TapDetection::Take(const ReceivedByte& byte, bool afterPause) {
    if (!streaming) {
        bool enough = line.Feed(&byte, 1, afterPause);
        if (line.Found()) {
            StartStream(true);
            return finished;  // the same listen goes on, now for the language
        }
        return enough || line.Done();
    }
    ++streamBytesRead;
    if (!settled) {
        // A port opened again may misread until the line pauses or the till's next line end.
        unsigned mask = (1u << line.FoundSettings().dataBits) - 1u;
        settled = afterPause;
        if (!settled) {
            settled = (byte.value & mask) == kLineFeed || ++settleBytes >= kStreamSettleBytes;
            return streamBytesRead >= kStreamBudget;
        }
    }
    if (breakPending) {
        stream.Break();
        breakPending = false;
    }
    if ((byte.marks & kLineErrorMarks) == 0)
        stream.Feed(&byte.value, 1);  // a byte with an error mark is garbled: not text
    if (stream.Bytes() >= lookedAt + kLookEvery)
        Look();
    return finished || streamBytesRead >= kStreamBudget;
}

bool TapDetection::Feed(const ReceivedByte* bytes, size_t count, bool afterPause) {
    bool enough = Done();
    for (size_t i = 0; i < count && !enough; ++i)
        enough = Take(bytes[i], afterPause && i == 0);
    return enough;
}

bool TapDetection::FeedRead(const uint8_t* bytes, size_t count, uint8_t marks, bool afterPause) {
    if (Done())
        return true;
    if (!streaming) {
        bool enough = line.FeedRead(bytes, count, marks, afterPause);
        if (line.Found()) {
            StartStream(true);
            return finished;
        }
        return enough || line.Done();
    }
    std::vector<ReceivedByte> marked(count);
    for (size_t i = 0; i < count; ++i)
        marked[i] = ReceivedByte{bytes[i], static_cast<uint8_t>(i == 0 ? marks : 0)};
    return Feed(marked.data(), marked.size(), afterPause);
}

void TapDetection::EndListen() {
    if (Done())
        return;
    if (!streaming) {
        line.EndListen();
        if (line.Found()) {
            StartStream(false);
            settleBytes = 0;
        }
        return;
    }
    Look();
    breakPending = true;  // the next listen opens the port again
    settled = false;
    settleBytes = 0;
}

DetectFindings TapDetection::Result() const {
    DetectFindings findings;
    findings.hasLine = true;
    findings.line = line.Result();
    findings.line.bytesRead += streamBytesRead;
    findings.stream = stream.Result();
    return findings;
}

DetectFindings DetectStream(const uint8_t* data, size_t size, int recorderPage) {
    PrinterStreamDetector detector(recorderPage);
    detector.Feed(data, size);
    DetectFindings findings;
    findings.stream = detector.Result();
    return findings;
}
