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

  // The block function and its inverse on the two words of a block, in place. They use the key
  // schedule of the last run (or of the key in force when no run has happened since a change).
  void EncryptAtom(uint32_t& L, uint32_t& R) const noexcept;
  void DecryptAtom(uint32_t& L, uint32_t& R) const noexcept;

  // One block through a chaining mode, with the component's registers as they stand.
  void EncryptCBC(uint32_t& L, uint32_t& R) noexcept;
  void DecryptCBC(uint32_t& L, uint32_t& R) noexcept;
  void EncryptPCBC(uint32_t& L, uint32_t& R) noexcept;
  void DecryptPCBC(uint32_t& L, uint32_t& R) noexcept;
  void EncryptCFB(uint32_t& L, uint32_t& R) noexcept;
  void DecryptCFB(uint32_t& L, uint32_t& R) noexcept;
  void EncryptOFB(uint32_t& L, uint32_t& R) noexcept;
  void DecryptOFB(uint32_t& L, uint32_t& R) noexcept;

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
  std::array<uint32_t, 1024> FSBox{};  // S-boxes 0 to 3, 256 words each
  std::array<uint32_t, 18> FPArray{};
  detail::TChainRegisters<2> FChain;  // FIV, FPrevCipher, FPrevPlain, FOFBRegister, FBlockCount
  int32_t FRounds = 16;
};

}  // namespace morvane
