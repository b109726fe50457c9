#include "tcp/wire_protocol.h"

#include <cstring>

namespace zamri {

int32_t OpeningReply(int32_t challenge) {
    // Unsigned arithmetic wraps by definition, which is the two's-complement result.
    uint32_t c = static_cast<uint32_t>(challenge);
    return static_cast<int32_t>(c * c * kOpeningReplyFactor + kOpeningReplyOffset);
}

int TakeOpeningReply(unsigned char* reply, int* have, const unsigned char* bytes, int n, int* used) {
    int take = 4 - *have;
    if (take > n)
        take = n;
    if (take < 0)
        take = 0;
    if (take > 0)
        std::memcpy(reply + *have, bytes, static_cast<size_t>(take));
    *have += take;
    *used = take;
    if (*have < 4)
        return -1;
    return GetInt32(reply) == OpeningReply(kOpeningChallenge) ? 1 : 0;
}

void PutUInt16(unsigned char* out, uint16_t value) {
    out[0] = static_cast<unsigned char>(value & 0xFF);
    out[1] = static_cast<unsigned char>(value >> 8);
}

void PutInt32(unsigned char* out, int32_t value) {
    uint32_t v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<unsigned char>(v >> (8 * i));
}

uint16_t GetUInt16(const unsigned char* in) {
    return static_cast<uint16_t>(in[0] | (in[1] << 8));
}

int32_t GetInt32(const unsigned char* in) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | in[i];
    return static_cast<int32_t>(v);
}

int EncodeFrame(uint16_t type, const void* payload, int payloadLength, unsigned char* out, int outSize) {
    if (payloadLength < 0 || payloadLength > kMaxFramePayload)
        return -1;
    if (out == nullptr || outSize < kFrameHeaderSize + payloadLength)
        return -1;
    PutUInt16(out, static_cast<uint16_t>(payloadLength));
    PutUInt16(out + 2, type);
    if (payloadLength > 0)
        std::memcpy(out + kFrameHeaderSize, payload, static_cast<size_t>(payloadLength));
    return kFrameHeaderSize + payloadLength;
}

int EncodeTextLineFrame(int32_t camera, const char* text, int textLength, unsigned char* out, int outSize) {
    if (textLength < 0 || textLength > kMaxFramePayload - 4)
        return -1;
    if (out == nullptr || outSize < kFrameHeaderSize + 4 + textLength)
        return -1;
    PutUInt16(out, static_cast<uint16_t>(4 + textLength));
    PutUInt16(out + 2, FRAME_TEXT_LINE);
    PutInt32(out + kFrameHeaderSize, camera);
    if (textLength > 0)
        std::memcpy(out + kFrameHeaderSize + 4, text, static_cast<size_t>(textLength));
    return kFrameHeaderSize + 4 + textLength;
}

}  // namespace zamri
