// The component families as the hardening suites see them: how to make and configure each
// component, which modes it takes, and how to give a second component the same chaining state,
// so that a run of one can be checked against a fresh twin.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "morvane/cipher/VRXCipher.h"

namespace morvane::test {

enum TFamilyKind : uint8_t {
  fkBlockCipher,  // round trip; output depends on key, mode and IV
  fkDigest,       // encryption only; the output is the digest
  fkEncoder,      // round trip; no key, no IV
};

// What makes two components of a family produce the same bytes.
struct TRecipe {
  std::string key;
  TCipherMode mode = cipherECB;
  int32_t rounds = 16;  // Twofish only
};

struct TFamily {
  std::string name;
  TFamilyKind kind = fkBlockCipher;
  std::vector<TCipherMode> modes;
  int32_t plainBlock = 0;
  int32_t cipherBlock = 0;
  int32_t leading = 0;
  std::function<std::unique_ptr<TCustomVRXCipher>()> make;
  // Applies a recipe (key, mode, rounds) to a component of the family.
  std::function<void(TCustomVRXCipher&, const TRecipe&)> configure;
  // Copies the state that carries from run to run (the IV) from one component to another.
  std::function<void(const TCustomVRXCipher&, TCustomVRXCipher&)> copyState;
  // True when encryption must refuse the component's key (EVRXWeakCipherKey).
  std::function<bool(const TCustomVRXCipher&)> isWeak;

  // A new component configured by the recipe, with the carried state of Like when given.
  std::unique_ptr<TCustomVRXCipher> Twin(const TRecipe& recipe,
                                         const TCustomVRXCipher* Like = nullptr) const;
  // Encrypted-stream bytes that Source gives under the recipe (state from Like), run by a twin.
  std::string EncryptedStream(const TRecipe& recipe, const std::string& Source,
                              const TCustomVRXCipher* Like = nullptr) const;
  // Decrypted-stream bytes (plaintext and the padding of its last block), run by a twin.
  std::string DecryptedStream(const TRecipe& recipe, const std::string& Encrypted) const;
};

// Every family of the library: block ciphers, digests and encoders.
const std::vector<TFamily>& Families();

// Reads a whole file; writes one.
std::string ReadFileBytes(const std::string& Path);
void WriteFileBytes(const std::string& Path, const std::string& Bytes);

}  // namespace morvane::test
