// SHA-256 and HMAC-SHA256, for signing webhook requests: small and without a library, so both
// platforms sign with the same code.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zamri {

using Sha256Digest = std::array<uint8_t, 32>;

class Sha256 {
  public:
    Sha256();
    void Update(std::string_view bytes);
    // The digest of everything given so far; the object then starts anew.
    Sha256Digest Finish();

  private:
    void Block(const uint8_t* block);
    uint32_t state[8];
    uint8_t buffer[64];
    size_t buffered = 0;
    uint64_t totalBytes = 0;
};

Sha256Digest Sha256Of(std::string_view bytes);
Sha256Digest HmacSha256(std::string_view key, std::string_view message);
// Lower-case hexadecimal, two digits a byte.
std::string HexText(const Sha256Digest& digest);

}  // namespace zamri
