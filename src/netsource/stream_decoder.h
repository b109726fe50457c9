// One decoded stream of a network source. The network thread pushes the bytes as they come;
// the line decoder pulls them on a thread of its own, because it reads a command to its end
// even when the command's bytes arrive in several pieces, and a network thread never waits on
// one peer. Lines go to the channel's output from that thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "serial/decoding_options.h"
#include "serial/hebrew_setting.h"
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
    DecodingOptions decoding;                     // code page and idle end, as for a serial port
    int recorderPage = 1252;                      // the Windows page the recorder shows
};

class StreamDecoder {
  public:
    // notify is called (from the decoder thread) when the stream has ended and when bytes
    // waiting fell below kResumeBytes after the network thread asked for room.
    StreamDecoder(const DecoderSettings& settings, LineOutput& output, std::function<void()> notify);
    ~StreamDecoder();  // aborts and joins
    StreamDecoder(const StreamDecoder&) = delete;
    StreamDecoder& operator=(const StreamDecoder&) = delete;

    // Starts the thread; false when it could not be made.
    bool Start();
    // Appends bytes. Returns the bytes now waiting to be decoded.
    size_t Push(const unsigned char* data, size_t count);
    size_t Waiting() const { return waiting.load(); }
    // The network thread wants to hear (through notify) once Waiting() is below kResumeBytes:
    // true, or false when that is so already (the source need not pause at all).
    bool WantRoom();
    // What comes next does not go on with what came before (a reconnect): the line and any
    // command being read are dropped.
    void Interrupt();
    // No more bytes: what is queued is decoded, a line still open is delivered as if it had
    // ended with LF, and the thread ends.
    void Finish();
    // Ends at once: what is queued is dropped and nothing more is delivered.
    void Abort();
    bool Ended() const { return ended.load(); }

    static constexpr size_t kPauseBytes = 1 << 20;  // a pausable source stops reading here
    static constexpr size_t kResumeBytes = 256 << 10;

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
    std::function<void()> notify;

    std::mutex lock;
    std::condition_variable arrived;
    std::deque<Chunk> queue;        // under lock
    bool finished = false;          // under lock
    bool aborted = false;           // under lock
    bool interruptPending = false;  // under lock: marks the next chunk

    // The decoder thread's current chunk.
    Chunk current;
    size_t position = 0;
    bool interruptNext = false;

    std::atomic<size_t> waiting{0};
    std::atomic<bool> roomWanted{false};
    std::atomic<bool> ended{false};
    std::thread thread;
};
