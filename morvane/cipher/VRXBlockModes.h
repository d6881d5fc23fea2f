// The chaining-mode engine shared by the block ciphers (Blowfish, DES, Twofish): ECB, CBC, PCBC,
// CFB and OFB over a block of W 32-bit words, with the registers every component keeps per run.
//
// How a cipher plugs in
// ---------------------
// 1. Write a small core in namespace detail that never throws:
//
//      struct TMyCore {
//        static constexpr size_t kWords = 2;                // 32-bit words per block
//        static constexpr bool kLittleEndianForm = false;   // optional, see "forms" below
//        void Encrypt(uint32_t* x) const noexcept;          // one block, in place
//        void Decrypt(uint32_t* x) const noexcept;
//        // Optional: n independent blocks (n * kWords words) at once, in place. ECB and the
//        // decryption of CBC, PCBC and CFB hand the core up to kBatch blocks per call; a core
//        // that interleaves several blocks hides its table-lookup latency there.
//        void EncryptBlocks(uint32_t* x, size_t n) const noexcept;
//        void DecryptBlocks(uint32_t* x, size_t n) const noexcept;
//      };
//
//    A core is usually a view (pointers to the component's key schedule), made on the stack for
//    each call: it costs nothing and keeps the key material in the component.
//
// 2. Give the component a TChainRegisters<kWords> (the IV, the previous cipher and plain blocks,
//    the OFB register and the block counter). Its start hooks call StartRun() and put the IV into
//    or take it from the leading data; GetIV/SetIV read and write FIV.
//
// 3. EncryptBuffer and DecryptBuffer hand the chunk to TBlockModes<Core>::EncryptBlocks /
//    DecryptBlocks through TCustomVRXCipher::TransformChunk, which feeds whole blocks straight
//    from the chunk buffer and pads the last one exactly as the extract operations would:
//
//      TransformChunk<8>(btPlainText, btCipherText, [&](const uint8_t* in, uint8_t* out,
//                                                     size_t n) {
//        detail::TBlockModes<TMyCore>::EncryptBlocks(core, FChain, GetMode(), in, out, n);
//      });
//
//    The per-block operations (EncryptCBC, DecryptCFB, ...) are also offered for a component's
//    own EncryptCBC-style methods; like those, they do not advance the block counter.
//
// Forms. A block's bytes enter the mode as the words the extract operations deliver (the stored
// form: each word big-endian). A cipher whose atoms expect other words (Twofish works on
// little-endian words) sets kLittleEndianForm: the engine then loads and stores its blocks as
// little-endian words (the cipher form), keeps FIV and FOFBRegister in cipher form, and keeps
// FPrevCipher and FPrevPlain in stored form, xoring them unconverted into cipher-form blocks,
// which is how such a component chains. With kLittleEndianForm false both forms coincide.
//
// The mode is read once per call, i.e. once per chunk: a progress handler that changes Mode
// switches it from the next chunk on, as reading it per block would.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "morvane/cipher/VRXCipherConst.h"
#include "morvane/framework/Endian.h"

namespace morvane::detail {

// Raises EVRXOutOfRange for an IV word index outside 0..Words-1 of the cipher named.
[[noreturn]] void IVIndexOutOfRange(int32_t Index, size_t Words, const char* Cipher);

// The chaining state of a block-cipher component. FIV is the component's IV, kept between runs
// (CFB overwrites it with each keystream block); the other registers belong to the current run.
template <size_t W>
struct TChainRegisters {
  std::array<uint32_t, W> FIV{};
  std::array<uint32_t, W> FPrevCipher{};
  std::array<uint32_t, W> FPrevPlain{};
  std::array<uint32_t, W> FOFBRegister{};
  int32_t FBlockCount = 0;

  // What every start hook does: the block counter and the previous blocks start from zero; the
  // IV and the OFB register carry over.
  void StartRun() noexcept {
    FPrevCipher.fill(0);
    FPrevPlain.fill(0);
    FBlockCount = 0;
  }

  // IV word Index, for a component's GetIV and SetIV: an index outside 0..W-1 raises
  // EVRXOutOfRange naming Cipher.
  uint32_t& IVWord(int32_t Index, const char* Cipher) {
    CheckIVIndex(Index, Cipher);
    return FIV[static_cast<size_t>(Index)];
  }
  uint32_t IVWord(int32_t Index, const char* Cipher) const {
    CheckIVIndex(Index, Cipher);
    return FIV[static_cast<size_t>(Index)];
  }

 private:
  static void CheckIVIndex(int32_t Index, const char* Cipher) {
    if (Index < 0 || static_cast<size_t>(Index) >= W) IVIndexOutOfRange(Index, W, Cipher);
  }
};

template <class Core>
class TBlockModes {
 public:
  static constexpr size_t W = Core::kWords;
  static constexpr size_t kBlockBytes = 4 * W;
  // Blocks per call of the core's multi-block operations.
  static constexpr size_t kBatch = 8;
  using TRegisters = TChainRegisters<W>;
  using TBlock = std::array<uint32_t, W>;

