// Fuzz target: one connection's bytes as the framed TCP server takes them, in pieces of any
// size: first the opening reply, then frames. The first byte seeds the sizes of the pieces.
// Properties: the connection is admitted exactly when its first four bytes are the right
// reply; the frames handed on are exactly those the wire format cuts from the whole stream,
// in order; a header announcing more than a frame can hold ends the connection there.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tcp/tcp_server.h"
#include "tcp/wire_protocol.h"

using namespace zamri;

namespace {

struct Frame {
    int type;
    int length;
    std::string payload;
    bool operator==(const Frame& other) const {
        return type == other.type && length == other.length && payload == other.payload;
    }
};

constexpr int kReadable = kFrameBufferSize - 1 - kFrameHeaderSize;

class Recorder : public TcpServer {
  public:
    void OnFrame(FrameBuffer& frame) override {
        // Reading stops short of the buffer's last byte, so a frame of the largest size shows
        // all of its payload but that byte.
        int readable = frame.PayloadLength() < kReadable ? frame.PayloadLength() : kReadable;
        std::string payload(static_cast<size_t>(readable), '\0');
        if (frame.Read(&payload[0], readable) != readable)
            std::abort();
        frames.push_back(Frame{frame.FrameType(), frame.PayloadLength(), payload});
    }
    std::vector<Frame> frames;
};

// The wire format read straight off the whole stream.
std::vector<Frame> Reference(const uint8_t* data, size_t size, bool* broken) {
    std::vector<Frame> frames;
    *broken = false;
    size_t at = 0;
    while (size - at >= static_cast<size_t>(kFrameHeaderSize)) {
        size_t total = GetUInt16(data + at) + static_cast<size_t>(kFrameHeaderSize);
        if (total > static_cast<size_t>(kFrameBufferSize)) {
            *broken = true;
            break;
        }
        if (size - at < total)
            break;
        size_t length = total - kFrameHeaderSize;
        size_t readable = length < static_cast<size_t>(kReadable) ? length : static_cast<size_t>(kReadable);
        frames.push_back(
            Frame{GetUInt16(data + at + 2), static_cast<int>(length),
                  std::string(reinterpret_cast<const char*>(data + at + kFrameHeaderSize), readable)});
        at += total;
    }
    return frames;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    uint32_t seed = data[0] * 2654435761u + 1;
    auto nextPiece = [&seed](size_t left) {
        seed = seed * 1103515245u + 12345u;
        size_t piece = 1 + (seed >> 16) % 700;
        return piece < left ? piece : left;
    };
    const uint8_t* stream = data + 1;
    size_t length = size - 1;

    // The opening reply.
    unsigned char reply[4];
    int have = 0;
    int verdict = -1;
    size_t at = 0;
    while (verdict < 0 && at < length) {
        int used = 0;
        verdict =
            TakeOpeningReply(reply, &have, stream + at, static_cast<int>(nextPiece(length - at)), &used);
        at += static_cast<size_t>(used);
    }
    bool right = length >= 4 && GetInt32(stream) == OpeningReply(kOpeningChallenge);
    if ((verdict == 1) != right || (length >= 4) != (verdict >= 0))
        std::abort();
    if (verdict != 1)
        return 0;

    // The frames, received piece by piece into the connection's buffer.
    Recorder server;
    ClientBuffer buffer;
    bool broken = false;
    while (at < length && !broken) {
        size_t room = static_cast<size_t>(kFrameBufferSize - buffer.used);
        if (room == 0)
            break;  // the server ends such a connection: nothing more could come through
        size_t piece = nextPiece(length - at);
        if (piece > room)
            piece = room;
        std::memcpy(buffer.data + buffer.used, stream + at, piece);
        buffer.used += static_cast<int>(piece);
        at += piece;
        broken = server.DeliverFrames(buffer) == TcpServer::kReceiveBroken;
    }
    bool expectBroken = false;
    std::vector<Frame> expected = Reference(stream + 4, length - 4, &expectBroken);
    if (server.frames.size() != expected.size() || !(server.frames == expected) || broken != expectBroken)
        std::abort();
    return 0;
}
