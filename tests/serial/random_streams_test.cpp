// Random bytes of every value into every emulation: nothing may crash or overflow, no line may
// pass 1023 bytes, and a stop must end ReadLine at once wherever it falls, inside a command
// included.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "config/line_flags.h"
#include "serial/line_decoder.h"

namespace {

// Random bytes with the bytes that steer the decoder (line ends, introducers, small counts)
// made common, so that commands of every kind are entered often.
std::string RandomStream(std::mt19937& random, size_t size) {
    static const unsigned char kSteering[] = {0x0A, 0x0C, 0x0D, 0x10, 0x1B, 0x1C, 0x1D, 0x00, 0x20, 0x01,
                                              0x04, 0x14, 'V',  'k',  'v',  '(',  '8',  '*',  'q',  '2',
                                              '&',  'K',  'B',  'r',  'A',  'b',  ')',  'U',  '0',  0x1E,
                                              0x09, '$',  '\\', 'D',  't',  0xC3, 0xE2};
    std::string bytes(size, 0);
    std::uniform_int_distribution<int> any(0, 255);
    std::uniform_int_distribution<int> pick(0, sizeof kSteering - 1);
    for (size_t i = 0; i < size; ++i) {
        int roll = any(random);
        bytes[i] = static_cast<char>(roll < 96 ? kSteering[pick(random)] : any(random));
    }
    return bytes;
}

// Plays the bytes, then one stop, and counts any read made after the stop.
struct StopCheckingSource {
    const std::string* bytes;
    size_t stopAt;
    size_t position = 0;
    int readsAfterStop = 0;

    static int Next(void* context) {
        StopCheckingSource* self = static_cast<StopCheckingSource*>(context);
        if (self->position > self->stopAt) {
            ++self->readsAfterStop;
            return kSourceStopped;
        }
        size_t at = self->position++;
        if (at == self->stopAt)
            return kSourceStopped;
        return static_cast<unsigned char>((*self->bytes)[at]);
    }
};

TEST(RandomStreams, NeverOverflowAndAlwaysHonourTheStop) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 60; ++round) {
        std::string bytes = RandomStream(random, 40000);
        for (int emulation : {kEmulationEscP, kEmulationTextOnly, kEmulationEscPos, kEmulationStar}) {
            for (int patternFlags : {0, 1}) {
                LineDecoder decoder;
                decoder.SetEmulation(emulation);
                decoder.SetCodePages(patternFlags == 1 ? 852 : 0, round % 2 == 0 ? 1252 : 1251);
                decoder.SetPattern(patternFlags, "\x1B");
                StopCheckingSource scripted{&bytes,
                                            std::uniform_int_distribution<size_t>(0, bytes.size())(random)};
                ByteSource source{&StopCheckingSource::Next, &scripted};
                const char* text;
                int flags;
                int length;
                while ((length = decoder.ReadLine(source, &text, &flags)) >= 0) {
                    ASSERT_LE(length, 1023);
                    ASSERT_LE(std::strlen(text), static_cast<size_t>(length));
                    // A drawer line is empty and carries nothing else.
                    if (flags & kLineFlagDrawer)
                        ASSERT_TRUE(flags == kLineFlagDrawer && length == 0 && text[0] == 0);
                    flags &= ~kLineFlagsRunCut;
                    ASSERT_TRUE(flags == 0 || flags == 1 || flags == 2 || flags == kLineFlagDrawer);
                    ASSERT_LE(scripted.position, scripted.stopAt);
                }
                ASSERT_EQ(length, -1);
                ASSERT_EQ(scripted.readsAfterStop, 0);
                ASSERT_EQ(scripted.position, scripted.stopAt + 1);
            }
        }
    }
}

}  // namespace