  // ---- One block in cipher form through a mode. These read the registers (CFB rewrites FIV,
  // OFB its register) but leave the previous blocks and the counter to the caller.

  static void EncryptCBC(const Core& C, TRegisters& R, uint32_t* x) noexcept {
    Xor(x, R.FBlockCount == 0 ? R.FIV.data() : R.FPrevCipher.data());
    C.Encrypt(x);
  }
  static void DecryptCBC(const Core& C, TRegisters& R, uint32_t* x) noexcept {
    C.Decrypt(x);
    Xor(x, R.FBlockCount == 0 ? R.FIV.data() : R.FPrevCipher.data());
  }
  static void EncryptPCBC(const Core& C, TRegisters& R, uint32_t* x) noexcept {
    const TBlock chain = PcbcChain(R);
    Xor(x, chain.data());
    C.Encrypt(x);
  }
  static void DecryptPCBC(const Core& C, TRegisters& R, uint32_t* x) noexcept {
    const TBlock chain = PcbcChain(R);
    C.Decrypt(x);
    Xor(x, chain.data());
  }
  // CFB and OFB: the same operation in both directions.
  static void EncryptCFB(const Core& C, TRegisters& R, uint32_t* x) noexcept {
    if (R.FBlockCount > 0) R.FIV = R.FPrevCipher;
    C.Encrypt(R.FIV.data());
    Xor(x, R.FIV.data());
  }
  static void DecryptCFB(const Core& C, TRegisters& R, uint32_t* x) noexcept {
    EncryptCFB(C, R, x);
  }
  static void EncryptOFB(const Core& C, TRegisters& R, uint32_t* x) noexcept {
    if (R.FBlockCount == 0) R.FOFBRegister = R.FIV;
    C.Encrypt(R.FOFBRegister.data());
    Xor(x, R.FOFBRegister.data());
  }
  static void DecryptOFB(const Core& C, TRegisters& R, uint32_t* x) noexcept {
    EncryptOFB(C, R, x);
  }

  // One of the operations above on a block given as its W words (each in cipher form), for the
  // EncryptCBC-style methods of a component that take the words one by one.
  template <void (*Op)(const Core&, TRegisters&, uint32_t*), class... TWord>
  requires(sizeof...(TWord) == W) static void OneBlock(const Core& C, TRegisters& R,
                                                       TWord&... Words) noexcept {
    uint32_t x[W] = {Words...};
    Op(C, R, x);
    size_t i = 0;
    ((Words = x[i++]), ...);
  }

  // ---- n whole blocks from bytes to bytes (In == Out allowed, no other overlap), with every
  // register update of the chunk loop: after each block the previous plain and cipher blocks
  // are that block's (stored form) and the counter has advanced.

  static void EncryptBlocks(const Core& C, TRegisters& R, TCipherMode Mode, const uint8_t* In,
                            uint8_t* Out, size_t n) noexcept {
    if (n == 0) return;
    const TBlock lastPlain = LoadStored(In + (n - 1) * kBlockBytes);
    switch (Mode) {
      case cipherCBC:
        EncryptCbcRun(C, R, In, Out, n);
        break;
      case cipherCFB:
        EncryptCfbRun(C, R, In, Out, n);
        break;
      case cipherOFB:
        OfbRun(C, R, In, Out, n);
        break;
      case cipherPCBC:
        EncryptPcbcRun(C, R, In, Out, n);
        break;
      default:
        EcbRun<true>(C, In, Out, n);
        break;
    }
    R.FPrevPlain = lastPlain;
    R.FPrevCipher = LoadStored(Out + (n - 1) * kBlockBytes);
    Advance(R, n);
  }

  static void DecryptBlocks(const Core& C, TRegisters& R, TCipherMode Mode, const uint8_t* In,
                            uint8_t* Out, size_t n) noexcept {
    if (n == 0) return;
    const TBlock lastCipher = LoadStored(In + (n - 1) * kBlockBytes);
    switch (Mode) {
      case cipherCBC:
        DecryptCbcRun(C, R, In, Out, n);
        break;
      case cipherCFB:
        DecryptCfbRun(C, R, In, Out, n);
        break;
      case cipherOFB:
        OfbRun(C, R, In, Out, n);
        break;
      case cipherPCBC:
        DecryptPcbcRun(C, R, In, Out, n);
        break;
      default:
        EcbRun<false>(C, In, Out, n);
        break;
    }
    R.FPrevCipher = lastCipher;
    R.FPrevPlain = LoadStored(Out + (n - 1) * kBlockBytes);
    Advance(R, n);
  }

