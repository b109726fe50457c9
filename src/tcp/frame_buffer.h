// One received frame: the header in bytes 0 to 3, the payload from byte 4, and a read cursor
// over the payload.
#pragma once

#include <cstdint>

#include "tcp/wire_protocol.h"

class FrameBuffer {
  public:
    FrameBuffer();
    virtual ~FrameBuffer();

    // All data bytes read 0 afterwards; the read cursor is back at the first payload byte.
    void Reset();
    // Reset, then copies n bytes (cut to the buffer's size) to the start.
    void Load(const void* bytes, int n);

    int PayloadLength() const;
    int FrameType() const;
    int TotalSize() const { return PayloadLength() + zamri::kFrameHeaderSize; }
    // Whether the first frame has arrived whole; bytes beyond it do not matter.
    bool IsComplete() const { return received >= TotalSize(); }

    // Copies n payload bytes from the cursor and advances it; returns n, or -1 (copying
    // nothing) when that would pass the end of the payload or data position 16,383. n is taken
    // as unsigned, so a negative n fails.
    int Read(void* destination, int n);
    int ReadInt32(int32_t* destination);

    int ReadCursor() const { return readCursor; }

  private:
    unsigned char data[zamri::kFrameBufferSize];
    int readCursor = zamri::kFrameHeaderSize;
    int received = 0;
    // Bytes that may be non-zero: Reset clears only these, so reloading a short frame costs
    // its own size rather than the whole buffer.
    int dirty = 0;
};
