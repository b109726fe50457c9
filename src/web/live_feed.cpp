#include "web/live_feed.h"

#include <utility>

#include "web/web_text.h"

namespace zamri {

int64_t LocalDay(int64_t utcMs, int32_t utcOffsetMinutes) {
    int64_t localMs = utcMs + static_cast<int64_t>(utcOffsetMinutes) * 60000;
    int64_t day = localMs / 86400000;
    return localMs < 0 && localMs % 86400000 != 0 ? day - 1 : day;
}

void AppendLineEvent(std::string& out, const LiveLine& line) {
    out += "id: ";
    out += std::to_string(line.seq);
    out += "\nevent: line\ndata: {\"seq\":";
    out += std::to_string(line.seq);
    out += ",\"t\":";
    out += std::to_string(line.utcMs);
    out += ",\"off\":";
    out += std::to_string(line.utcOffsetMinutes);
    out += ",\"cam\":";
    out += std::to_string(line.camera);
    out += ",\"flags\":";
    out += std::to_string(line.flags);
    out += ",\"receipt\":";
    out += std::to_string(line.receipt);
    out += ",\"src\":";
    AppendJsonString(out, line.source);
    out += ",\"text\":";
    AppendJsonString(out, line.text);
    if (!line.exception.empty()) {
        out += ",\"exception\":";
        AppendJsonString(out, line.exception);
    }
    out += "}\n\n";
}

LiveFeed::LiveFeed(size_t capacity) : ring_(capacity == 0 ? 1 : capacity) {}

void LiveFeed::Publish(LiveLine line) {
    std::string event;
    event.reserve(line.text.size() + line.source.size() + 160);
    {
        std::lock_guard<std::mutex> guard(lock_);
        line.seq = next_++;
        // Formatted under the lock only because the number is given here; the browsers' thread
        // then copies finished text.
        AppendLineEvent(event, line);
        if (line.camera >= 1 && line.camera <= kLiveCameraCount && line.exception.empty()) {
            LiveCamera& camera = cameras_[line.camera - 1];
            int64_t day = LocalDay(line.utcMs, line.utcOffsetMinutes);
            if (day != camera.day) {
                camera.day = day;
                camera.linesToday = 0;
            }
            ++camera.linesToday;
            ++camera.linesTotal;
            camera.lastLineMs = line.utcMs;
            if (camera.source != line.source)
                camera.source = line.source;
        }
        Slot& slot = ring_[line.seq % ring_.size()];
        slot.seq = line.seq;
        slot.event.swap(event);
        if (listener_)
            listener_();
    }
}

void LiveFeed::NoteLost(uint64_t count) {
    if (count == 0)
        return;
    std::lock_guard<std::mutex> guard(lock_);
    next_ += count;
    if (listener_)
        listener_();
}

uint64_t LiveFeed::ReadEvents(uint64_t from, size_t maxLines, size_t maxBytes, std::string& out,
                              uint64_t* next) const {
    std::lock_guard<std::mutex> guard(lock_);
    uint64_t skipped = 0;
    if (from == 0)
        from = 1;
    uint64_t oldest = next_ > ring_.size() ? next_ - ring_.size() : 1;
    if (from < oldest) {
        skipped += oldest - from;
        from = oldest;
    }
    size_t copied = 0, bytes = 0;
    uint64_t seq = from;
    for (; seq < next_ && copied < maxLines; ++seq) {
        const Slot& slot = ring_[seq % ring_.size()];
        if (slot.seq != seq) {
            ++skipped;  // a gap: lost before it reached the feed
            continue;
        }
        if (copied > 0 && bytes + slot.event.size() > maxBytes)
            break;
        out += slot.event;
        bytes += slot.event.size();
        ++copied;
    }
    *next = seq;
    return skipped;
}

uint64_t LiveFeed::NextSeq() const {
    std::lock_guard<std::mutex> guard(lock_);
    return next_;
}

LiveCamera LiveFeed::Camera(int camera, int64_t nowUtcMs, int32_t utcOffsetMinutes) const {
    if (camera < 1 || camera > kLiveCameraCount)
        return LiveCamera{};
    std::lock_guard<std::mutex> guard(lock_);
    LiveCamera copy = cameras_[camera - 1];
    if (copy.day != LocalDay(nowUtcMs, utcOffsetMinutes))
        copy.linesToday = 0;
    return copy;
}

void LiveFeed::SetListener(std::function<void()> listener) {
    std::lock_guard<std::mutex> guard(lock_);
    listener_ = std::move(listener);
}

}  // namespace zamri
