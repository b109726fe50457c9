// The frame format: FrameBuffer's reading rules and the cutting of frames out of a
// connection's byte stream, including long randomized streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tcp/frame_buffer.h"
#include "tcp/tcp_server.h"

using namespace zamri;

namespace {

std::string Frame(uint16_t type, const std::string& payload) {
    std::string out(kFrameHeaderSize + payload.size(), '\0');
    int size = EncodeFrame(type, payload.data(), static_cast<int>(payload.size()),
                           reinterpret_cast<unsigned char*>(&out[0]), static_cast<int>(out.size()));
    EXPECT_EQ(size, static_cast<int>(out.size()));
    return out;
}

std::string Header(int payloadLength, int type) {
    unsigned char bytes[4];
    PutUInt16(bytes, static_cast<uint16_t>(payloadLength));
    PutUInt16(bytes + 2, static_cast<uint16_t>(type));
    return std::string(reinterpret_cast<char*>(bytes), 4);
}

// Records every frame handed over, as (type, payload).
class RecordingServer : public TcpServer {
  public:
    void OnFrame(FrameBuffer& frame) override {
        // One frame yields at most kMaxFramePayload - 1 bytes through Read.
        int readable = std::min(frame.PayloadLength(), kMaxFramePayload - 1);
        std::string payload(static_cast<size_t>(readable), '\0');
        if (readable > 0) {
            EXPECT_EQ(frame.Read(&payload[0], readable), readable);
        }
        frames.emplace_back(frame.FrameType(), payload);
        lengths.push_back(frame.PayloadLength());
    }
    // Appends bytes as a receive would, then cuts; the result of DeliverFrames.
    int Feed(ClientBuffer& buffer, const std::string& bytes) {
        EXPECT_LE(buffer.used + bytes.size(), sizeof buffer.data);
        std::memcpy(buffer.data + buffer.used, bytes.data(), bytes.size());
        buffer.used += static_cast<int>(bytes.size());
        return DeliverFrames(buffer);
    }
    std::vector<std::pair<int, std::string>> frames;
    std::vector<int> lengths;
};

TEST(FrameBufferTest, CompletenessFollowsTheFirstFramesTotalSize) {
    struct Case {
        const char* name;
        std::string bytes;
        bool complete;
        int totalSize;
    };
    std::string two = Frame(100, "ABCD") + Frame(7, "xy");
    const Case cases[] = {
        {"empty payload makes a 4-byte frame", Header(0, 5), true, 4},
        {"three bytes", Header(0, 5).substr(0, 3), false, 4},  // length reads 0, received 3 < 4
        {"header and part of the payload", Header(6, 100) + "abcde", false, 10},
        {"last payload byte arrived", Header(6, 100) + "abcdef", true, 10},
        {"bytes beyond the frame do not matter", Header(2, 1) + "ab" + "garbage", true, 6},
        {"two frames loaded together describe the first", two, true, 8},
    };
    for (const Case& c : cases) {
        FrameBuffer frame;
        frame.Load(c.bytes.data(), static_cast<int>(c.bytes.size()));
        EXPECT_EQ(frame.IsComplete(), c.complete) << c.name;
        EXPECT_EQ(frame.TotalSize(), c.totalSize) << c.name;
    }
}

TEST(FrameBufferTest, ReadStaysInsideThePayload) {
    FrameBuffer frame;
    std::string bytes = Frame(100, "xy");
    frame.Load(bytes.data(), static_cast<int>(bytes.size()));
    int32_t camera = 77;
    EXPECT_EQ(frame.ReadInt32(&camera), -1);
    EXPECT_EQ(camera, 77);
    EXPECT_EQ(frame.ReadCursor(), 4);
    char two[2];
    EXPECT_EQ(frame.Read(two, -1), -1);  // a negative count is a huge unsigned one
    EXPECT_EQ(frame.Read(two, 2), 2);
    EXPECT_EQ(std::string(two, 2), "xy");
    EXPECT_EQ(frame.Read(two, 1), -1);
    EXPECT_EQ(frame.Read(two, 0), 0);
}

TEST(FrameBufferTest, ReadsLittleEndianFieldsAndResetClearsEverything) {
    FrameBuffer frame;
    std::string payload("\x21\x00\x00\x00hello\n", 10);
    std::string bytes = Frame(100, payload);
    frame.Load(bytes.data(), static_cast<int>(bytes.size()));
    EXPECT_EQ(frame.FrameType(), 100);
    EXPECT_EQ(frame.PayloadLength(), 10);
    int32_t camera = 0;
    EXPECT_EQ(frame.ReadInt32(&camera), 4);
    EXPECT_EQ(camera, 33);
    // A short load after a long one: the old bytes read as zero.
    frame.Load("\x02\x00", 2);
    EXPECT_EQ(frame.PayloadLength(), 2);
    EXPECT_EQ(frame.FrameType(), 0);
    EXPECT_FALSE(frame.IsComplete());
    char rest[2] = {1, 1};
    EXPECT_EQ(frame.Read(rest, 2), 2);
    EXPECT_EQ(rest[0], 0);
    EXPECT_EQ(rest[1], 0);
    frame.Reset();
    EXPECT_EQ(frame.PayloadLength(), 0);
    EXPECT_FALSE(frame.IsComplete());  // nothing received
}

TEST(FrameBufferTest, TheLargestPayloadReadsUpToDataPosition16383) {
    FrameBuffer frame;
    std::string bytes = Frame(100, std::string(kMaxFramePayload, 'z'));
    frame.Load(bytes.data(), static_cast<int>(bytes.size()));
    EXPECT_TRUE(frame.IsComplete());
    std::vector<char> out(kMaxFramePayload);
    EXPECT_EQ(frame.Read(out.data(), kMaxFramePayload), -1);
    EXPECT_EQ(frame.Read(out.data(), kMaxFramePayload - 1), kMaxFramePayload - 1);
}

TEST(FrameCuttingTest, ManyFramesInOneReceiveArriveInOrder) {
    RecordingServer server;
    ClientBuffer buffer;
    std::string segment;
    for (int i = 0; i < 50; ++i)
        segment += Frame(static_cast<uint16_t>(i), std::string(static_cast<size_t>(i), 'a'));
    EXPECT_EQ(server.Feed(buffer, segment), 1);
    ASSERT_EQ(server.frames.size(), 50u);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(server.frames[i].first, i);
        EXPECT_EQ(server.frames[i].second.size(), static_cast<size_t>(i));
    }
    EXPECT_EQ(buffer.used, 0);
}

