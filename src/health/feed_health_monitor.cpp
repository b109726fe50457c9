#include "health/feed_health_monitor.h"

#include <algorithm>

namespace zamri {

namespace {

constexpr int64_t kDayMilliseconds = 24LL * 60 * 60 * 1000;

std::string Minutes(int64_t milliseconds) {
    int64_t minutes = milliseconds / 60000;
    return std::to_string(minutes) + (minutes == 1 ? " minute" : " minutes");
}

}  // namespace

FeedHealthMonitor::FeedHealthMonitor(LineClock* clock)
    : clock(clock != nullptr ? clock : &SystemLineClock()) {
    for (std::atomic<int64_t>& last : lastLine)
        last = 0;
}

void FeedHealthMonitor::SetSettings(const FeedHealthSettings& next) {
    std::lock_guard<std::mutex> guard(settingsLock);
    settings = next;
}

void FeedHealthMonitor::Accept(const DeliveredLine& line) {
    if (line.kind != DeliveredKind::Line || line.camera < 1 || line.camera > kChannelCount)
        return;
    lastLine[line.camera - 1].store(line.utcMilliseconds, std::memory_order_relaxed);
    LastSource& last = lastSource[line.camera - 1];
    std::lock_guard<std::mutex> guard(last.lock);
    if (last.source != line.source)
        last.source = line.source;
}

void FeedHealthMonitor::Emit(int camera, const std::string& source, const char* kind, bool ending,
                             std::string detail, int64_t now) {
    FeedHealthEvent event;
    event.utcMilliseconds = now;
    event.utcOffsetMinutes = clock->UtcOffsetMinutes(now);
    event.camera = camera;
    event.source = source;
    event.kind = kind;
    event.ending = ending;
    event.detail = std::move(detail);
    out.push_back(std::move(event));
}

std::vector<FeedHealthEvent> FeedHealthMonitor::Tick(const FeedSample& sample) {
    {
        std::lock_guard<std::mutex> guard(settingsLock);
        current = settings;
    }
    int64_t now = clock->UtcMilliseconds();
    out.clear();
    for (int i = 0; i < kChannelCount; ++i) {
        FeedChannelSample in = sample.channels[i];
        if (sample.camerasWatchedOnceSent && lastLine[i].load(std::memory_order_relaxed) > 0) {
            in.watched = true;
            std::lock_guard<std::mutex> guard(lastSource[i].lock);
            in.source = lastSource[i].source;
        }
        Channel& c = channels[i];
        if (in.watched && !c.watched)
            c.watchedSince = now;
        c.watched = in.watched;
        TickPort(i + 1, in, c, now);
        TickErrors(i + 1, in, c, now);
        TickSilent(i + 1, in, c, now);
    }
    TickKnocks(sample, now);
    return std::move(out);
}

void FeedHealthMonitor::TickPort(int camera, const FeedChannelSample& in, Channel& c, int64_t now) {
    bool down = in.watched && in.portFailingMilliseconds >= kPortFailingMilliseconds;
    bool up = !in.watched || in.portFailingMilliseconds < 0;
    if (down && !c.portDown) {
        c.portDown = true;
        Emit(camera, in.source, kHealthPort, false,
             in.portNotOpened
                 ? "the port cannot be opened (no such port, in use by another program, or no "
                   "permission); the channel captures once it is started again and the port opens"
                 : "the port fails (unplugged or switched off?); capture opens it again once a second",
             now);
    } else if (up && c.portDown) {
        c.portDown = false;
        Emit(camera, in.source, kHealthPort, true,
             in.watched ? "the port works again" : "the channel was stopped", now);
    }
}

void FeedHealthMonitor::TickErrors(int camera, const FeedChannelSample& in, Channel& c, int64_t now) {
    if (!in.watched || (!c.errorCounts.empty() && in.lineErrors < c.errorCounts.back().second))
        c.errorCounts.clear();  // a new port counts from 0
    uint64_t inMinute = 0;
    if (in.watched) {
        c.errorCounts.emplace_back(now, in.lineErrors);
        // The oldest sample kept is the last one at least a minute old, so the span is a minute.
        while (c.errorCounts.size() > 1 && now - c.errorCounts[1].first >= kMinuteMilliseconds)
            c.errorCounts.pop_front();
        inMinute = in.lineErrors - c.errorCounts.front().second;
    }
    uint64_t threshold = static_cast<uint64_t>(current.lineErrorsPerMinute);
    if (inMinute > threshold) {
        c.lastHighErrors = now;
        if (!c.errorsHigh) {
            c.errorsHigh = true;
            Emit(camera, in.source, kHealthLineErrors, false,
                 std::to_string(inMinute) + " framing and parity errors within a minute (more than " +
                     std::to_string(threshold) +
                     "): the line settings are probably wrong, or the cable is bad",
                 now);
        }
    } else if (c.errorsHigh && (!in.watched || now - c.lastHighErrors >= kQuietMilliseconds)) {
        c.errorsHigh = false;
        Emit(camera, in.source, kHealthLineErrors, true,
             in.watched ? "no more than " + std::to_string(threshold) + " errors a minute for " +
                              Minutes(kQuietMilliseconds)
                        : std::string("the channel was stopped"),
             now);
    }
}

int64_t FeedHealthMonitor::OpeningStart(int64_t now) const {
    if (current.openMinute == current.closeMinute)
        return 0;
    int64_t offset = static_cast<int64_t>(clock->UtcOffsetMinutes(now)) * 60000;
    int64_t local = now + offset;
    int64_t intoDay = ((local % kDayMilliseconds) + kDayMilliseconds) % kDayMilliseconds;
    if (!WithinOpeningHours(current, static_cast<int>(intoDay / 60000)))
        return -1;
    int64_t open = local - intoDay + static_cast<int64_t>(current.openMinute) * 60000;
    if (open > local)
        open -= kDayMilliseconds;  // hours that began before midnight
    return open - offset;
}

void FeedHealthMonitor::TickSilent(int camera, const FeedChannelSample& in, Channel& c, int64_t now) {
    int64_t last = lastLine[camera - 1].load(std::memory_order_relaxed);
    if (c.silent) {
        if (last > c.silentSince || !in.watched) {
            c.silent = false;
            Emit(camera, in.source, kHealthSilent, true,
                 in.watched ? "lines arrive again" : "the channel is no longer watched", now);
        }
        return;
    }
    if (!in.watched || current.silentMinutes <= 0)
        return;
    int64_t opening = OpeningStart(now);
    if (opening < 0)
        return;
    // Silence counts from the last line, the channel's start, or the opening, whichever is last.
    int64_t from = std::max({last, c.watchedSince, opening});
    int64_t limit = static_cast<int64_t>(current.silentMinutes) * 60000;
    if (now - from >= limit) {
        c.silent = true;
        c.silentSince = now;
        Emit(camera, in.source, kHealthSilent, false,
             "nothing received for " + Minutes(now - from) + " within the opening hours", now);
    }
}

void FeedHealthMonitor::KnockRefused(const std::string& front, const std::string& peer, int64_t now) {
    std::string key = front + "\n" + peer;
    auto found = refused.find(key);
    if (found != refused.end()) {
        found->second.last = now;
    } else if (refused.size() < kMaxActive) {
        refused[key] = Knock{0, peer, now};
        Emit(0, peer, kHealthRefusedSender, false,
             front + " refused " + peer + ": not an allowed sender, or no room for it (see the error output)",
             now);
    }
}

void FeedHealthMonitor::TickKnocks(const FeedSample& sample, int64_t now) {
    for (const FeedGateSample& gate : sample.gates) {
        uint64_t& seen = gateCounts[gate.front];
        // A smaller count is a door made anew (capture restarted), which counts from 0.
        uint64_t before = gate.refused < seen ? 0 : seen;
        seen = gate.refused;
        if (gate.refused <= before)
            continue;
        std::vector<FeedRefusal> since;
        for (const FeedRefusal& refusal : gate.recent) {
            if (refusal.count > before && !refusal.peer.empty())
                since.push_back(refusal);
        }
        std::sort(since.begin(), since.end(),
                  [](const FeedRefusal& a, const FeedRefusal& b) { return a.count < b.count; });
        if (since.empty() && !gate.lastPeer.empty())
            since.push_back({gate.lastPeer, gate.refused});
        for (const FeedRefusal& refusal : since)
            KnockRefused(gate.front, refusal.peer, now);
    }
    if (sample.unexpectedFrames > unexpectedSeen) {
        int camera = sample.lastUnexpectedCamera;
        auto found = unexpected.find(camera);
        if (found != unexpected.end()) {
            found->second.last = now;
            found->second.source = sample.lastUnexpectedPeer;
        } else if (unexpected.size() < kMaxActive) {
            unexpected[camera] = Knock{camera, sample.lastUnexpectedPeer, now};
            Emit(0, sample.lastUnexpectedPeer, kHealthUnexpectedCamera, false,
                 "frames for camera " + std::to_string(camera) +
                     ", which no channel has (cameras 1 to 32): its lines are dropped; check the sender's "
                     "camera numbers",
                 now);
        }
    }
    unexpectedSeen = sample.unexpectedFrames;
    for (auto it = refused.begin(); it != refused.end();) {
        if (now - it->second.last < kQuietMilliseconds) {
            ++it;
            continue;
        }
        Emit(0, it->second.source, kHealthRefusedSender, true,
             "no attempt from " + it->second.source + " for " + Minutes(kQuietMilliseconds), now);
        it = refused.erase(it);
    }
    for (auto it = unexpected.begin(); it != unexpected.end();) {
        if (now - it->second.last < kQuietMilliseconds) {
            ++it;
            continue;
        }
        Emit(0, it->second.source, kHealthUnexpectedCamera, true,
             "no frame for camera " + std::to_string(it->first) + " for " + Minutes(kQuietMilliseconds), now);
        it = unexpected.erase(it);
    }
}

}  // namespace zamri
