// The DES component: the Data Encryption Standard (FIPS 46-3) on 64-bit blocks, keyed by the
// first 8 bytes of Key (parity bits ignored), in ECB, CBC and PCBC chaining. It refuses to
// encrypt with a weak key and carries its IV in the 8 leading bytes of every encrypted stream.
// Its table lookups depend on the key and the data: no constant-time claim.
//
// Raises, besides what every driver raises (VRXCipher.h): EVRXUnsupportedCipherMode from SetMode
// for CFB and OFB; EVRXWeakCipherKey "Weak Key" at the first chunk of an encryption (after the IV
// was written) with a key IsWeakKey refuses (decryption takes any key); EVRXOutOfRange for an IV
// index other than 0 or 1, or SetIVBytes with other than 8 bytes. Call RandomizeIV() before each
// encryption.
#pragma once

#include <cstdint>
#include <string>

#include "morvane/cipher/VRXBlockModes.h"
#include "morvane/cipher/VRXCipher.h"
#include "morvane/ciphers/DesKey.h"

namespace morvane {

class TVRXDES : public TCustomVRXCipher {
 public:
  explicit TVRXDES(TComponent* AOwner = nullptr);
  ~TVRXDES() override;
  std::string ClassName() const override { return "TVRXDES"; }

  // CFB and OFB raise EVRXUnsupportedCipherMode and leave the mode as it was.
  void SetMode(TCipherMode Value) override;

  // True when Key is empty or only white space (bytes 0, 9, 32, 127), or equal, byte for byte
  // and in length, to one of the 16 published weak and semi-weak keys in their odd-parity form.
  // Encryption refuses such a key; decryption accepts it.
  bool IsWeakKey() const;

  // IV words 0 and 1; word 0 pairs with the first (big-endian) data word of a block. Another
  // index raises EVRXOutOfRange. A decryption run replaces the IV with the one its data carries.
  uint32_t GetIV(int32_t Index) const;
  void SetIV(int32_t Index, uint32_t Value);

  // The steps of the block transform. Between them L and R are in the rotated form of the
  // table-driven formulation. F runs the 16 rounds of the key in force (scheduled first when it
  // changed) with the order of round keys in force: forward after construction or an encryption
  // start, reversed after a decryption start.
  void InitialPermutation(uint32_t& L, uint32_t& R) const noexcept;
  void F(uint32_t& L, uint32_t& R);
  void FinalPermutation(uint32_t& L, uint32_t& R) const noexcept;

  // DES encryption and decryption of one block under the key in force: a key changed since the
  // last schedule is scheduled first (the empty key gives all-zero round keys; weak keys are not
  // refused here). Each always uses its own order of round keys, whatever ran before.
  void EncryptAtom(uint32_t& L, uint32_t& R);
  void DecryptAtom(uint32_t& L, uint32_t& R);

  // One block through a chaining mode, with the component's registers as they stand, under the
  // key in force as the atoms are.
  void EncryptCBC(uint32_t& L, uint32_t& R);
  void DecryptCBC(uint32_t& L, uint32_t& R);
  void EncryptPCBC(uint32_t& L, uint32_t& R);
  void DecryptPCBC(uint32_t& L, uint32_t& R);

 protected:
  // Extends a key shorter than 8 bytes with its own first bytes and stores it back in Key, then
  // derives the round keys from the first 8 bytes (a key still shorter, of 2 to 6 bytes, is
  // repeated to 8 bytes for the schedule; the empty key gets all-zero round keys).
  void ProcessKey() override;
  void StartEncryption(uint8_t* LeadingData) override;
  void StartDecryption(uint8_t* LeadingData) override;
  // Raises EVRXWeakCipherKey ("Weak Key") before any block when IsWeakKey is true.
  void EncryptBuffer() override;
  void DecryptBuffer() override;
  std::span<uint32_t> IVWords() noexcept override { return FChain.FIV; }
  std::span<const uint32_t> IVWords() const noexcept override { return FChain.FIV; }

 private:
  detail::TDesCore Core() const noexcept;

  detail::TChainRegisters<2> FChain;  // FIV, FPrevCipher, FPrevPlain, FBlockCount
  detail::TDesRoundKeys FSubKeys{};   // round order
  detail::TDesRoundKeys FSubKeysReversed{};
  bool FReversedInForce = false;  // the order F uses
};

}  // namespace morvane
