#include "morvane/ciphers/VRXTwoFish.h"

#include <algorithm>

#include "morvane/ciphers/internal/TwoFishCore.h"
#include "morvane/framework/SecureWipe.h"
#include "morvane/strings/VRXStrings.h"

namespace morvane {

namespace {

using TModes = detail::TBlockModes<detail::TTwoFishCore>;

// 64-bit pieces of a key of KeyLength bytes: (8 * KeyLength) div 64, without the overflow.
int32_t KeyPieces(int32_t KeyLength) {
  return KeyLength / 8;
}

}  // namespace

detail::TTwoFishCore TVRXTwoFish::Core() const noexcept {
  return {&FKeyTables, GetNumRounds()};
}

TVRXTwoFish::TVRXTwoFish(TComponent* AOwner) : TCustomVRXCipher(AOwner) {
  SetGeometry(16, 16, 16);
  RequireWholeBlocks();
  SetMode(cipherECB);
  SetNumRounds(16);
  FChain.FIV = {0x6E2F91C4, 0x17B8D35A, 0xC04A7E29, 0x8D5316F7};
}

TVRXTwoFish::~TVRXTwoFish() {
  WipeSchedule();
  SecureWipe(&FChain, sizeof FChain);
}

void TVRXTwoFish::WipeSchedule() noexcept {
  SecureWipe(FKeyWords.data(), sizeof FKeyWords);
  SecureWipe(FSBoxKeys.data(), sizeof FSBoxKeys);
  SecureWipe(&FKeyTables, sizeof FKeyTables);
}

bool TVRXTwoFish::IsWeakKey() const {
  return Empty(GetKey());
}

uint32_t TVRXTwoFish::GetIV(int32_t Index) const {
  return FChain.IVWord(Index, "Twofish");
}

void TVRXTwoFish::SetIV(int32_t Index, uint32_t Value) {
  FChain.IVWord(Index, "Twofish") = Value;
}

int32_t TVRXTwoFish::GetNumRounds() const {
  const int32_t k = KeyPieces(GetKeyLength());
  return (k >= 2 && k <= 4) ? FRounds[static_cast<size_t>(k - 2)] : 16;
}

void TVRXTwoFish::SetNumRounds(int32_t Value) {
  if (Value < 2 || Value > 16) return;
  const int32_t k = KeyPieces(GetKeyLength());
  if (k >= 2 && k <= 4) {
    FRounds[static_cast<size_t>(k - 2)] = Value;
  } else {
    FRounds.fill(Value);
  }
}

uint32_t TVRXTwoFish::F32(uint32_t x, const TBlock128& K) const noexcept {
  return detail::TwoFishH(x, K.data(), KeyPieces(GetKeyLength()));
}

// ---- Atoms and modes

void TVRXTwoFish::EncryptAtom(TBlock128& X) {
  UpdateKeySchedule();
  detail::TwoFishEncrypt(FKeyTables, GetNumRounds(), X.data());
}

void TVRXTwoFish::DecryptAtom(TBlock128& X) {
  UpdateKeySchedule();
  detail::TwoFishDecrypt(FKeyTables, GetNumRounds(), X.data());
}

void TVRXTwoFish::EncryptCBC(TBlock128& X) {
  UpdateKeySchedule();
  TModes::EncryptCBC(Core(), FChain, X.data());
}
void TVRXTwoFish::DecryptCBC(TBlock128& X) {
  UpdateKeySchedule();
  TModes::DecryptCBC(Core(), FChain, X.data());
}
void TVRXTwoFish::EncryptPCBC(TBlock128& X) {
  UpdateKeySchedule();
  TModes::EncryptPCBC(Core(), FChain, X.data());
}
void TVRXTwoFish::DecryptPCBC(TBlock128& X) {
  UpdateKeySchedule();
  TModes::DecryptPCBC(Core(), FChain, X.data());
}
void TVRXTwoFish::EncryptCFB(TBlock128& X) {
  UpdateKeySchedule();
  TModes::EncryptCFB(Core(), FChain, X.data());
}
void TVRXTwoFish::DecryptCFB(TBlock128& X) {
  UpdateKeySchedule();
  TModes::DecryptCFB(Core(), FChain, X.data());
}
void TVRXTwoFish::EncryptOFB(TBlock128& X) {
  UpdateKeySchedule();
  TModes::EncryptOFB(Core(), FChain, X.data());
}
void TVRXTwoFish::DecryptOFB(TBlock128& X) {
  UpdateKeySchedule();
  TModes::DecryptOFB(Core(), FChain, X.data());
}

// ---- Key schedule

void TVRXTwoFish::ProcessKey() {
  WipeSchedule();
  const int32_t keyLength = GetKeyLength();
  // 8 * KeyLength bits, kept from overflowing: ParseKey clamps anything above 256 anyway.
  const int32_t bits = 8 * std::min(keyLength, 64);
  const int32_t n = ParseKey(bits, GetKey(), FKeyWords);

  // Key becomes the n bytes that were parsed: a longer key is cut, and a shorter one keeps the
  // repetition that keyed the cipher, so that setting Key to what it reads gives the same
  // cipher. (The empty key grows to n zero bytes, and stays weak.)
  if (keyLength != n) {
    if (keyLength == 0) {
      SetKeyLength(n);
    } else {
      std::string used(static_cast<size_t>(n), '\0');
      for (size_t i = 0; i < used.size(); ++i) used[i] = GetKey()[i % GetKey().size()];
      SetKey(used);
      SecureWipe(used);
    }
  }

  const int32_t k = (8 * n) / 64;
  for (int32_t i = 0; i < k; ++i) {
    FSBoxKeys[static_cast<size_t>(k - 1 - i)] = RS_MDS_Encode(
        FKeyWords[static_cast<size_t>(2 * i)], FKeyWords[static_cast<size_t>(2 * i + 1)]);
  }
  detail::TwoFishKeySchedule(FKeyWords.data(), FSBoxKeys.data(), k, FKeyTables);
}

// ---- Hooks of a run

void TVRXTwoFish::StartEncryption(uint8_t* LeadingData) {
  // A run reads at most one block of padding (the last block's missing bytes, or the single
  // block of an empty run): clearing that much of the padding buffer is enough, where the
  // base hook clears all of it, a cost that short strings notice.
  BeginRun(16);
  FChain.StartRun();
  for (size_t j = 0; j < 4; ++j) StoreLE32(LeadingData + 4 * j, FChain.FIV[j]);
}

void TVRXTwoFish::StartDecryption(uint8_t* LeadingData) {
  BeginRun(16);
  FChain.StartRun();
  for (size_t j = 0; j < 4; ++j) FChain.FIV[j] = LoadLE32(LeadingData + 4 * j);
}

void TVRXTwoFish::EncryptBuffer() {
  if (IsWeakKey()) throw EVRXWeakCipherKey();
  // The round count is read once per chunk: only a progress handler, between chunks, can
  // change it during a run.
  const detail::TTwoFishCore core = Core();
  const TCipherMode mode = GetMode();
  TransformChunk<16>(btPlainText, btCipherText, [&](const uint8_t* in, uint8_t* out, size_t n) {
    TModes::EncryptBlocks(core, FChain, mode, in, out, n);
  });
}

void TVRXTwoFish::DecryptBuffer() {
  const detail::TTwoFishCore core = Core();
  const TCipherMode mode = GetMode();
  TransformChunk<16>(btCipherText, btPlainText, [&](const uint8_t* in, uint8_t* out, size_t n) {
    TModes::DecryptBlocks(core, FChain, mode, in, out, n);
  });
}

}  // namespace morvane