TEST(FrameCuttingTest, AFrameSplitByteByByteIsHandedOverOnceWhole) {
    RecordingServer server;
    ClientBuffer buffer;
    const std::string payload("\x01\x00\x00\x00TOTAL\f\n", 11);
    std::string frame = Frame(100, payload) + Frame(3, "");
    for (size_t i = 0; i < frame.size(); ++i) {
        EXPECT_EQ(server.Feed(buffer, frame.substr(i, 1)), 1);
        size_t expected = i + 1 < 15 ? 0u : (i + 1 < 19 ? 1u : 2u);
        EXPECT_EQ(server.frames.size(), expected) << "after byte " << i;
    }
    EXPECT_EQ(server.frames[0].second, payload);
}

TEST(FrameCuttingTest, PayloadLengthsAtTheLimits) {
    for (int length : {0, 2, 4, kMaxFramePayload}) {
        RecordingServer server;
        ClientBuffer buffer;
        EXPECT_EQ(server.Feed(buffer, Frame(100, std::string(static_cast<size_t>(length), 'q'))), 1)
            << length;
        ASSERT_EQ(server.frames.size(), 1u) << length;
        EXPECT_EQ(server.lengths[0], length);
        EXPECT_EQ(buffer.used, 0);
    }
    // 16,381 payload bytes can never fit the buffer: the header alone condemns the connection.
    RecordingServer server;
    ClientBuffer buffer;
    EXPECT_EQ(server.Feed(buffer, Header(kMaxFramePayload + 1, 100)), TcpServer::kReceiveBroken);
    EXPECT_TRUE(server.frames.empty());
    // Frames ahead of such a header are still handed over.
    ClientBuffer second;
    EXPECT_EQ(server.Feed(second, Frame(1, "ok") + Header(65535, 100)), TcpServer::kReceiveBroken);
    EXPECT_EQ(server.frames.size(), 1u);
}