  // ---- Conversions between bytes and the two forms.

  static constexpr bool LittleEndianForm() {
    if constexpr (requires { Core::kLittleEndianForm; }) {
      return Core::kLittleEndianForm;
    } else {
      return false;
    }
  }
  // Bytes to cipher form.
  static void Load(const uint8_t* p, uint32_t* x) noexcept {
    for (size_t j = 0; j < W; ++j)
      x[j] = LittleEndianForm() ? LoadLE32(p + 4 * j) : LoadBE32(p + 4 * j);
  }
  // Cipher form to bytes.
  static void Store(uint8_t* p, const uint32_t* x) noexcept {
    for (size_t j = 0; j < W; ++j) {
      if constexpr (LittleEndianForm()) {
        StoreLE32(p + 4 * j, x[j]);
      } else {
        StoreBE32(p + 4 * j, x[j]);
      }
    }
  }
  // Bytes to stored form (the words the extract operations deliver).
  static TBlock LoadStored(const uint8_t* p) noexcept {
    TBlock s;
    for (size_t j = 0; j < W; ++j) s[j] = LoadBE32(p + 4 * j);
    return s;
  }
  // A block in cipher form, as the stored-form words of the same bytes.
  static uint32_t Stored(uint32_t CipherWord) noexcept {
    return LittleEndianForm() ? ByteSwap32(CipherWord) : CipherWord;
  }

 private:
  static void Xor(uint32_t* x, const uint32_t* y) noexcept {
    for (size_t j = 0; j < W; ++j) x[j] ^= y[j];
  }
  static TBlock PcbcChain(const TRegisters& R) noexcept {
    if (R.FBlockCount == 0) return R.FIV;
    TBlock chain;
    for (size_t j = 0; j < W; ++j) chain[j] = R.FPrevCipher[j] ^ R.FPrevPlain[j];
    return chain;
  }
  static void Advance(TRegisters& R, size_t n) noexcept {
    // The counter only tells the first block from the others; a run holds fewer than 2^31
    // blocks, but it must never wrap back to 0.
    const int64_t next = int64_t{R.FBlockCount} + static_cast<int64_t>(n);
    R.FBlockCount = next > INT32_MAX ? INT32_MAX : static_cast<int32_t>(next);
  }

  static void EncryptMany(const Core& C, uint32_t* x, size_t n) noexcept {
    if constexpr (requires { C.EncryptBlocks(x, n); }) {
      C.EncryptBlocks(x, n);
    } else {
      for (size_t i = 0; i < n; ++i) C.Encrypt(x + i * W);
    }
  }
  static void DecryptMany(const Core& C, uint32_t* x, size_t n) noexcept {
    if constexpr (requires { C.DecryptBlocks(x, n); }) {
      C.DecryptBlocks(x, n);
    } else {
      for (size_t i = 0; i < n; ++i) C.Decrypt(x + i * W);
    }
  }

  template <bool Encrypting>
  static void EcbRun(const Core& C, const uint8_t* In, uint8_t* Out, size_t n) noexcept {
    uint32_t buf[kBatch * W];
    while (n > 0) {
      const size_t m = n < kBatch ? n : kBatch;
      for (size_t i = 0; i < m; ++i) Load(In + i * kBlockBytes, buf + i * W);
      if constexpr (Encrypting) {
        EncryptMany(C, buf, m);
      } else {
        DecryptMany(C, buf, m);
      }
      for (size_t i = 0; i < m; ++i) Store(Out + i * kBlockBytes, buf + i * W);
      In += m * kBlockBytes;
      Out += m * kBlockBytes;
      n -= m;
    }
  }

  // CBC encryption is serial: each block waits for the one before.
  static void EncryptCbcRun(const Core& C, TRegisters& R, const uint8_t* In, uint8_t* Out,
                            size_t n) noexcept {
    TBlock chain = R.FBlockCount == 0 ? R.FIV : R.FPrevCipher;
    uint32_t x[W];
    for (size_t i = 0; i < n; ++i, In += kBlockBytes, Out += kBlockBytes) {
      Load(In, x);
      Xor(x, chain.data());
      C.Encrypt(x);
      Store(Out, x);
      for (size_t j = 0; j < W; ++j) chain[j] = Stored(x[j]);
    }
  }

