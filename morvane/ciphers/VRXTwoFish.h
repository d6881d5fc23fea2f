// The Twofish component: the Twofish block cipher (Schneier et al., 1998) on 128-bit blocks,
// with a key of 128, 192 or 256 bits taken from Key and 2 to 16 rounds per key size, in the
// five chaining modes. It refuses to encrypt with an empty or all-white-space key and carries
// its 16-byte IV in the leading data of every encrypted stream.
// Its table lookups depend on the key and the data: no constant-time claim.
//
// Forms of a block X = x0..x15: the cipher form W(X) has word j = x[4j] + x[4j+1]*2^8 + ...
// (the paper's convention, the form of the atoms); the stored form S(X) has word j = x[4j]*2^24
// + ... (the form of the extract and insert operations). ECB and OFB are the standard modes with
// the IV bytes V (W(V) = the IV words); CBC, PCBC and CFB chain earlier blocks in stored form
// into cipher-form blocks, so they agree with the standard modes on the first block only.
//
// Raises, besides what every driver raises (VRXCipher.h): EVRXWeakCipherKey "Weak Key" at the first
// chunk of an encryption (after the IV was written) with a key IsWeakKey refuses (empty or white
// space only); EVRXOutOfRange for
// an IV index outside 0..3, or SetIVBytes with other than 16 bytes. Call RandomizeIV() before
// each encryption.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "morvane/cipher/VRXBlockModes.h"
#include "morvane/cipher/VRXCipher.h"
#include "morvane/ciphers/TwoFishKey.h"
#include "morvane/ciphers/VRXTwoFishTools.h"

namespace morvane {

class TVRXTwoFish : public TCustomVRXCipher {
 public:
  explicit TVRXTwoFish(TComponent* AOwner = nullptr);
  ~TVRXTwoFish() override;
  std::string ClassName() const override { return "TVRXTwoFish"; }

  // True when Key is empty or only white space (bytes 0, 9, 32, 127). Encryption refuses such a
  // key; decryption accepts it.
  bool IsWeakKey() const;

  // IV words 0 to 3 in cipher form; the leading data holds them least significant byte first.
  // Another index raises EVRXOutOfRange. A CFB run leaves the last keystream block here; a
  // decryption run replaces the IV with the one its data carries.
  uint32_t GetIV(int32_t Index) const;
  void SetIV(int32_t Index, uint32_t Value);

  // The round count for the size of Key: KeyLength / 8 = 2, 3, 4 select the counts of 128-,
  // 192- and 256-bit keys; any other length reads 16. SetNumRounds ignores a value outside
  // 2..16; for another length than 16..39 bytes it sets all three counts.
  int32_t GetNumRounds() const;
  void SetNumRounds(int32_t Value);

  // The function h of the paper on x with the key words K[0..k-1], k = KeyLength / 8 (any k but
  // 3 and 4 takes the 128-bit form).
  uint32_t F32(uint32_t x, const TBlock128& K) const noexcept;

  // Twofish encryption and decryption of a block in cipher form, with GetNumRounds rounds,
  // under the key in force: a key changed since the last schedule is scheduled first (which may
  // rewrite Key, as a run does). Weak keys are not refused here.
  void EncryptAtom(TBlock128& X);
  void DecryptAtom(TBlock128& X);

  // One block in cipher form through a chaining mode, with the component's registers as they
  // stand, under the key in force as the atoms are.
  void EncryptCBC(TBlock128& X);
  void DecryptCBC(TBlock128& X);
  void EncryptPCBC(TBlock128& X);
  void DecryptPCBC(TBlock128& X);
  void EncryptCFB(TBlock128& X);
  void DecryptCFB(TBlock128& X);
  void EncryptOFB(TBlock128& X);
  void DecryptOFB(TBlock128& X);

 protected:
  // Parses the key into words (16 to 32 bytes; a shorter key repeated, a longer one cut), keeps
  // in Key the bytes that were parsed, and derives the S-box keys, the 40 whitening and round
  // keys and the key-dependent tables from the first whole 64-bit pieces.
  void ProcessKey() override;
  void StartEncryption(uint8_t* LeadingData) override;
  void StartDecryption(uint8_t* LeadingData) override;
  // Raises EVRXWeakCipherKey ("Weak Key") before any block when IsWeakKey is true.
  void EncryptBuffer() override;
  void DecryptBuffer() override;
  std::span<uint32_t> IVWords() noexcept override { return FChain.FIV; }
  std::span<const uint32_t> IVWords() const noexcept override { return FChain.FIV; }

 private:
  detail::TTwoFishCore Core() const noexcept;
  void WipeSchedule() noexcept;

  std::array<int32_t, 3> FRounds{16, 16, 16};  // 128-, 192- and 256-bit keys
  detail::TChainRegisters<4> FChain;  // FIV, FPrevCipher, FPrevPlain, FOFBRegister, FBlockCount
  std::array<uint32_t, 9> FKeyWords{};
  TBlock128 FSBoxKeys{};
  detail::TTwoFishKey FKeyTables{};  // the subkeys and the key-dependent g tables
};

}  // namespace morvane
