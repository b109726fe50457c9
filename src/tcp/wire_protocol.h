// The TCP wire format shared by the server and every sender: little-endian integers, the
// opening exchange and the frame header. docs/tcp-protocol.md describes it for
// till software.
#pragma once

#include <cstdint>

namespace zamri {

constexpr int kFrameBufferSize = 16384;  // a connection's receive buffer, and the largest frame
constexpr int kFrameHeaderSize = 4;      // payload length (u16), frame type (u16)
constexpr int kMaxFramePayload = kFrameBufferSize - kFrameHeaderSize;  // 16,380

// The opening exchange: the server sends the challenge, the client answers with
// OpeningReply(challenge), the server sends the verdict (1 accepted, 0 refused).
constexpr int32_t kOpeningChallenge = 0x2A6B3C4D;
constexpr uint32_t kOpeningReplyFactor = 69069u;
constexpr uint32_t kOpeningReplyOffset = 1013904223u;
constexpr int32_t kVerdictAccepted = 1;
constexpr int32_t kVerdictRefused = 0;

// challenge * challenge * factor + offset, in 32-bit two's-complement arithmetic.
int32_t OpeningReply(int32_t challenge);

// The server's side of the reply as its bytes come in, in pieces of any size: takes at most
// the bytes the reply still lacks from bytes (n of them) into reply (4 bytes, *have of them
// filled) and tells how many it took in *used. 1 once the whole reply is in and right, 0 once
// it is in and wrong, -1 while bytes are missing.
int TakeOpeningReply(unsigned char* reply, int* have, const unsigned char* bytes, int n, int* used);

void PutUInt16(unsigned char* out, uint16_t value);
void PutInt32(unsigned char* out, int32_t value);
uint16_t GetUInt16(const unsigned char* in);
int32_t GetInt32(const unsigned char* in);

// Writes one frame (header and payload) into out; returns its total size, or -1 when the
// payload is longer than kMaxFramePayload or out is too small.
int EncodeFrame(uint16_t type, const void* payload, int payloadLength, unsigned char* out, int outSize);
// A type 100 frame: the camera (counted from 1) and the line's bytes, end characters included.
int EncodeTextLineFrame(int32_t camera, const char* text, int textLength, unsigned char* out, int outSize);

}  // namespace zamri

// The frame type that carries one printed line.
constexpr uint16_t FRAME_TEXT_LINE = 100;
