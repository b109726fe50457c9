// SHA-256 against the FIPS 180-4 examples and HMAC-SHA256 against RFC 4231's test cases.
#include <gtest/gtest.h>

#include <string>

#include "alert/sha256.h"

namespace {

using zamri::HexText;

std::string Bytes(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

TEST(Sha256, MatchesThePublishedExamples) {
    EXPECT_EQ(HexText(zamri::Sha256Of("")),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(HexText(zamri::Sha256Of("abc")),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(HexText(zamri::Sha256Of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(HexText(zamri::Sha256Of(std::string(1000000, 'a'))),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, GivesTheSameDigestWhateverPiecesTheBytesComeIn) {
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += static_cast<char>(i * 7);
    for (size_t split : {0u, 1u, 55u, 56u, 63u, 64u, 65u, 128u, 299u}) {
        zamri::Sha256 hash;
        hash.Update(std::string_view(text).substr(0, split));
        hash.Update(std::string_view(text).substr(split));
        EXPECT_EQ(hash.Finish(), zamri::Sha256Of(text)) << "split at " << split;
    }
}

TEST(HmacSha256, MatchesRfc4231) {
    struct Case {
        std::string key, data, mac;
    };
    const Case cases[] = {
        {std::string(20, '\x0b'), "Hi There",
         "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
        {"Jefe", "what do ya want for nothing?",
         "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
        {std::string(20, '\xaa'), std::string(50, '\xdd'),
         "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe"},
        {Bytes("0102030405060708090a0b0c0d0e0f10111213141516171819"), std::string(50, '\xcd'),
         "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b"},
        // A key longer than the block is hashed first.
        {std::string(131, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
         "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
        {std::string(131, '\xaa'),
         "This is a test using a larger than block-size key and a larger than block-size data. The key needs "
         "to "
         "be hashed before being used by the HMAC algorithm.",
         "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HexText(zamri::HmacSha256(c.key, c.data)), c.mac) << c.data;
}

}  // namespace
