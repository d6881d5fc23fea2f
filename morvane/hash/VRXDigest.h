// What the four digest components share, and the incremental digest.
//
// TVRXDigest<TAlgorithm> is the skeleton of a digest component over its compression function:
// chaining state, padding of the run, block loop and output form. TVRXMD5, TVRXSHA, TVRXRIPEMD160
// and TVRXRIPEMD128 are this template over their algorithm, with their own named methods on top.
//
// TVRXDigester digests a message fed in pieces:
//
//   TVRXSHA sha;
//   TVRXDigester digest(sha);             // begins a message
//   digest.Update(piece);                 // any number of pieces of any size
//   std::string raw = digest.Finish();    // 16 or 20 raw bytes
//
// It reproduces the bytes of the component's EncryptString (and EncryptStream, EncryptFile) for
// every message those accept (below 2 GiB), and goes on past them: the message length is counted
// in 64 bits, as the published algorithms define it. How the message is cut into pieces does not
// matter. It uses the same compression code as the drivers (the SHA extensions when the CPU has
// them).
#pragma once

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "morvane/cipher/VRXCipher.h"
#include "morvane/framework/Endian.h"
#include "morvane/framework/SecureWipe.h"

namespace morvane {

namespace detail {

// For algorithms whose compression needs no working memory of the component.
struct TNoScratch {};

}  // namespace detail

// TAlgorithm provides:
//   kWords             chaining words (4 or 5)
//   kBigEndian         block words, length field and digest words most significant byte first
//   kInitial           the initial chaining words
//   TScratch           working memory the compression keeps in the component (detail::TNoScratch)
//   Compress(State, Blocks, Count, Scratch)   Count consecutive 64-byte blocks into State
template <class TAlgorithm>
class TVRXDigest : public TCustomVRXHash {
 public:
  static constexpr int kWords = TAlgorithm::kWords;
  static constexpr int32_t kDigestLength = 4 * kWords;

  explicit TVRXDigest(TComponent* AOwner = nullptr) : TCustomVRXHash(AOwner) {
    SetGeometry(64, 64);
  }
  ~TVRXDigest() override {
    SecureWipe(FHash.data(), sizeof FHash);
    SecureWipe(&FScratch, sizeof FScratch);
  }

 protected:
  void StartEncryption(uint8_t* LeadingData) override {
    TCustomVRXHash::StartEncryption(LeadingData);
    PadMessage(TAlgorithm::kBigEndian);
    InitState();
  }
  void EndEncryption(uint8_t* TrailingData) override {
    AppendDigest(FHash.data(), kWords, !TAlgorithm::kBigEndian);
    TCustomVRXHash::EndEncryption(TrailingData);
  }
  void EncryptBuffer() override {
    CompressChunk([this](const uint8_t* Blocks, size_t Count) { CompressState(Blocks, Count); });
  }
  // A digest cannot be reversed: decryption produces nothing.
  void DecryptBuffer() override {}

 public:
  // A message within one chunk (BufferSize blocks; all messages of the default BufferSize up to
  // 64000 bytes) is digested in one pass, straight from the string: for short strings the chunk
  // loop costs more than the compression. Longer messages, and a BufferSize the drivers refuse,
  // take the drivers' run.
  std::string EncryptString(std::string_view S) override {
    const size_t n = S.size();
    const int32_t chunk = GetBufferSize();
    if (chunk < 1 || chunk > INT32_MAX / 64 || n > static_cast<size_t>(chunk) * 64) {
      return TCustomVRXHash::EncryptString(S);
    }
    BeginOneChunkRun(static_cast<int32_t>(n));
    FHash = TAlgorithm::kInitial;
    const auto* p = reinterpret_cast<const uint8_t*>(S.data());
    if (n >= 64) TAlgorithm::Compress(FHash.data(), p, n / 64, FScratch);
    // The padding of the published algorithms: 0x80, zero bytes up to 56 mod 64, the length in
    // bits as 64 bits.
    const size_t tail = n % 64;
    alignas(16) uint8_t block[128] = {};
    if (tail > 0) std::memcpy(block, p + n - tail, tail);
    block[tail] = 0x80;
    const size_t blocks = tail < 56 ? 1 : 2;
    if constexpr (TAlgorithm::kBigEndian) {
      StoreBE64(block + 64 * blocks - 8, uint64_t{n} * 8);
    } else {
      StoreLE64(block + 64 * blocks - 8, uint64_t{n} * 8);
    }
    TAlgorithm::Compress(FHash.data(), block, blocks, FScratch);
    SecureWipe(block, tail);
    OneChunkProgress(static_cast<int32_t>(n));
    return TVRXDigest::StateDigest();
  }

 protected:
  // ---- The algorithm, for the named methods of the components and for TVRXDigester.

  void InitState() noexcept override { FHash = TAlgorithm::kInitial; }
  void CompressState(const uint8_t* Blocks, size_t Count) noexcept override {
    TAlgorithm::Compress(FHash.data(), Blocks, Count, FScratch);
  }
  bool BigEndianLength() const noexcept override { return TAlgorithm::kBigEndian; }
  std::string StateDigest() const override {
    std::string out(static_cast<size_t>(kDigestLength), '\0');
    auto* p = reinterpret_cast<uint8_t*>(out.data());
    for (int i = 0; i < kWords; ++i, p += 4) {
      if constexpr (TAlgorithm::kBigEndian) {
        StoreBE32(p, FHash[i]);
      } else {
        StoreLE32(p, FHash[i]);
      }
    }
    return out;
  }

 private:
  std::array<uint32_t, kWords> FHash{};
  [[no_unique_address]] typename TAlgorithm::TScratch FScratch{};
};

// A message digested piece by piece on a digest component (see the top of this header). The
// component lends its algorithm and its OnProgress and BufferSize: the handler is called once per
// BufferSize x 64 message bytes and for the end of the message, with the counts EncryptStream
// passes for the same message, and setting lAbort raises EVRXEncryptCancel. One message at a time
// per component, as with the drivers; after Finish or an exception the object is spent.
class TVRXDigester {
 public:
  explicit TVRXDigester(TCustomVRXHash& Hash);
  ~TVRXDigester();
  TVRXDigester(const TVRXDigester&) = delete;
  TVRXDigester& operator=(const TVRXDigester&) = delete;

  void Update(std::span<const uint8_t> Bytes);
  void Update(std::string_view Bytes) {
    Update(std::span(reinterpret_cast<const uint8_t*>(Bytes.data()), Bytes.size()));
  }
  // The raw digest of everything fed (16 or 20 bytes, as EncryptString returns it).
  std::string Finish();
  // Message bytes fed so far.
  uint64_t GetLength() const noexcept { return FLength; }

 private:
  void CheckOpen() const;
  void Progress();

  TCustomVRXHash& FHash;
  uint64_t FLength = 0;
  uint64_t FChunkBytes;  // message bytes per chunk of the drivers
  uint64_t FChunkFill = 0;
  uint8_t FChunks = 0;
  bool FOpen = true;
  int32_t FPartialSize = 0;
  alignas(16) std::array<uint8_t, 64> FPartial{};
};

}  // namespace morvane
