// Decides when a feed's health changes. The program samples capture about once a second (ports,
// error counts, the doors' refusals, TCP mode's frames for unknown cameras) and ticks the
// monitor with it; the monitor also takes every delivered line as a sink, to know when each
// camera last printed. Each condition gives one event at its start and one at its end, however
// often it shows meanwhile: a condition seen again and again only keeps it going, and the
// conditions that come in knocks (errors, refusals, frames) end after kQuietMilliseconds
// without one. At most kMaxActive refused senders and unknown cameras are followed at a time,
// so a sweep over many addresses cannot flood the outputs.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "config/channel_config.h"
#include "config/health_settings.h"
#include "delivery/delivered_line.h"
#include "delivery/line_clock.h"
#include "health/feed_health_record.h"

namespace zamri {

// One channel as capture shows it at a tick.
struct FeedChannelSample {
    bool watched = false;  // a running channel (or, in TCP mode, a camera that has sent)
    std::string source;    // its port name, or the sender last seen
    // How long the channel's serial port has been failing (ms), -1 while it works or when the
    // channel is no serial port.
    int64_t portFailingMilliseconds = -1;
    // The port could not be opened when the channel started (the failing time counts from
    // then): nothing captures until the channel is started again and the port opens.
    bool portNotOpened = false;
    // Framing and parity errors counted by the port so far (they only grow while the port
    // object lives; a smaller count means a new port).
    uint64_t lineErrors = 0;
};

// A sender a door refused lately, and the door's refusal count at its latest refusal.
struct FeedRefusal {
    std::string peer;
    uint64_t count = 0;
};

// One door (TCP mode's server, a network channel) and the connections it turned away so far.
struct FeedGateSample {
    std::string front;  // "TCP server", or the channel's port name
    uint64_t refused = 0;
    std::string lastPeer;
    // The senders refused lately, each once: those whose count is above the one of the last
    // tick were refused since, so two within one tick are two knocks. Without them only
    // lastPeer is known to have knocked.
    std::vector<FeedRefusal> recent;
};

struct FeedSample {
    FeedChannelSample channels[kChannelCount];
    // TCP mode: no channel is started, so a camera is watched once it has sent a line, and
    // named by its last sender.
    bool camerasWatchedOnceSent = false;
    std::vector<FeedGateSample> gates;
    // TCP mode: frames for cameras outside 1 to 32, and the last one's camera and sender.
    uint64_t unexpectedFrames = 0;
    int lastUnexpectedCamera = 0;
    std::string lastUnexpectedPeer;
};

class FeedHealthMonitor : public LineSink {
  public:
    // A port counts as failed once it has failed this long (a reopen takes a second).
    static constexpr int64_t kPortFailingMilliseconds = 3000;
    static constexpr int64_t kQuietMilliseconds = 5 * 60 * 1000;
    static constexpr int64_t kMinuteMilliseconds = 60 * 1000;
    static constexpr size_t kMaxActive = 16;

    // clock: the events' time (null: the system's); it must outlive this object.
    explicit FeedHealthMonitor(LineClock* clock = nullptr);

    // Any thread; the next tick uses them.
    void SetSettings(const FeedHealthSettings& settings);
    // Lines note their camera's last time; other items are passed over. Any thread.
    void Accept(const DeliveredLine& line) override;
    // The changes since the last tick, oldest condition first. One thread at a time.
    std::vector<FeedHealthEvent> Tick(const FeedSample& sample);

  private:
    struct Channel {
        bool watched = false;
        int64_t watchedSince = 0;
        bool portDown = false;
        bool errorsHigh = false;
        int64_t lastHighErrors = 0;
        std::deque<std::pair<int64_t, uint64_t>> errorCounts;  // (time, count) over the last minute
        bool silent = false;
        int64_t silentSince = 0;
    };
    // A refused sender or an unknown camera, with its last knock.
    struct Knock {
        int camera = 0;
        std::string source;
        int64_t last = 0;
    };

    void TickPort(int camera, const FeedChannelSample& in, Channel& c, int64_t now);
    void TickErrors(int camera, const FeedChannelSample& in, Channel& c, int64_t now);
    void TickSilent(int camera, const FeedChannelSample& in, Channel& c, int64_t now);
    void TickKnocks(const FeedSample& sample, int64_t now);
    void KnockRefused(const std::string& front, const std::string& peer, int64_t now);
    // The start of the opening hours now under way, UTC ms (0 when silence counts all day);
    // -1 outside the hours.
    int64_t OpeningStart(int64_t now) const;
    void Emit(int camera, const std::string& source, const char* kind, bool ending, std::string detail,
              int64_t now);

    LineClock* clock;
    std::atomic<int64_t> lastLine[kChannelCount];
    struct LastSource {
        std::mutex lock;
        std::string source;
    };
    LastSource lastSource[kChannelCount];
    mutable std::mutex settingsLock;
    FeedHealthSettings settings;
    FeedHealthSettings current;  // the tick's copy
    Channel channels[kChannelCount];
    std::map<std::string, uint64_t> gateCounts;  // per front: refusals seen so far
    uint64_t unexpectedSeen = 0;
    std::map<std::string, Knock> refused;  // by front and peer
    std::map<int, Knock> unexpected;       // by camera number
    std::vector<FeedHealthEvent> out;
};

}  // namespace zamri
