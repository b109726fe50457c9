// Where the printer-stream decoder takes its bytes from: the serial port, a dump file, memory.
// The decoder knows nothing else about its source, so every source shares one line loop.
#pragma once

#include <cstddef>

// Results of a byte source besides a byte value (0 to 255).
// The source paused (a failing port, a read time-out); read again. A source that is quiet should
// report this every fraction of a second: the line loop sees the idle end of a receipt then.
constexpr int kNothingCame = -1;
constexpr int kSourceStopped = -2;  // stop requested, port closed or end of data: the line loop ends
// The stream broke off and starts afresh (the port went away and was opened again): the line and
// the command being assembled are dropped rather than joined to unrelated bytes.
constexpr int kSourceInterrupted = -3;

struct ByteSource {
    int (*next)(void* context);
    void* context;
    int end = 0;  // the result that cut a command short (set by the command engine)

    int Next() { return next(context); }
};

// Bytes held in memory, with the code-page shift of the recorder's Hebrew setting applied as the
// port path applies it. The end of the data reads as a stop.
struct MemoryByteSource {
    const unsigned char* data = nullptr;
    size_t size = 0;
    size_t position = 0;
    int hebrew = 0;

    MemoryByteSource(const void* bytes, size_t count, int hebrewSetting = 0)
        : data(static_cast<const unsigned char*>(bytes)), size(count), hebrew(hebrewSetting) {}

    ByteSource Source() { return ByteSource{&MemoryByteSource::Next, this}; }
    static int Next(void* context);
};
