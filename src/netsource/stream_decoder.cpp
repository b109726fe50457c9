#include "netsource/stream_decoder.h"
#include "platform/os.h"

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
    : output(out), backlog(shared), queue(kQueueChunks, zamri::WhenFull::kDropAndCount) {
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
    bool interrupt = interruptPending.exchange(false);
    // Counted before the decoder can take them, which subtracts them again.
    waiting += count;
    backlog.Added(count);
    // Small pieces join the last chunk, so a trickle does not cost a chunk per byte.
    bool queued = queue.PushOrJoin(
        [&](Chunk& newest) {
            if (interrupt || newest.bytes.size() >= kJoinBytes)
                return false;
            newest.bytes.insert(newest.bytes.end(), data, data + count);
            return true;
        },
        [&] {
            Chunk chunk;
            chunk.bytes.assign(data, data + count);
            chunk.interruptBefore = interrupt;
            return chunk;
        });
    if (!queued) {
        waiting -= count;
        backlog.Taken(count);
        // Finished or aborted; else a piece that found no room: what follows does not go on
        // with what came before it.
        interruptPending = true;
    }
    return waiting.load();
}

void StreamDecoder::Interrupt() {
    interruptPending = true;
}

void StreamDecoder::Finish() {
    queue.Close();
}

void StreamDecoder::Abort() {
    aborted = true;
    size_t dropped = 0;
    queue.Clear([&dropped](Chunk& chunk) { dropped += chunk.bytes.size(); });
    queue.Stop();
    waiting -= dropped;
    backlog.Taken(dropped);
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
    int quiet = decoder.QuietReportMilliseconds();
    zamri::WorkQueue<Chunk>::Popped popped = queue.Pop(&current, quiet > 0 ? quiet : -1);
    if (popped == zamri::WorkQueue<Chunk>::Popped::kTimedOut)
        return kNothingCame;  // quiet: the decoder sees an idle end of the receipt
    if (popped == zamri::WorkQueue<Chunk>::Popped::kEnded)
        return kSourceStopped;
    if (aborted.load()) {
        waiting -= current.bytes.size();
        backlog.Taken(current.bytes.size());
        current.bytes.clear();
        return kSourceStopped;
    }
    if (current.interruptBefore) {
        current.interruptBefore = false;
        return kSourceInterrupted;
    }
    return Next();
}

void StreamDecoder::Main() {
    zamri::MarkThreadAsBackgroundWorker();  // woken by the network thread, as the TCP worker is
    ByteSource source{&StreamDecoder::NextOf, this};
    const char* text;
    int flags;
    while (decoder.ReadLine(source, &text, &flags) >= 0)
        output.Deliver(text, flags);
    if (!aborted.load() && decoder.lineLength > 0) {
        // The connection closed in the middle of a line: it ends here, as an LF would end it, and
        // a drawer fired inside it comes out after it.
        static const unsigned char kLineFeed = 0x0A;
        MemoryByteSource end(&kLineFeed, 1);
        ByteSource endSource = end.Source();
        while (decoder.ReadLine(endSource, &text, &flags) >= 0)
            output.Deliver(text, flags);
    }
    ended = true;
    backlog.Wake();
}