// Arbitrary bytes and random frame streams, cut at random points: the cutter must never read
// or write outside the buffer, and a valid stream must come out frame for frame.
TEST(FrameCuttingTest, RandomizedStreams) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 200; ++round) {
        std::vector<std::pair<int, std::string>> sent;
        std::string stream;
        int frames = 1 + static_cast<int>(random() % 60);
        for (int i = 0; i < frames; ++i) {
            size_t length = random() % 4 == 0 ? random() % (kMaxFramePayload + 1) : random() % 300;
            std::string payload(length, '\0');
            for (char& c : payload)
                c = static_cast<char>(random());
            uint16_t type = static_cast<uint16_t>(random());
            stream += Frame(type, payload);
            if (payload.size() == static_cast<size_t>(kMaxFramePayload))
                payload.pop_back();
            sent.emplace_back(type, payload);
        }
        RecordingServer server;
        ClientBuffer buffer;
        for (size_t at = 0; at < stream.size();) {
            size_t room = sizeof buffer.data - static_cast<size_t>(buffer.used);
            size_t piece = std::min<size_t>({1 + random() % 5000, stream.size() - at, room});
            ASSERT_EQ(server.Feed(buffer, stream.substr(at, piece)), 1);
            at += piece;
        }
        ASSERT_EQ(server.frames, sent) << "round " << round;
        EXPECT_EQ(buffer.used, 0);
    }
    for (int round = 0; round < 300; ++round) {
        RecordingServer server;
        ClientBuffer buffer;
        for (int piece = 0; piece < 40; ++piece) {
            std::string bytes(random() % 3000, '\0');
            for (char& c : bytes)
                c = static_cast<char>(random());
            size_t room = sizeof buffer.data - static_cast<size_t>(buffer.used);
            if (bytes.size() > room)
                bytes.resize(room);
            if (server.Feed(buffer, bytes) == TcpServer::kReceiveBroken)
                break;
            ASSERT_GE(buffer.used, 0);
            ASSERT_LE(buffer.used, kFrameBufferSize);
        }
    }
}

TEST(WireProtocolTest, OpeningReplyAndFrameEncoding) {
    // The worked example of the README.
    EXPECT_EQ(OpeningReply(kOpeningChallenge), 1057803316);
    EXPECT_EQ(OpeningReply(0), static_cast<int32_t>(kOpeningReplyOffset));
    EXPECT_EQ(OpeningReply(-1), static_cast<int32_t>(kOpeningReplyFactor + kOpeningReplyOffset));
    unsigned char out[16];
    ASSERT_EQ(EncodeTextLineFrame(3, "AB\n", 3, out, sizeof out), 11);
    const unsigned char expected[] = {7, 0, 100, 0, 3, 0, 0, 0, 'A', 'B', '\n'};
    EXPECT_EQ(std::memcmp(out, expected, sizeof expected), 0);
    EXPECT_EQ(EncodeTextLineFrame(3, "AB\n", 3, out, 10), -1);
    std::vector<unsigned char> big(kFrameBufferSize + 8);
    EXPECT_EQ(EncodeFrame(1, big.data(), kMaxFramePayload + 1, big.data(), static_cast<int>(big.size())), -1);
}

}  // namespace
