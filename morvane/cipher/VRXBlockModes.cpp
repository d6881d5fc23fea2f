#include "morvane/cipher/VRXBlockModes.h"

#include <string>

namespace morvane::detail {

void IVIndexOutOfRange(int32_t Index, size_t Words, const char* Cipher) {
  const std::string words =
      Words == 2 ? "0 and 1" : "0 to " + std::to_string(static_cast<int32_t>(Words) - 1);
  throw EVRXOutOfRange("IV index out of range: " + std::to_string(Index) + " (the " + Cipher +
                       " IV has the words " + words + ")");
}

namespace {

// The engine is a template that each cipher instantiates in its own unit; instantiating it here
// for both forms and both block widths makes the library build check the whole template, also
// the parts (multi-block fallbacks, little-endian form) that a given cipher may not use.
struct TIdentityCore2 {
  static constexpr size_t kWords = 2;
  void Encrypt(uint32_t* x) const noexcept { x[0] = ~x[0]; }
  void Decrypt(uint32_t* x) const noexcept { x[0] = ~x[0]; }
};

struct TIdentityCore4 {
  static constexpr size_t kWords = 4;
  static constexpr bool kLittleEndianForm = true;
  void Encrypt(uint32_t* x) const noexcept { x[3] = ~x[3]; }
  void Decrypt(uint32_t* x) const noexcept { x[3] = ~x[3]; }
  void EncryptBlocks(uint32_t* x, size_t n) const noexcept {
    for (size_t i = 0; i < n; ++i) Encrypt(x + 4 * i);
  }
  void DecryptBlocks(uint32_t* x, size_t n) const noexcept {
    for (size_t i = 0; i < n; ++i) Decrypt(x + 4 * i);
  }
};

}  // namespace

template class TBlockModes<TIdentityCore2>;
template class TBlockModes<TIdentityCore4>;

}  // namespace morvane::detail
