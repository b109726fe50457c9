#include "netsource/stream_decoder.h"

#include <chrono>
#include <system_error>

#include "serial/hebrew_shift.h"

bool ChannelBacklog::WantRoom() {
    // Set before the look, and cleared by the decoder after its subtraction: one of the two sees
    // the other, so the wake cannot be missed.
    roomWanted = true;
    return !HasRoomAgain();
}

void ChannelBacklog::Added(size_t count) {
    size_t now = bytes.fetch_add(count) + count;
    size_t peak = peakBytes.load();
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
    }
}

void ChannelBacklog::Taken(size_t count) {
    if (count == 0)
        return;
    size_t left = bytes.fetch_sub(count) - count;
    if (left < kResumeBytes && roomWanted.exchange(false))
        wake();
}

void ChannelBacklog::StreamMade() {
    int now = ++streams;
    int peak = peakStreams.load();
    while (now > peak && !peakStreams.compare_exchange_weak(peak, now)) {
    }
}

void ChannelBacklog::StreamGone() {
    --streams;
}

StreamDecoder::StreamDecoder(const DecoderSettings& settings, LineOutput& out, ChannelBacklog& shared)
    : output(out), backlog(shared) {
    backlog.StreamMade();
    decoder.SetEmulation(settings.emulation);
    decoder.SetPattern(settings.patternFlags, settings.patternText);
    hebrew.SetPath(settings.recorderSettings);
    // A page that cannot be used was reported once when the channel started (the emulation's
    // default applies then).
    char problem[256];
    ApplyDecodingOptions(decoder, settings.decoding, settings.recorderPage, "", problem, sizeof problem);
}

StreamDecoder::~StreamDecoder() {
    Abort();
    if (thread.joinable())
        thread.join();
    backlog.Taken(waiting.exchange(0));
    backlog.StreamGone();
}

bool StreamDecoder::Start() {
    try {
        thread = std::thread(&StreamDecoder::Main, this);
    } catch (const std::system_error&) {
        ended = true;
        return false;
    }
    return true;
}

size_t StreamDecoder::Push(const unsigned char* data, size_t count) {
    if (count == 0)
        return waiting.load();
    {
        std::lock_guard<std::mutex> guard(lock);
        if (finished || aborted)
            return waiting.load();
        // Small pieces join the last chunk, so a trickle does not cost a chunk per byte.
        if (!queue.empty() && !interruptPending && queue.back().bytes.size() < 4096) {
            queue.back().bytes.insert(queue.back().bytes.end(), data, data + count);
        } else {
            Chunk chunk;
            chunk.bytes.assign(data, data + count);
            chunk.interruptBefore = interruptPending;
            interruptPending = false;
            queue.push_back(std::move(chunk));
        }
        waiting += count;
        backlog.Added(count);
    }
    arrived.notify_one();
    return waiting.load();
}

void StreamDecoder::Interrupt() {
    std::lock_guard<std::mutex> guard(lock);
    interruptPending = true;
}

void StreamDecoder::Finish() {
    {
        std::lock_guard<std::mutex> guard(lock);
        finished = true;
    }
    arrived.notify_one();
}

void StreamDecoder::Abort() {
    size_t dropped = 0;
    {
        std::lock_guard<std::mutex> guard(lock);
        aborted = true;
        for (const Chunk& chunk : queue)
            dropped += chunk.bytes.size();
        queue.clear();
        waiting -= dropped;
    }
    backlog.Taken(dropped);
    arrived.notify_one();
}

int StreamDecoder::Next() {
    if (interruptNext) {
        interruptNext = false;
        return kSourceInterrupted;
    }
    if (position < current.bytes.size()) {
        unsigned char byte = current.bytes[position++];
        return ApplyHebrewShift(byte, hebrew.Current());
    }
    size_t consumed = current.bytes.size();
    current.bytes.clear();
    position = 0;
    if (consumed > 0) {
        waiting -= consumed;
        backlog.Taken(consumed);  // may wake the network thread: outside the lock
    }
    std::unique_lock<std::mutex> guard(lock);
    auto due = [this] { return aborted || finished || !queue.empty(); };
    int quiet = decoder.QuietReportMilliseconds();
    if (quiet <= 0) {
        arrived.wait(guard, due);
    } else if (!arrived.wait_for(guard, std::chrono::milliseconds(quiet), due)) {
        return kNothingCame;  // quiet: the decoder sees an idle end of the receipt
    }
    if (aborted || queue.empty())
        return kSourceStopped;
    current = std::move(queue.front());
    queue.pop_front();
    guard.unlock();
    if (current.interruptBefore) {
        current.interruptBefore = false;
        return kSourceInterrupted;
    }
    return Next();
}

void StreamDecoder::Main() {
    ByteSource source{&StreamDecoder::NextOf, this};
    const char* text;
    int flags;
    while (decoder.ReadLine(source, &text, &flags) >= 0)
        output.Deliver(text, flags);
    bool deliverOpenLine;
    {
        std::lock_guard<std::mutex> guard(lock);
        deliverOpenLine = !aborted && decoder.lineLength > 0;
    }
    if (deliverOpenLine) {
        // The connection closed in the middle of a line: it ends here, as an LF would end it.
        static const unsigned char kLineFeed = 0x0A;
        MemoryByteSource end(&kLineFeed, 1);
        ByteSource endSource = end.Source();
        if (decoder.ReadLine(endSource, &text, &flags) >= 0)
            output.Deliver(text, flags);
    }
    ended = true;
    backlog.Wake();
}
