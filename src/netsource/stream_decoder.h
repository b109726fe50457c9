// One decoded stream of a network source. The network thread pushes the bytes as they come;
// the line decoder pulls them on a thread of its own, because it reads a command to its end
// even when the command's bytes arrive in several pieces, and a network thread never waits on
// one peer. Lines go to the channel's output from that thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <thread>
#include <vector>

#include "codepage/hebrew_setting.h"
#include "platform/work_queue.h"
#include "serial/decoding_options.h"
#include "serial/line_decoder.h"

// Where a network channel's lines go; called from several decoder threads at once.
class LineOutput {
  public:
    virtual ~LineOutput() = default;
    virtual void Deliver(const char* text, int flags) = 0;
};

struct DecoderSettings {
    int emulation = 0;
    int patternFlags = 0;
    char patternText[kPatternTextSize] = {};
    char recorderSettings[zamri::kMaxPath] = {};  // for the Hebrew setting; empty: none
    DecodingOptions decoding;                     // code page, idle end, cut end, as for a serial port
    int recorderPage = 1252;                      // the Windows page the recorder shows
};

// What the streams of one channel hold together: their undecoded bytes, which the channel's
// sources keep under a bound by not reading (TCP then holds the senders), and how many streams
// (each a thread) there are. The high-water marks show that both stay bounded.
class ChannelBacklog {
  public:
    // A source that can be held stops reading at kPauseBytes and reads again below kResumeBytes.
    static constexpr size_t kPauseBytes = 1 << 20;
    static constexpr size_t kResumeBytes = 256 << 10;

    // wake is called from decoder threads: once the bytes fell below kResumeBytes after
    // WantRoom, and whenever a stream has ended.
    explicit ChannelBacklog(std::function<void()> wake) : wake(std::move(wake)) {}
    ChannelBacklog(const ChannelBacklog&) = delete;
    ChannelBacklog& operator=(const ChannelBacklog&) = delete;

    size_t Bytes() const { return bytes.load(); }
    size_t PeakBytes() const { return peakBytes.load(); }
    int Streams() const { return streams.load(); }
    int PeakStreams() const { return peakStreams.load(); }
    bool Full() const { return Bytes() >= kPauseBytes; }
    bool HasRoomAgain() const { return Bytes() < kResumeBytes; }
    // A source stops reading because the backlog is full: true, and wake follows once there is
    // room again; false when there is room already (the source need not stop).
    bool WantRoom();

  private:
    friend class StreamDecoder;
    void Added(size_t count);
    void Taken(size_t count);
    void StreamMade();
    void StreamGone();
    void Wake() { wake(); }

    std::function<void()> wake;
    std::atomic<size_t> bytes{0};
    std::atomic<size_t> peakBytes{0};
    std::atomic<int> streams{0};
    std::atomic<int> peakStreams{0};
    std::atomic<bool> roomWanted{false};
};

class StreamDecoder {
  public:
    // Pieces of at least this size are not joined; the callers bound the bytes (ChannelBacklog,
    // the taps' limits), so the queue's bound on pieces is never what holds them.
    static constexpr size_t kJoinBytes = 4096;
    static constexpr size_t kQueueChunks = 1 << 16;

    // The stream counts its bytes and itself in the channel's backlog, which must outlive it.
    StreamDecoder(const DecoderSettings& settings, LineOutput& output, ChannelBacklog& backlog);
    ~StreamDecoder();  // aborts and joins
    StreamDecoder(const StreamDecoder&) = delete;
    StreamDecoder& operator=(const StreamDecoder&) = delete;

    // Starts the thread; false when it could not be made.
    bool Start();
    // Appends bytes. Returns the bytes of this stream now waiting to be decoded.
    size_t Push(const unsigned char* data, size_t count);
    size_t Waiting() const { return waiting.load(); }
    // What comes next does not go on with what came before (a reconnect): the line and any
    // command being read are dropped.
    void Interrupt();
    // No more bytes: what is queued is decoded, a line still open is delivered as if it had
    // ended with LF, and the thread ends.
    void Finish();
    // Ends at once: what is queued is dropped and nothing more is delivered.
    void Abort();
    bool Ended() const { return ended.load(); }

  private:
    struct Chunk {
        std::vector<unsigned char> bytes;
        bool interruptBefore = false;
    };

    static int NextOf(void* context) { return static_cast<StreamDecoder*>(context)->Next(); }
    int Next();
    void Main();

    LineDecoder decoder;
    HebrewSetting hebrew;
    LineOutput& output;
    ChannelBacklog& backlog;

    zamri::WorkQueue<Chunk> queue;
    std::atomic<bool> aborted{false};
    std::atomic<bool> interruptPending{false};  // marks the next chunk

    // The decoder thread's current chunk.
    Chunk current;
    size_t position = 0;
    bool interruptNext = false;

    std::atomic<size_t> waiting{0};
    std::atomic<bool> ended{false};
    std::thread thread;
};
