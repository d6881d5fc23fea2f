// Decryption of arbitrary bytes by the block-cipher components: any key, mode, chunk size and
// size argument. Only the package's and the framework's exceptions may come out, and whatever is
// accepted has a layout's length: whole blocks after the IV, at least one, and for a string
// exactly the blocks its recorded length takes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "morvane/ciphers/VRXBlowfish.h"
#include "morvane/ciphers/VRXDes.h"
#include "morvane/ciphers/VRXTwoFish.h"
#include "morvane/framework/Exceptions.h"
#include "morvane/framework/Streams.h"

using namespace morvane;

namespace {

std::unique_ptr<TCustomVRXCipher> MakeCipher(uint8_t which) {
  switch (which % 3) {
    case 0:
      return std::make_unique<TVRXBlowFish>();
    case 1:
      return std::make_unique<TVRXDES>();
    default: {
      auto twofish = std::make_unique<TVRXTwoFish>();
      twofish->SetNumRounds(2 + which / 3 % 15);
      return twofish;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6) return 0;
  auto cipher = MakeCipher(data[0]);
  const auto mode = static_cast<TCipherMode>(data[1] % 5);
  const int32_t bufferSize = 1 + data[2] % 17;
  const size_t keyLength = data[3] % 81;
  const int32_t sizeSkew = static_cast<int8_t>(data[4]);
  const bool asStream = (data[5] & 1) != 0;
  size_t pos = 6;
  if (size - pos < keyLength) return 0;
  const std::string key(reinterpret_cast<const char*>(data + pos), keyLength);
  pos += keyLength;
  const std::string body(reinterpret_cast<const char*>(data + pos), size - pos);
  try {
    cipher->SetKey(key);
    cipher->SetMode(mode);
  } catch (const Exception&) {
    return 0;  // a mode the cipher refuses
  }
  cipher->SetBufferSize(bufferSize);
  // The IV is one block long in every block cipher of the package.
  const int64_t block = cipher->GetLeadingDataSize();
  auto wholeBlocks = [&](int64_t bytes) { return bytes >= 2 * block && bytes % block == 0; };
  try {
    if (asStream) {
      TReadOnlyMemoryStream source(body);
      TMemoryStream dest;
      const int32_t streamSize = static_cast<int32_t>(body.size()) + sizeSkew;
      cipher->DecryptStream(source, dest, streamSize);
      if (!wholeBlocks(streamSize)) __builtin_trap();
    } else {
      const std::string plain = cipher->DecryptString(body);
      const int64_t blocks = (static_cast<int64_t>(body.size()) - 4) / block - 1;
      const int64_t need =
          std::max<int64_t>(1, (static_cast<int64_t>(plain.size()) + block - 1) / block);
      if (!wholeBlocks(static_cast<int64_t>(body.size()) - 4) || blocks != need) __builtin_trap();
    }
  } catch (const Exception&) {
  }
  // The component must still work after whatever happened; only a weak (or empty) key may
  // refuse to encrypt.
  try {
    const std::string plain = "fuzz";
    if (cipher->DecryptString(cipher->EncryptString(plain)) != plain) __builtin_trap();
  } catch (const EVRXWeakCipherKey&) {
  }
  return 0;
}
