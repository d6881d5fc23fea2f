// The vocabulary every cipher, encoder and digest component shares: enumerations, the progress
// event, the package's exceptions and the word helpers of the inner loops.
#pragma once

#include <bit>
#include <cstdint>
#include <functional>

#include "morvane/framework/Exceptions.h"

namespace morvane {

// Ordinals are fixed: components switch on them and forms stream them by value name.
enum TBufferType : uint8_t { btPlainText, btCipherText };
enum TCipherMode : uint8_t { cipherECB, cipherCBC, cipherCFB, cipherOFB, cipherPCBC };
enum TCipherMethod : uint8_t {
  cipherBlowFish,
  cipherTwoFish,
  cipherUUEncode,
  cipherBase64,
  cipherDES,
  cipherXOR
};
enum THashMethod : uint8_t { hashMD5, hashRIPEMD160, hashSHA1, hashRIPEMD128 };
enum TPRGNMethod : uint8_t { prngISAAC };

// The progress event: nProgress is the number of chunks processed so far in the run, modulo 256
// (not a percentage); setting lAbort cancels the run.
using TProgressProc = std::function<void(uint8_t nProgress, bool& lAbort)>;

class EVRXUnsupportedCipherMode : public Exception {
 public:
  EVRXUnsupportedCipherMode() : Exception("Mode not supported in current version") {}
  using Exception::Exception;
};
class EVRXWeakCipherKey : public Exception {
 public:
  EVRXWeakCipherKey() : Exception("Weak Key") {}
  using Exception::Exception;
};
class EVRXCipherDataMissing : public Exception {
 public:
  EVRXCipherDataMissing() : Exception("") {}
  using Exception::Exception;
};
class EVRXOutOfRange : public Exception {
 public:
  EVRXOutOfRange() : Exception("Key index out of range") {}
  using Exception::Exception;
};
// Ciphertext whose layout is damaged: a body that is not whole cipher blocks, a recorded size that
// disagrees with the body, data cut short. A stream read error, so callers that catch EReadError
// keep catching it; the message says which layout and what was found.
class EVRXDamagedData : public EReadError {
 public:
  using EReadError::EReadError;
};
class EVRXEncryptCancel : public Exception {
 public:
  EVRXEncryptCancel() : Exception("Operation Canceled by user") {}
  using Exception::Exception;
};
class EVRXDecryptCancel : public Exception {
 public:
  EVRXDecryptCancel() : Exception("Operation Canceled by user") {}
  using Exception::Exception;
};

// Exchanges the two bytes of a 16-bit value.
constexpr uint16_t BE2LE16(uint16_t Value) {
  return static_cast<uint16_t>((Value >> 8) | (Value << 8));
}

// Reverses the four bytes of a 32-bit word.
constexpr uint32_t BE2LE32(uint32_t Value) {
  return (Value >> 24) | ((Value >> 8) & 0x0000FF00u) | ((Value << 8) & 0x00FF0000u) |
         (Value << 24);
}

// 32-bit rotations; only the low five bits of Shift count.
constexpr uint32_t ROL(uint32_t Value, int32_t Shift) {
  return std::rotl(Value, Shift & 31);
}
constexpr uint32_t ROR(uint32_t Value, int32_t Shift) {
  return std::rotr(Value, Shift & 31);
}

}  // namespace morvane
