// The Blowfish component: Bruce Schneier's 64-bit block cipher (16 rounds, key schedule as
// published, keys of any length read cyclically) with the five chaining modes.
// Its table lookups depend on the key and the data: no constant-time claim.
//
// Raises, besides what every driver raises (VRXCipher.h): EVRXWeakCipherKey "Weak Key" when a
// run, encrypting or decrypting, starts with an empty key, before anything is written;
// EVRXOutOfRange for an IV index other than 0 or 1, or SetIVBytes with other than 8 bytes. Call
// RandomizeIV() before each encryption (VRXCipher.h says why).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "morvane/cipher/VRXBlockModes.h"
#include "morvane/cipher/VRXCipher.h"

namespace morvane {

class TVRXBlowFish : public TCustomVRXCipher {
 public:
  explicit TVRXBlowFish(TComponent* AOwner = nullptr);
  ~TVRXBlowFish() override;
  std::string ClassName() const override { return "TVRXBlowFish"; }

  // IV words 0 and 1; word 0 pairs with the first (big-endian) data word of a block. Another
  // index raises EVRXOutOfRange. A new IV takes effect at the next encryption run; a decryption
  // run replaces it with the IV its data carries.
  uint32_t GetIV(int32_t Index) const;
  void SetIV(int32_t Index, uint32_t Value);

  // The block function and its inverse on the two words of a block, in place, under the key in
  // force: a key changed since the last schedule is scheduled first. An empty key raises
  // EVRXWeakCipherKey, as a run does.
  void EncryptAtom(uint32_t& L, uint32_t& R);
  void DecryptAtom(uint32_t& L, uint32_t& R);

  // One block through a chaining mode, with the component's registers as they stand, under the
  // key in force as the atoms are.
  void EncryptCBC(uint32_t& L, uint32_t& R);
  void DecryptCBC(uint32_t& L, uint32_t& R);
  void EncryptPCBC(uint32_t& L, uint32_t& R);
  void DecryptPCBC(uint32_t& L, uint32_t& R);
  void EncryptCFB(uint32_t& L, uint32_t& R);
  void DecryptCFB(uint32_t& L, uint32_t& R);
  void EncryptOFB(uint32_t& L, uint32_t& R);
  void DecryptOFB(uint32_t& L, uint32_t& R);

 protected:
  // Loads the tables from the digits of pi and mixes the key into them; an empty key never gets
  // here (the start hooks refuse it).
  void ProcessKey() override;
  // Both refuse an empty key with EVRXWeakCipherKey before anything is written.
  void StartEncryption(uint8_t* LeadingData) override;
  void StartDecryption(uint8_t* LeadingData) override;
  void EncryptBuffer() override;
  void DecryptBuffer() override;
  std::span<uint32_t> IVWords() noexcept override { return FChain.FIV; }
  std::span<const uint32_t> IVWords() const noexcept override { return FChain.FIV; }

 private:
  // The schedule of the key in force, for the public block operations.
  void KeyInForce();

  std::array<uint32_t, 1024> FSBox{};  // S-boxes 0 to 3, 256 words each
  std::array<uint32_t, 18> FPArray{};
  detail::TChainRegisters<2> FChain;  // FIV, FPrevCipher, FPrevPlain, FOFBRegister, FBlockCount
};

}  // namespace morvane
