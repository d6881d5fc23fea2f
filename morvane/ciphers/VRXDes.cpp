#include "morvane/ciphers/VRXDes.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "morvane/ciphers/internal/DesCore.h"
#include "morvane/framework/SecureWipe.h"
#include "morvane/strings/VRXStrings.h"

namespace morvane {

namespace {

using TModes = detail::TBlockModes<detail::TDesCore>;

// The four weak and twelve semi-weak DES keys (FIPS 74, NIST SP 800-67), odd parity in every
// byte, as published.
inline constexpr std::array<std::string_view, 16> kWeakKeyText = {
    "0101010101010101", "FEFEFEFEFEFEFEFE", "E0E0E0E0F1F1F1F1", "1F1F1F1F0E0E0E0E",
    "011F011F010E010E", "1F011F010E010E01", "01E001E001F101F1", "E001E001F101F101",
    "01FE01FE01FE01FE", "FE01FE01FE01FE01", "1FE01FE00EF10EF1", "E01FE01FF10EF10E",
    "1FFE1FFE0EFE0EFE", "FE1FFE1FFE0EFE0E", "E0FEE0FEF1FEF1FE", "FEE0FEE0FEF1FEF1"};

// The list as bytes, read once from its hexadecimal form.
const std::array<std::string, 16>& WeakKeys() {
  static const std::array<std::string, 16> keys = [] {
    std::array<std::string, 16> out;
    for (size_t i = 0; i < kWeakKeyText.size(); ++i) {
      for (size_t j = 0; j < kWeakKeyText[i].size(); j += 2) {
        out[i] += static_cast<char>(BaseToDec(kWeakKeyText[i].substr(j, 2), 16));
      }
    }
    return out;
  }();
  return keys;
}

// Whether two strings hold the same bytes, in a time that depends on their lengths only (the
// lengths are not secret): the differences are gathered without a branch on any byte.
bool EqualInConstantTime(std::string_view A, std::string_view B) noexcept {
  if (A.size() != B.size()) return false;
  uint8_t diff = 0;
  for (size_t i = 0; i < A.size(); ++i) {
    diff |= static_cast<uint8_t>(static_cast<uint8_t>(A[i]) ^ static_cast<uint8_t>(B[i]));
  }
  return diff == 0;
}

}  // namespace

detail::TDesCore TVRXDES::Core() const noexcept {
  return {&FSubKeys, &FSubKeysReversed};
}

TVRXDES::TVRXDES(TComponent* AOwner) : TCustomVRXCipher(AOwner) {
  FChain.FIV = {0x3A61C7E2, 0x9B0D4F18};
  SetGeometry(8, 8, 8);
  RequireWholeBlocks();
  SetKeyLength(8);
  SetMode(cipherECB);
}

TVRXDES::~TVRXDES() {
  SecureWipe(FSubKeys.data(), sizeof FSubKeys);
  SecureWipe(FSubKeysReversed.data(), sizeof FSubKeysReversed);
  SecureWipe(&FChain, sizeof FChain);
}

void TVRXDES::SetMode(TCipherMode Value) {
  if (Value == cipherCFB || Value == cipherOFB) throw EVRXUnsupportedCipherMode();
  TCustomVRXCipher::SetMode(Value);
}

bool TVRXDES::IsWeakKey() const {
  if (Empty(GetKey())) return true;
  if (GetKey().size() != 8) return false;
  // Every entry is compared in full, so that the time taken does not tell which one matched.
  bool weak = false;
  for (const std::string& entry : WeakKeys()) weak |= EqualInConstantTime(GetKey(), entry);
  return weak;
}

uint32_t TVRXDES::GetIV(int32_t Index) const {
  return FChain.IVWord(Index, "DES");
}

void TVRXDES::SetIV(int32_t Index, uint32_t Value) {
  FChain.IVWord(Index, "DES") = Value;
}

// ---- Block transform and modes

void TVRXDES::InitialPermutation(uint32_t& L, uint32_t& R) const noexcept {
  detail::DesInitialPermutation(L, R);
}

void TVRXDES::F(uint32_t& L, uint32_t& R) {
  UpdateKeySchedule();
  detail::DesRounds(FReversedInForce ? FSubKeysReversed : FSubKeys, L, R);
}

void TVRXDES::FinalPermutation(uint32_t& L, uint32_t& R) const noexcept {
  detail::DesFinalPermutation(L, R);
}

void TVRXDES::EncryptAtom(uint32_t& L, uint32_t& R) {
  UpdateKeySchedule();
  detail::DesCryptBlock(FSubKeys, L, R);
}

void TVRXDES::DecryptAtom(uint32_t& L, uint32_t& R) {
  UpdateKeySchedule();
  detail::DesCryptBlock(FSubKeysReversed, L, R);
}

void TVRXDES::EncryptCBC(uint32_t& L, uint32_t& R) {
  UpdateKeySchedule();
  TModes::OneBlock<TModes::EncryptCBC>(Core(), FChain, L, R);
}
void TVRXDES::DecryptCBC(uint32_t& L, uint32_t& R) {
  UpdateKeySchedule();
  TModes::OneBlock<TModes::DecryptCBC>(Core(), FChain, L, R);
}
void TVRXDES::EncryptPCBC(uint32_t& L, uint32_t& R) {
  UpdateKeySchedule();
  TModes::OneBlock<TModes::EncryptPCBC>(Core(), FChain, L, R);
}
void TVRXDES::DecryptPCBC(uint32_t& L, uint32_t& R) {
  UpdateKeySchedule();
  TModes::OneBlock<TModes::DecryptPCBC>(Core(), FChain, L, R);
}

// ---- Key schedule

void TVRXDES::ProcessKey() {
  // Key preparation, once per call: a key shorter than 8 bytes is followed by its own first
  // 8 - n bytes (all of it when shorter than that) and stored back, so the application sees the
  // key that was used.
  const size_t n = GetKey().size();
  if (n > 0 && n < 8) {
    std::string extended;
    extended.reserve(8);
    extended.append(GetKey()).append(GetKey().data(), std::min(n, 8 - n));
    SetKey(extended);
    SecureWipe(extended);
  }

  // The DES key: the first 8 bytes; a key of 2 to 6 bytes (from 1 to 3 before preparation) is
  // repeated cyclically, and the empty key gives the all-zero key.
  uint8_t key[8] = {};
  if (!GetKey().empty()) {
    for (size_t i = 0; i < 8; ++i) key[i] = static_cast<uint8_t>(GetKey()[i % GetKey().size()]);
  }
  SecureWipe(FSubKeys.data(), sizeof FSubKeys);
  SecureWipe(FSubKeysReversed.data(), sizeof FSubKeysReversed);
  detail::DesKeySchedule(key, FSubKeys);
  detail::DesReverseSchedule(FSubKeys, FSubKeysReversed);
  SecureWipe(key, sizeof key);
}

// ---- Hooks of a run

void TVRXDES::StartEncryption(uint8_t* LeadingData) {
  // A run reads at most one block of padding (the last block's missing bytes, or the single
  // block of an empty run): clearing that much of the padding buffer is enough, where the
  // base hook clears all of it, a cost that short strings notice.
  BeginRun(8);
  FChain.StartRun();
  FReversedInForce = false;
  // The IV words are stored least significant byte first, unlike the data words.
  StoreLE32(LeadingData, FChain.FIV[0]);
  StoreLE32(LeadingData + 4, FChain.FIV[1]);
}

void TVRXDES::StartDecryption(uint8_t* LeadingData) {
  BeginRun(8);
  FChain.StartRun();
  FReversedInForce = true;
  FChain.FIV[0] = LoadLE32(LeadingData);
  FChain.FIV[1] = LoadLE32(LeadingData + 4);
}

void TVRXDES::EncryptBuffer() {
  if (IsWeakKey()) throw EVRXWeakCipherKey();
  const detail::TDesCore core = Core();
  const TCipherMode mode = GetMode();
  TransformChunk<8>(btPlainText, btCipherText, [&](const uint8_t* in, uint8_t* out, size_t n) {
    TModes::EncryptBlocks(core, FChain, mode, in, out, n);
  });
}

void TVRXDES::DecryptBuffer() {
  const detail::TDesCore core = Core();
  const TCipherMode mode = GetMode();
  TransformChunk<8>(btCipherText, btPlainText, [&](const uint8_t* in, uint8_t* out, size_t n) {
    TModes::DecryptBlocks(core, FChain, mode, in, out, n);
  });
}

}  // namespace morvane