  static void DecryptCbcRun(const Core& C, TRegisters& R, const uint8_t* In, uint8_t* Out,
                            size_t n) noexcept {
    TBlock chain = R.FBlockCount == 0 ? R.FIV : R.FPrevCipher;
    uint32_t buf[kBatch * W];
    uint32_t next[kBatch * W];
    while (n > 0) {
      const size_t m = n < kBatch ? n : kBatch;
      for (size_t i = 0; i < m; ++i) {
        Load(In + i * kBlockBytes, buf + i * W);
        for (size_t j = 0; j < W; ++j) next[i * W + j] = Stored(buf[i * W + j]);
      }
      DecryptMany(C, buf, m);
      for (size_t i = 0; i < m; ++i) {
        uint32_t* x = buf + i * W;
        Xor(x, chain.data());
        for (size_t j = 0; j < W; ++j) chain[j] = next[i * W + j];
        Store(Out + i * kBlockBytes, x);
      }
      In += m * kBlockBytes;
      Out += m * kBlockBytes;
      n -= m;
    }
  }

  static void EncryptPcbcRun(const Core& C, TRegisters& R, const uint8_t* In, uint8_t* Out,
                             size_t n) noexcept {
    TBlock chain = PcbcChain(R);
    uint32_t p[W];
    uint32_t x[W];
    for (size_t i = 0; i < n; ++i, In += kBlockBytes, Out += kBlockBytes) {
      Load(In, p);
      for (size_t j = 0; j < W; ++j) x[j] = p[j] ^ chain[j];
      C.Encrypt(x);
      Store(Out, x);
      for (size_t j = 0; j < W; ++j) chain[j] = Stored(x[j]) ^ Stored(p[j]);
    }
  }

  static void DecryptPcbcRun(const Core& C, TRegisters& R, const uint8_t* In, uint8_t* Out,
                             size_t n) noexcept {
    TBlock chain = PcbcChain(R);
    uint32_t buf[kBatch * W];
    uint32_t cipher[kBatch * W];
    while (n > 0) {
      const size_t m = n < kBatch ? n : kBatch;
      for (size_t i = 0; i < m; ++i) {
        Load(In + i * kBlockBytes, buf + i * W);
        for (size_t j = 0; j < W; ++j) cipher[i * W + j] = Stored(buf[i * W + j]);
      }
      DecryptMany(C, buf, m);
      for (size_t i = 0; i < m; ++i) {
        uint32_t* x = buf + i * W;
        Xor(x, chain.data());
        for (size_t j = 0; j < W; ++j) chain[j] = cipher[i * W + j] ^ Stored(x[j]);
        Store(Out + i * kBlockBytes, x);
      }
      In += m * kBlockBytes;
      Out += m * kBlockBytes;
      n -= m;
    }
  }

  // CFB: the IV register is the feedback register; after the run it holds the last keystream
  // block.
  static void EncryptCfbRun(const Core& C, TRegisters& R, const uint8_t* In, uint8_t* Out,
                            size_t n) noexcept {
    TBlock k = R.FBlockCount == 0 ? R.FIV : R.FPrevCipher;
    uint32_t x[W];
    for (size_t i = 0; i < n; ++i, In += kBlockBytes, Out += kBlockBytes) {
      if (i > 0) {
        for (size_t j = 0; j < W; ++j) k[j] = Stored(x[j]);
      }
      C.Encrypt(k.data());
      Load(In, x);
      Xor(x, k.data());
      Store(Out, x);
    }
    R.FIV = k;
  }

  // CFB decryption knows every feedback block in advance: the keystream is computed a batch at
  // a time.
  static void DecryptCfbRun(const Core& C, TRegisters& R, const uint8_t* In, uint8_t* Out,
                            size_t n) noexcept {
    TBlock feedback = R.FBlockCount == 0 ? R.FIV : R.FPrevCipher;
    uint32_t keys[kBatch * W];
    uint32_t x[W];
    while (n > 0) {
      const size_t m = n < kBatch ? n : kBatch;
      for (size_t i = 0; i < m; ++i) {
        for (size_t j = 0; j < W; ++j) keys[i * W + j] = feedback[j];
        feedback = LoadStored(In + i * kBlockBytes);
      }
      EncryptMany(C, keys, m);
      for (size_t i = 0; i < m; ++i) {
        Load(In + i * kBlockBytes, x);
        Xor(x, keys + i * W);
        Store(Out + i * kBlockBytes, x);
      }
      for (size_t j = 0; j < W; ++j) R.FIV[j] = keys[(m - 1) * W + j];
      In += m * kBlockBytes;
      Out += m * kBlockBytes;
      n -= m;
    }
  }

  static void OfbRun(const Core& C, TRegisters& R, const uint8_t* In, uint8_t* Out,
                     size_t n) noexcept {
    TBlock o = R.FBlockCount == 0 ? R.FIV : R.FOFBRegister;
    uint32_t x[W];
    for (size_t i = 0; i < n; ++i, In += kBlockBytes, Out += kBlockBytes) {
      C.Encrypt(o.data());
      Load(In, x);
      Xor(x, o.data());
      Store(Out, x);
    }
    R.FOFBRegister = o;
  }
};

}  // namespace morvane::detail
