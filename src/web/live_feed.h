// What the live view shows: the latest lines, numbered, in a ring that the line sink's worker
// fills and the web server's thread reads. Each line is kept as its finished stream event, so
// any number of browsers cost one formatting per line. Capture never touches it directly (it hands lines
// to the sink's queue), and a reader that falls behind loses the oldest lines, never holds the
// writer: it learns how many it missed from the gap in the numbers.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace zamri {

constexpr int kLiveCameraCount = 32;

struct LiveLine {
    uint64_t seq = 0;              // 1, 2, ...; a gap means lines were lost on the way
    int64_t utcMs = 0;             // when the line was delivered
    int32_t utcOffsetMinutes = 0;  // local time = UTC + offset, at that moment
    int32_t camera = 0;            // 1..32
    int32_t flags = 0;             // as given to the overlay library
    uint32_t receipt = 0;          // receipt number of the camera
    std::string source;            // port name or sender address
    std::string text;              // UTF-8
    // Not a printed line: the receipt reader found this exception (its kind or rule name,
    // UTF-8) at the line in text. Shown as a mark in the receipt; not counted as a line.
    std::string exception;
};

struct LiveCamera {
    int64_t lastLineMs = 0;  // 0: no line since start
    uint64_t linesToday = 0;
    uint64_t linesTotal = 0;
    int64_t day = 0;  // local day number of linesToday
    std::string source;
};

class LiveFeed {
  public:
    explicit LiveFeed(size_t capacity = 8192);
    LiveFeed(const LiveFeed&) = delete;
    LiveFeed& operator=(const LiveFeed&) = delete;

    // Numbers and stores the line (seq is set here), counts it for its camera and calls the
    // listener, which must only post work and return: it runs under the feed's lock, so that a
    // listener removed by SetListener is never called afterwards.
    void Publish(LiveLine line);
    // Lines lost before they reached the feed (a full queue): readers see a gap of count.
    void NoteLost(uint64_t count);

    // Appends to out the stream events (server-sent event text) of at most maxLines lines
    // numbered from `from` on, in order, and no more than maxBytes of them (one line always
    // goes), and returns how many numbers from `from` up to the last one appended (or up to the
    // newest, when none is left) have no line any more. *next receives the number to ask for
    // next.
    uint64_t ReadEvents(uint64_t from, size_t maxLines, size_t maxBytes, std::string& out,
                        uint64_t* next) const;
    // The number the next line will get.
    uint64_t NextSeq() const;

    // camera 1..32; a copy, with linesToday already 0 when the local day has changed.
    LiveCamera Camera(int camera, int64_t nowUtcMs, int32_t utcOffsetMinutes) const;

    void SetListener(std::function<void()> listener);

  private:
    struct Slot {
        uint64_t seq = 0;
        std::string event;
    };
    mutable std::mutex lock_;
    std::vector<Slot> ring_;
    uint64_t next_ = 1;
    LiveCamera cameras_[kLiveCameraCount];
    std::function<void()> listener_;
};

// The line as one stream event: "id: N", "event: line" and its fields as JSON.
void AppendLineEvent(std::string& out, const LiveLine& line);

// The local day number of a moment, for "today" counts.
int64_t LocalDay(int64_t utcMs, int32_t utcOffsetMinutes);

}  // namespace zamri
