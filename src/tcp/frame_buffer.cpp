#include "tcp/frame_buffer.h"

#include <cstring>

using zamri::kFrameBufferSize;
using zamri::kFrameHeaderSize;

FrameBuffer::FrameBuffer() {
    std::memset(data, 0, sizeof data);
}

FrameBuffer::~FrameBuffer() = default;

void FrameBuffer::Reset() {
    std::memset(data, 0, static_cast<size_t>(dirty));
    dirty = 0;
    readCursor = kFrameHeaderSize;
    received = 0;
}

void FrameBuffer::Load(const void* bytes, int n) {
    Reset();
    if (bytes == nullptr || n <= 0)
        return;
    if (n > kFrameBufferSize)
        n = kFrameBufferSize;
    std::memcpy(data, bytes, static_cast<size_t>(n));
    dirty = n;
    received += n;
}

int FrameBuffer::PayloadLength() const {
    return zamri::GetUInt16(data);
}

int FrameBuffer::FrameType() const {
    return zamri::GetUInt16(data + 2);
}

int FrameBuffer::Read(void* destination, int n) {
    unsigned wanted = static_cast<unsigned>(n);
    unsigned end = static_cast<unsigned>(readCursor) + wanted;
    if (wanted > static_cast<unsigned>(kFrameBufferSize) ||
        end > static_cast<unsigned>(kFrameHeaderSize + PayloadLength()) ||
        end > static_cast<unsigned>(kFrameBufferSize - 1)) {
        return -1;
    }
    if (n > 0)
        std::memcpy(destination, data + readCursor, wanted);
    readCursor += n;
    return n;
}

int FrameBuffer::ReadInt32(int32_t* destination) {
    unsigned char bytes[4];
    if (Read(bytes, 4) != 4)
        return -1;
    *destination = zamri::GetInt32(bytes);
    return 4;
}
