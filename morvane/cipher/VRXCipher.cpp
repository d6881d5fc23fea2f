#include "morvane/cipher/VRXCipher.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

#include "morvane/framework/Exceptions.h"
#include "morvane/framework/Files.h"
#include "morvane/framework/Guid.h"
#include "morvane/framework/SecureWipe.h"

namespace morvane {

namespace {

constexpr const char* kUnit = "VRXCipher";
// Both texts are Windows-1252 and begin with a blank.
constexpr const char* kNoInputBlock =
    " El tama\xF1o del bloque de encriptaci\xF3n de entrada es cero!";
constexpr const char* kNoOutputBlock =
    " El tama\xF1o del bloque de encriptaci\xF3n de salida es cero!";

// Memory of one run (a chunk buffer, the leading or trailing block). Small runs use the inline
// area and allocate nothing; larger ones allocate on first use. When the run ends, however it
// ends, what was written into it is wiped: all of it once Data() handed it out, or as far as
// Wrote() reports for memory taken with Room(). A chunk that is never used, or mostly unused (a
// digest's output chunk of a megabyte holds its 20 bytes), is then never touched: touching it
// would cost more than the run.
class TRunBuffer {
 public:
  explicit TRunBuffer(int32_t Size) : FSize(Size) {}
  ~TRunBuffer() {
    if (FWritten > 0) SecureWipe(Base(), static_cast<size_t>(FWritten));
  }
  TRunBuffer(const TRunBuffer&) = delete;
  TRunBuffer& operator=(const TRunBuffer&) = delete;

  // The whole buffer, all of it to be wiped.
  uint8_t* Data() {
    FWritten = FSize;
    return Base();
  }
  // The buffer, for a writer that reports with Wrote how far it writes.
  uint8_t* Room() { return Base(); }
  void Wrote(int32_t n) noexcept {
    if (n > FWritten) FWritten = std::min(n, FSize);
  }
  int32_t Size() const noexcept { return FSize; }

 private:
  uint8_t* Base() {
    if (FSize <= static_cast<int32_t>(sizeof FInline)) return FInline;
    if (!FHeap) FHeap = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(FSize));
    return FHeap.get();
  }

  int32_t FSize;
  int32_t FWritten = 0;
  std::unique_ptr<uint8_t[]> FHeap;
  alignas(16) uint8_t FInline[256];
};

// Bytes a chunk buffer must hold: a full chunk, or less when the whole run needs less.
// (Divisions are avoided where they are not needed: they cost more than a short string's run.)
int32_t ChunkRoom(int32_t ChunkBytes, int64_t RunBytes, int32_t Block) {
  if (RunBytes >= ChunkBytes) return ChunkBytes;
  if (RunBytes <= Block) return Block;
  const auto run = static_cast<int32_t>(RunBytes);  // below ChunkBytes
  return (run / Block + (run % Block != 0)) * Block;
}

// The output chunk for an input chunk of InRoom bytes.
int32_t OutputRoom(int32_t InRoom, int32_t InBlock, int32_t OutBlock) {
  return InBlock == OutBlock ? InRoom : (InRoom / InBlock) * OutBlock;
}

// Clears the run's pointers into memory that is about to go, whatever ends the run.
class TRunScope {
 public:
  TRunScope(std::array<const uint8_t*, 2>& In, std::array<uint8_t*, 2>& Out,
            std::array<int32_t, 2>& Room)
      : FIn(In), FOut(Out), FRoom(Room) {}
  ~TRunScope() {
    FIn = {nullptr, nullptr};
    FOut = {nullptr, nullptr};
    FRoom = {0, 0};
  }
  TRunScope(const TRunScope&) = delete;
  TRunScope& operator=(const TRunScope&) = delete;

 private:
  std::array<const uint8_t*, 2>& FIn;
  std::array<uint8_t*, 2>& FOut;
  std::array<int32_t, 2>& FRoom;
};

// The size a run's output will likely have, as a capacity hint (exact for the block ciphers).
size_t OutputHint(int64_t InBytes, int32_t InBlock, int32_t OutBlock, int32_t Framing) {
  if (InBlock <= 0 || OutBlock <= 0) return 0;
  if (InBlock == OutBlock) return static_cast<size_t>(InBytes + OutBlock + Framing);
  return static_cast<size_t>((InBytes / InBlock + 1) * OutBlock + Framing);
}

}  // namespace

void CheckDistinctFiles(const std::string& SourceFile, const std::string& DestFile) {
  if (SameFile(SourceFile, DestFile))
    throw EFCreateError("Cannot create file \"" + DestFile + "\": it is the source file itself");
}

void CheckLayoutSize(int64_t Size, const char* What) {
  if (Size > INT32_MAX)
    throw ERangeError(std::string("The ") + What + " holds " + std::to_string(Size) +
                      " bytes; the layouts hold sizes below 2 GiB (2147483648 bytes)");
}

// ---- Construction

TCustomVRXCipher::TCustomVRXCipher(TComponent* AOwner) : TComponent(AOwner) {}

TCustomVRXCipher::~TCustomVRXCipher() {
  SecureWipe(FKey);
  SecureWipe(FPadBuffer.data(), FPadBuffer.size());
}

// ---- Key

void TCustomVRXCipher::SetKey(std::string_view Value) {
  std::string next(Value);
  SecureWipe(FKey);
  FKey = std::move(next);
  FKeyProcessed = false;
}

int32_t TCustomVRXCipher::GetKeyLength() const {
  return static_cast<int32_t>(FKey.size());
}

void TCustomVRXCipher::SetKeyLength(int32_t Value) {
  FKeyProcessed = false;
  if (Value < 1) Value = 1;
  if (static_cast<size_t>(Value) < FKey.size()) {
    SecureWipe(FKey.data() + Value, FKey.size() - static_cast<size_t>(Value));
  }
  // Growing may move the key: copy it, wipe the old bytes, keep the copy.
  std::string next(static_cast<size_t>(Value), '\0');
  std::copy_n(FKey.data(), std::min(FKey.size(), next.size()), next.data());
  SecureWipe(FKey);
  FKey = std::move(next);
}

uint8_t TCustomVRXCipher::GetKeyByte(int32_t Index) const {
  if (Index < 0 || Index >= GetKeyLength()) throw EVRXOutOfRange();
  return static_cast<uint8_t>(FKey[static_cast<size_t>(Index)]);
}

void TCustomVRXCipher::SetKeyByte(int32_t Index, uint8_t Value) {
  if (Index < 0 || Index >= GetKeyLength()) throw EVRXOutOfRange();
  FKeyProcessed = false;
  FKey[static_cast<size_t>(Index)] = static_cast<char>(Value);
}

void TCustomVRXCipher::SetMode(TCipherMode Value) {
  FMode = Value;
}

// ---- Hooks

void TCustomVRXCipher::ResetPadding(int32_t PadBytes) {
  FEndOfData = false;
  // Cleared by SecureWipe, an out-of-line call into the C library's memset: several times faster
  // than the inline stores the compiler emits for a fixed 1 KiB, and what the last run left there
  // does not linger.
  if (PadBytes > 0) {
    SecureWipe(FPadBuffer.data(), static_cast<size_t>(std::min<int32_t>(PadBytes, 1024)));
  }
  FPadSize = 1024;
  FPadPos = 0;
}

void TCustomVRXCipher::AppendPadding(std::span<const uint8_t> Bytes) {
  if (Bytes.size() > FPadBuffer.size()) {
    AssertionFailure(
        "Padding of " + std::to_string(Bytes.size()) + " bytes exceeds the padding buffer", kUnit);
  }
  std::copy(Bytes.begin(), Bytes.end(), FPadBuffer.begin());
  FRemaining += static_cast<int64_t>(Bytes.size());
}

void TCustomVRXCipher::StartEncryption(uint8_t* /*LeadingData*/) {
  BeginRun(1024);
}

void TCustomVRXCipher::StartDecryption(uint8_t* /*LeadingData*/) {
  BeginRun(1024);
}

// ---- Extract and insert

namespace {

// Copies n bytes; below 64 as two fixed-size copies that may overlap, which compile to a few
// moves (a library call costs more than such a copy).
[[gnu::always_inline]] inline void CopyBytes(uint8_t* d, const uint8_t* s, size_t n) {
  if (n >= 32) {
    if (n >= 64) {
      std::memcpy(d, s, n);
      return;
    }
    std::memcpy(d, s, 32);
    std::memcpy(d + n - 32, s + n - 32, 32);
  } else if (n >= 8) {
    if (n >= 16) {
      std::memcpy(d, s, 16);
      std::memcpy(d + n - 16, s + n - 16, 16);
    } else {
      std::memcpy(d, s, 8);
      std::memcpy(d + n - 8, s + n - 8, 8);
    }
  } else if (n >= 4) {
    std::memcpy(d, s, 4);
    std::memcpy(d + n - 4, s + n - 4, 4);
  } else if (n > 0) {
    d[0] = s[0];
    d[n / 2] = s[n / 2];
    d[n - 1] = s[n - 1];
  }
}

}  // namespace

void TCustomVRXCipher::ExtractBytes(TBufferType BufferType, uint8_t* Dest, int32_t Count) {
  const int32_t direct = std::min(DirectBytes(BufferType), Count);
  if (direct > 0) CopyBytes(Dest, TakeDirect(BufferType, direct), static_cast<size_t>(direct));
  // The rest comes from the padding buffer, as ExtractByte would serve it: up to the end of the
  // buffer, then the assertion.
  const int32_t pad = Count - direct;
  if (pad <= 0) return;
  const int32_t served = std::min(pad, std::max(FPadSize - FPadPos, 0));
  if (served > 0) {
    CopyBytes(Dest + direct, FPadBuffer.data() + FPadPos, static_cast<size_t>(served));
    FPadPos += served;
    FRemaining -= served;
    FEndOfData = true;
  }
  if (served < pad) ExtractPadByte();
}

uint8_t TCustomVRXCipher::ExtractPadByte() {
  if (FPadPos >= FPadSize) {
    AssertionFailure("Request for data exceeded message and padding buffer", kUnit);
  }
  --FRemaining;
  FEndOfData = true;
  return FPadBuffer[static_cast<size_t>(FPadPos++)];
}

void TCustomVRXCipher::OutputOverflow() const {
  AssertionFailure("Output exceeded the chunk buffer", kUnit);
}

int32_t TCustomVRXCipher::CipherTextLength(int32_t Size) const {
  if (FPlainBlockSize == 0) AssertionFailure(kNoInputBlock, kUnit);
  int64_t q = Size / FPlainBlockSize;
  if (Size % FPlainBlockSize != 0) ++q;
  // Sizes within a block of 2^31 round up past the largest size: no length can be returned
  // (a wrapped, negative one would be taken for a length).
  const int64_t length = q * FPlainBlockSize;
  if (length > INT32_MAX) {
    throw ERangeError(std::to_string(Size) + " bytes round up to " + std::to_string(length) +
                      ", past the largest size (2147483647 bytes)");
  }
  return static_cast<int32_t>(length);
}

// The messages are only built when the check fails: these run at the start of every run.
void TCustomVRXCipher::CheckRunGeometry(int32_t InBlock, int32_t OutBlock) const {
  if (FBufferSize < 1) {
    AssertionFailure(
        "BufferSize must be at least 1 block (it is " + std::to_string(FBufferSize) + ")", kUnit);
  }
  const int64_t largest = int64_t{FBufferSize} * std::max(InBlock, OutBlock);
  if (largest > INT32_MAX) {
    AssertionFailure(
        "BufferSize " + std::to_string(FBufferSize) + " makes a chunk larger than 2147483647 bytes",
        kUnit);
  }
}

// ---- The run: one chunk loop for streams and strings

namespace {

// Where a run's input comes from. Take(p, want) makes up to want bytes available at p and
// returns their count (fewer only at the end of the data); TakeExact copies exactly n bytes or
// raises the stream read error.
class TStreamInput {
 public:
  TStreamInput(TStream& Source, TRunBuffer& Chunk) : FSource(Source), FChunk(Chunk) {}
  // A stream may deliver fewer bytes than asked (a pipe does) without being at its end: the
  // chunk is read until it is full or the stream has no more.
  int32_t Take(const uint8_t*& p, int32_t want) {
    if (want <= 0) {
      // Nothing to read: the chunk stays where it was (allocating it would be for nothing).
      if (p == nullptr) p = FChunk.Room();
      return 0;
    }
    // A source that holds its bytes in memory is used in place, as TMemoryInput does.
    int32_t got = 0;
    if (const uint8_t* inPlace = FSource.ReadInPlace(want, got)) {
      p = inPlace;
      return got;
    }
    uint8_t* chunk = FChunk.Room();
    p = chunk;
    FChunk.Wrote(want);  // before the reads, which may fill the chunk and then fail
    int32_t done = 0;
    while (done < want) {
      const int32_t n = FSource.Read(chunk + done, want - done);
      if (n <= 0) break;
      done += n;
    }
    return done;
  }
  void TakeExact(uint8_t* p, int32_t n) { FSource.ReadBuffer(p, n); }

 private:
  TStream& FSource;
  TRunBuffer& FChunk;
};

// The bytes of a string, used in place: the input chunk is a window on them.
class TMemoryInput {
 public:
  explicit TMemoryInput(std::string_view Bytes) : FData(Bytes) {}
  int32_t Take(const uint8_t*& p, int32_t want) {
    const auto n = static_cast<int32_t>(std::min<size_t>(want > 0 ? want : 0, FData.size()));
    p = reinterpret_cast<const uint8_t*>(FData.data());
    FData.remove_prefix(static_cast<size_t>(n));
    return n;
  }
  void TakeExact(uint8_t* p, int32_t n) {
    if (FData.size() < static_cast<size_t>(n)) throw EReadError("Stream read error");
    std::memcpy(p, FData.data(), static_cast<size_t>(n));
    FData.remove_prefix(static_cast<size_t>(n));
  }

 private:
  std::string_view FData;
};

// Where a run's output goes. Room(n) is a chunk of n writable bytes for the next output;
// Put(p, n) appends n bytes (p is usually the chunk that Room gave).
class TStreamOutput {
 public:
  TStreamOutput(TStream& Dest, TRunBuffer& Chunk) : FDest(Dest), FChunk(Chunk) {}
  uint8_t* Room(int32_t /*n*/) { return FChunk.Room(); }
  // Where a start hook writes the leading data.
  uint8_t* Leading(int32_t /*n*/, TRunBuffer& Spare) { return Spare.Data(); }
  // The stream must take all of it: a short write would lose data silently.
  void Put(const uint8_t* p, int32_t n) {
    FChunk.Wrote(n);
    if (n > 0) FDest.WriteBuffer(p, n);
  }
  // The hooks filled n bytes of the chunk (the run reports it however it ends).
  void Filled(int32_t n) { FChunk.Wrote(n); }

 private:
  TStream& FDest;
  TRunBuffer& FChunk;
};

// Output appended to a string from a chunk of its own, for the digests: they write only the
// digest, at the end, so sizing the string for whole chunks would cost more. The chunk holds
// nothing but what the caller receives, so it is not wiped.
class TAppendOutput {
 public:
  TAppendOutput(std::string& Out, int32_t ChunkRoom) : FOut(Out) {
    if (ChunkRoom > static_cast<int32_t>(sizeof FInline)) {
      FHeap = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(ChunkRoom));
    }
  }
  uint8_t* Room(int32_t /*n*/) { return FHeap ? FHeap.get() : FInline; }
  uint8_t* Leading(int32_t /*n*/, TRunBuffer& Spare) { return Spare.Data(); }
  void Put(const uint8_t* p, int32_t n) {
    if (n > 0) FOut.append(reinterpret_cast<const char*>(p), static_cast<size_t>(n));
  }
  void Filled(int32_t /*n*/) {}

 private:
  std::string& FOut;
  std::unique_ptr<uint8_t[]> FHeap;
  alignas(16) uint8_t FInline[128];
};

// The result string itself is the output chunk, so nothing is copied.
class TStringOutput {
 public:
  // Output goes from Pos on; the string's size beyond it is room (see Finish).
  TStringOutput(std::string& Out, size_t Pos) : FOut(Out), FPos(Pos) {}
  uint8_t* Room(int32_t n) {
    if (FOut.size() < FPos + static_cast<size_t>(n)) FOut.resize(FPos + static_cast<size_t>(n));
    return reinterpret_cast<uint8_t*>(FOut.data()) + FPos;
  }
  void Put(const uint8_t* p, int32_t n) {
    if (n <= 0) return;
    // p may lie in the string (a chunk that Room gave earlier), which Room may move.
    const auto* base = reinterpret_cast<const uint8_t*>(FOut.data());
    const bool inside = p >= base && p < base + FOut.size();
    const auto offset = static_cast<size_t>(p - base);
    uint8_t* at = Room(n);
    if (inside) p = reinterpret_cast<const uint8_t*>(FOut.data()) + offset;
    if (p != at) std::memmove(at, p, static_cast<size_t>(n));
    FPos += static_cast<size_t>(n);
  }
  uint8_t* Leading(int32_t n, TRunBuffer& /*Spare*/) { return Room(n); }
  void Filled(int32_t /*n*/) {}
  // Drops the room that was not used.
  void Finish() { FOut.resize(FPos); }

 private:
  std::string& FOut;
  size_t FPos;
};

// Tells the output how far the hooks filled its chunk when the run ends, also by an exception
// (a cancel comes after the chunk was transformed and before it is put).
template <class TOutput>
class TFillReport {
 public:
  TFillReport(TOutput& Output, const int32_t& Fill) : FOutput(Output), FFill(Fill) {}
  ~TFillReport() { FOutput.Filled(FFill); }
  TFillReport(const TFillReport&) = delete;
  TFillReport& operator=(const TFillReport&) = delete;

 private:
  TOutput& FOutput;
  const int32_t& FFill;
};

}  // namespace

template <class TInput, class TOutput>
void TCustomVRXCipher::RunEncryption(TInput& Input, TOutput& Output, int32_t Size, int32_t InRoom) {
  const int32_t outRoom = OutputRoom(InRoom, FPlainBlockSize, FCipherBlockSize);
  TRunBuffer leading(FLeadingDataSize);
  TRunBuffer trailing(FTrailingDataSize);
  TRunScope scope(FInChunk, FOutChunk, FBufferRoom);
  FBufferRoom = {InRoom, outRoom};
  FBufferPos = {0, 0};
  FBufferFill = {0, 0};
  TFillReport<TOutput> report(Output, FBufferFill[btCipherText]);

  FOutChunk[btCipherText] = Output.Room(outRoom);
  FRunInput = btPlainText;
  FDataSize[btPlainText] = Size;
  FDataPos = {0, 0};
  FRemaining = Size;
  uint8_t* lead = FLeadingDataSize > 0 ? Output.Leading(FLeadingDataSize, leading) : nullptr;
  StartEncryption(lead);
  if (FLeadingDataSize > 0) Output.Put(lead, FLeadingDataSize);

  int64_t unread = Size > 0 ? Size : 0;
  uint8_t m = 0;
  do {
    // Without a new chunk (a start hook extended the run past the data), the output goes on
    // in the same chunk.
    if (!FEndOfData) {
      FOutChunk[btCipherText] = Output.Room(outRoom);
      const auto want = static_cast<int32_t>(std::min<int64_t>(InRoom, unread));
      const int32_t got = Input.Take(FInChunk[btPlainText], want);
      if (got < want) {
        throw EReadError("Stream read error: the source ended " + std::to_string(unread - got) +
                         " bytes before the size given");
      }
      unread -= got;
      FBufferFill[btPlainText] = got;
      FBufferPos = {0, 0};
      FBufferFill[btCipherText] = 0;
    }
    EncryptBuffer();
    ++m;
    if (FOnProgress) {
      bool abort = false;
      FOnProgress(m, abort);
      if (abort) throw EVRXEncryptCancel();
    }
    Output.Put(FOutChunk[btCipherText], FBufferFill[btCipherText]);
  } while (FRemaining > 0);

  FOutChunk[btCipherText] = Output.Room(outRoom);
  FBufferFill[btCipherText] = 0;
  FBufferPos[btCipherText] = 0;
  EndEncryption(FTrailingDataSize > 0 ? trailing.Data() : nullptr);
  Output.Put(FOutChunk[btCipherText], FBufferFill[btCipherText]);
  if (FTrailingDataSize > 0) Output.Put(trailing.Data(), FTrailingDataSize);
}

template <class TInput, class TOutput>
void TCustomVRXCipher::RunDecryption(TInput& Input, TOutput& Output, int32_t Body, int32_t InRoom) {
  const int32_t in = FBufferSize * FCipherBlockSize;
  const int32_t outRoom = DecryptionOutputRoom(InRoom);
  TRunBuffer leading(FLeadingDataSize);
  TRunBuffer trailing(FTrailingDataSize);
  TRunScope scope(FInChunk, FOutChunk, FBufferRoom);
  FBufferRoom = {outRoom, InRoom};
  FBufferPos = {0, 0};
  FBufferFill = {0, 0};
  TFillReport<TOutput> report(Output, FBufferFill[btPlainText]);

  FOutChunk[btPlainText] = Output.Room(outRoom);
  int32_t r = Body;
  FRunInput = btCipherText;
  FDataSize[btCipherText] = r;
  FDataPos = {0, 0};
  if (FLeadingDataSize > 0) Input.TakeExact(leading.Data(), FLeadingDataSize);
  StartDecryption(FLeadingDataSize > 0 ? leading.Data() : nullptr);

  int32_t bodyRead = 0;
  uint8_t m = 0;
  do {
    if (!FEndOfData) {
      FOutChunk[btPlainText] = Output.Room(outRoom);
      const int32_t want = std::min(InRoom, r);
      const int32_t got = Input.Take(FInChunk[btCipherText], want);
      bodyRead += got;
      // A source that ends early: the blocks end with the data that is there, padded with
      // zero bytes, rather than with stale chunk bytes.
      if (got < want) FDataSize[btCipherText] = bodyRead;
      FBufferFill[btCipherText] = got;
      FBufferPos = {0, 0};
      FBufferFill[btPlainText] = 0;
    }
    DecryptBuffer();
    ++m;
    if (FOnProgress) {
      bool abort = false;
      FOnProgress(m, abort);
      if (abort) throw EVRXDecryptCancel();
    }
    Output.Put(FOutChunk[btPlainText], FBufferFill[btPlainText]);
    r -= FBufferFill[btCipherText];
  } while (FBufferFill[btCipherText] >= in && r > 0);

  if (FTrailingDataSize > 0) Input.TakeExact(trailing.Data(), FTrailingDataSize);
  EndDecryption(FTrailingDataSize > 0 ? trailing.Data() : nullptr);
}

int32_t TCustomVRXCipher::DecryptionOutputRoom(int32_t InRoom) const {
  // CheckRunGeometry has made sure that a full chunk fits 32 bits.
  return FFullDecryptionOutput ? FBufferSize * FPlainBlockSize
                               : OutputRoom(InRoom, FCipherBlockSize, FPlainBlockSize);
}

void TCustomVRXCipher::CheckEncryptionGeometry() const {
  if (FPlainBlockSize == 0) AssertionFailure(kNoInputBlock, kUnit);
  if (FCipherBlockSize == 0) AssertionFailure(kNoOutputBlock, kUnit);
  CheckRunGeometry(FPlainBlockSize, FCipherBlockSize);
}

// The damaged-layout messages name the layout, what it records and what was found; callers
// print them after a phrase such as "damaged or not encrypted with this cipher's layout: ".
int64_t TCustomVRXCipher::CheckDecryptionGeometry(int64_t Size, const char* Layout,
                                                  const char* Around) const {
  if (FCipherBlockSize == 0) AssertionFailure(kNoInputBlock, kUnit);
  if (FPlainBlockSize == 0) AssertionFailure(kNoOutputBlock, kUnit);
  CheckRunGeometry(FCipherBlockSize, FPlainBlockSize);
  const int32_t framing = FLeadingDataSize + FTrailingDataSize;
  const int64_t body = Size - framing;
  if (body < 0) {
    throw EVRXDamagedData(std::string(Layout) + ": " + std::to_string(Size) + " bytes" + Around +
                          ", too short for its " + std::to_string(framing) + " bytes of " +
                          (FTrailingDataSize > 0 ? "leading and trailing data" : "leading data"));
  }
  if (FWholeBlocks && (body == 0 || body % FCipherBlockSize != 0)) {
    throw EVRXDamagedData(
        std::string(Layout) + ": " + std::to_string(body) + " bytes of encrypted data after its " +
        std::to_string(FLeadingDataSize) + " bytes of leading data, not " +
        (body == 0 ? "a single " : "a whole number of ") + std::to_string(FCipherBlockSize) +
        "-byte " + (body == 0 ? "block" : "blocks"));
  }
  return body;
}

// ---- Piecewise runs

void TCustomVRXCipher::CheckPiecewiseGeometry(bool Encrypting) const {
  if (Encrypting) {
    CheckEncryptionGeometry();
  } else {
    if (FCipherBlockSize == 0) AssertionFailure(kNoInputBlock, kUnit);
    if (FPlainBlockSize == 0) AssertionFailure(kNoOutputBlock, kUnit);
    CheckRunGeometry(FCipherBlockSize, FPlainBlockSize);
  }
}

void TCustomVRXCipher::BeginPiecewise(bool Encrypting, uint8_t* LeadingData) {
  CheckPiecewiseGeometry(Encrypting);
  FInChunk = {nullptr, nullptr};
  FOutChunk = {nullptr, nullptr};
  FBufferRoom = {0, 0};
  FBufferPos = {0, 0};
  FBufferFill = {0, 0};
  FDataPos = {0, 0};
  FDataSize = {0, 0};
  FRemaining = 0;
  FRunInput = Encrypting ? btPlainText : btCipherText;
  if (Encrypting) {
    StartEncryption(LeadingData);
  } else {
    StartDecryption(LeadingData);
  }
}

int32_t TCustomVRXCipher::PiecewiseChunk(bool Encrypting, const uint8_t* In, int32_t Count,
                                         bool Last, uint8_t* Out, int32_t OutRoom) {
  const TBufferType in = Encrypting ? btPlainText : btCipherText;
  const TBufferType out = Encrypting ? btCipherText : btPlainText;
  TRunScope scope(FInChunk, FOutChunk, FBufferRoom);
  FInChunk[in] = In;
  FOutChunk[out] = Out;
  FBufferRoom[in] = Count;
  FBufferRoom[out] = OutRoom;
  FBufferPos = {0, 0};
  FBufferFill[in] = Count;
  FBufferFill[out] = 0;
  // A chunk that is not the last has data after it, as in a driver's run (a hook may ask).
  FDataPos = {0, 0};
  FDataSize[in] = Last || Count == INT32_MAX ? Count : Count + 1;
  FDataSize[out] = 0;
  FRemaining = FDataSize[in];
  if (Encrypting) {
    EncryptBuffer();
  } else {
    DecryptBuffer();
  }
  return FBufferFill[out];
}

int32_t TCustomVRXCipher::EndPiecewise(bool Encrypting, uint8_t* Out, int32_t OutRoom,
                                       uint8_t* TrailingData) {
  if (!Encrypting) {
    EndDecryption(TrailingData);
    return 0;
  }
  TRunScope scope(FInChunk, FOutChunk, FBufferRoom);
  FOutChunk[btCipherText] = Out;
  FBufferRoom[btCipherText] = OutRoom;
  FBufferPos[btCipherText] = 0;
  FBufferFill[btCipherText] = 0;
  EndEncryption(TrailingData);
  return FBufferFill[btCipherText];
}

void TCustomVRXCipher::CheckPiecewiseStream(int64_t Size, bool File) const {
  CheckDecryptionGeometry(Size, File ? "encrypted file" : "encrypted stream",
                          File ? " before its size trailer" : "");
}

// ---- The file layout of the block ciphers

int64_t TCustomVRXCipher::FileLargestSource() const {
  return INT32_MAX;
}

std::string TCustomVRXCipher::FileTail(int64_t SourceSize) const {
  CheckLayoutSize(SourceSize, "source");
  std::string trailer(4, '\0');
  StoreLE32(trailer.data(), static_cast<uint32_t>(SourceSize));
  return trailer;
}

int64_t TCustomVRXCipher::ReadFileTail(std::string_view Tail, int64_t StreamSize) {
  if (Tail.size() < 4) {
    throw EVRXDamagedData("encrypted file: " + std::to_string(StreamSize) +
                          " bytes, too short for its 4-byte size trailer");
  }
  const auto n = static_cast<int32_t>(LoadLE32(Tail.data()));
  // The recorded size must take exactly the blocks there are: then only the last block is cut.
  CheckRecordedSize("encrypted file", "size trailer", n,
                    StreamSize - FLeadingDataSize - FTrailingDataSize);
  return n;
}

void TCustomVRXCipher::CheckRecordedSize(const char* Layout, const char* Record, int64_t Recorded,
                                         int64_t Body) const {
  const int64_t blocks = Body / FCipherBlockSize;
  const int64_t need = std::max<int64_t>(1, (Recorded + FPlainBlockSize - 1) / FPlainBlockSize);
  if (Recorded < 0) {
    throw EVRXDamagedData(std::string(Layout) + ": its " + Record + " records " +
                          std::to_string(Recorded) + " bytes");
  }
  if (need != blocks) {
    throw EVRXDamagedData(
        std::string(Layout) + ": its " + Record + " records " + std::to_string(Recorded) +
        " bytes, which take " + std::to_string(need) + (need == 1 ? " block" : " blocks") + " of " +
        std::to_string(FPlainBlockSize) + " bytes, but it holds " + std::to_string(blocks));
  }
}

// ---- Stream drivers

void TCustomVRXCipher::EncryptStream(TStream& Source, TStream& Dest, int32_t Size) {
  CheckEncryptionGeometry();
  const int32_t inRoom = ChunkRoom(FBufferSize * FPlainBlockSize, Size, FPlainBlockSize);
  TRunBuffer plain(inRoom);
  TRunBuffer cipher(OutputRoom(inRoom, FPlainBlockSize, FCipherBlockSize));
  TStreamInput input(Source, plain);
  TStreamOutput output(Dest, cipher);
  RunEncryption(input, output, Size, inRoom);
  Dest.Seek(0);
}

void TCustomVRXCipher::DecryptStream(TStream& Source, TStream& Dest, int32_t Size) {
  const int64_t body = CheckDecryptionGeometry(Size, "encrypted stream", "");
  const int32_t inRoom = ChunkRoom(FBufferSize * FCipherBlockSize, body, FCipherBlockSize);
  TRunBuffer plain(DecryptionOutputRoom(inRoom));
  TRunBuffer cipher(inRoom);
  TStreamInput input(Source, cipher);
  TStreamOutput output(Dest, plain);
  RunDecryption(input, output, static_cast<int32_t>(body), inRoom);
  Dest.Seek(0);
}

// ---- File drivers
//
// One encrypting driver for every class: the encrypted stream between the layout's head and
// tail (FileHead, FileTail). The decrypting drivers check what their layout records before
// anything is created, then share the run (DecryptFileRange).

void TCustomVRXCipher::EncryptFile(const std::string& SourceFile, const std::string& DestFile) {
  CheckDistinctFiles(SourceFile, DestFile);
  TFileStream source(SourceFile, fmOpenReadShared);
  const int64_t n = source.GetSize();
  CheckLayoutSize(n, "source file");
  TFileStream dest(DestFile, fmCreate);
  const std::string head = FileHead();
  if (!head.empty()) dest.WriteBuffer(head.data(), static_cast<int32_t>(head.size()));
  EncryptStream(source, dest, static_cast<int32_t>(n));
  // A run that raised (a cancel) leaves the file without its tail.
  const std::string tail = FileTail(n);
  if (tail.empty()) return;
  dest.Seek(dest.GetSize());
  dest.WriteBuffer(tail.data(), static_cast<int32_t>(tail.size()));
}

int64_t TCustomVRXCipher::DecryptFileRange(const std::string& SourceFile,
                                           const std::string& DestFile, int64_t Offset,
                                           int32_t Size) {
  TFileStream source(SourceFile, fmOpenReadShared);
  if (Offset > 0) source.Seek(Offset);
  TFileStream dest(DestFile, fmCreate);
  DecryptStream(source, dest, Size);
  return dest.GetSize();
}

// The layout is checked in full before the destination is created: a damaged file leaves an
// existing destination as it was.
void TCustomVRXCipher::DecryptFile(const std::string& SourceFile, const std::string& DestFile) {
  CheckDistinctFiles(SourceFile, DestFile);
  int64_t size = 0;
  int32_t n = 0;
  {
    TUntypedFile f;
    f.Reset(SourceFile);
    size = f.FileSize();
    if (size < 4) {
      throw EVRXDamagedData("encrypted file: " + std::to_string(size) +
                            " bytes, too short for its 4-byte size trailer");
    }
    CheckLayoutSize(size - 4, "encrypted file");
    uint8_t trailer[4];
    f.Seek(size - 4);
    f.BlockRead(trailer, 4);
    f.Close();
    n = static_cast<int32_t>(LoadLE32(trailer));
  }
  const int64_t body = CheckDecryptionGeometry(static_cast<int32_t>(size - 4), "encrypted file",
                                               " before its size trailer");
  if (FWholeBlocks) CheckRecordedSize("encrypted file", "size trailer", n, body);
  // Classes without whole-block layouts: the trailer must at least fit the blocks there are,
  // or the cut would invent bytes.
  const int64_t blocks = std::max<int64_t>(1, (body + FCipherBlockSize - 1) / FCipherBlockSize);
  if (n < 0 || (FCipherBlockSize == FPlainBlockSize && n > blocks * FPlainBlockSize)) {
    throw EVRXDamagedData("encrypted file: its size trailer records " + std::to_string(n) +
                          " bytes, more than its " + std::to_string(blocks) +
                          " blocks of encrypted data hold");
  }
  const int64_t decrypted =
      DecryptFileRange(SourceFile, DestFile, 0, static_cast<int32_t>(size - 4));
  // Only a source that changed during the run gets here short.
  if (n > decrypted) {
    throw EVRXDamagedData("encrypted file: its size trailer records " + std::to_string(n) +
                          " bytes, but it decrypts to " + std::to_string(decrypted));
  }
  TUntypedFile f;
  f.Reset(DestFile, true);
  f.Seek(n);
  f.Truncate();
  f.Close();
}

// ---- String drivers
//
// They run the same chunk loop as the stream drivers, over the string's bytes in place and into
// the result string directly: for short strings the memory streams would cost more than the
// encryption.

std::string TCustomVRXCipher::EncryptString(std::string_view S) {
  CheckLayoutSize(static_cast<int64_t>(S.size()), "string");
  CheckEncryptionGeometry();
  const auto len = static_cast<int32_t>(S.size());
  const int32_t inRoom = ChunkRoom(FBufferSize * FPlainBlockSize, len, FPlainBlockSize);
  const int32_t outRoom = OutputRoom(inRoom, FPlainBlockSize, FCipherBlockSize);
  // Sized once for the whole result (and the room of the last chunk and the end hook), so that
  // the chunks are written in place without growing the string.
  std::string out(OutputHint(len, FPlainBlockSize, FCipherBlockSize,
                             4 + FLeadingDataSize + FTrailingDataSize + outRoom),
                  '\0');
  StoreLE32(out.data(), static_cast<uint32_t>(len));
  TMemoryInput input(S);
  TStringOutput output(out, 4);
  RunEncryption(input, output, len, inRoom);
  output.Finish();
  return out;
}

std::string TCustomVRXCipher::DecryptString(std::string_view S) {
  if (S.size() < 5) {
    AssertionFailure("The encrypted string must contain the length of the plaintext", kUnit);
  }
  CheckLayoutSize(static_cast<int64_t>(S.size() - 4), "encrypted string");
  const auto len = static_cast<int32_t>(LoadLE32(S.data()));
  const auto size = static_cast<int32_t>(S.size() - 4);
  const int64_t body =
      CheckDecryptionGeometry(size, "encrypted string", " after its length prefix");
  if (FWholeBlocks) CheckRecordedSize("encrypted string", "length prefix", len, body);
  if (len < 0) {
    throw EVRXDamagedData("encrypted string: its length prefix records " + std::to_string(len) +
                          " bytes");
  }
  const int32_t inRoom = ChunkRoom(FBufferSize * FCipherBlockSize, body, FCipherBlockSize);
  const int32_t outRoom = DecryptionOutputRoom(inRoom);
  std::string out(OutputHint(body, FCipherBlockSize, FPlainBlockSize, outRoom), '\0');
  TMemoryInput input(S.substr(4));
  TStringOutput output(out, 0);
  RunDecryption(input, output, static_cast<int32_t>(body), inRoom);
  output.Finish();
  if (out.size() < static_cast<size_t>(len)) {
    throw EVRXDamagedData("encrypted string: its length prefix records " + std::to_string(len) +
                          " bytes, but it decrypts to " + std::to_string(out.size()));
  }
  out.resize(static_cast<size_t>(len));
  return out;
}

// ---- TCustomVRXHash

void TCustomVRXHash::PadMessage(bool BigEndianLength) {
  const int32_t n = RunDataSize();
  if (n < 0) {
    throw ERangeError("A digest needs a message of 0 bytes or more, not " + std::to_string(n));
  }
  // p: the smallest count from 1 on for which n + p + 8 is a multiple of 64.
  const int32_t tail = n % 64;
  const int32_t p = tail < 56 ? 56 - tail : 120 - tail;
  const uint64_t bits = static_cast<uint64_t>(n) * 8;
  std::array<uint8_t, kMaxPadding> padding{};
  padding[0] = 0x80;
  if (BigEndianLength) {
    StoreBE64(padding.data() + p, bits);
  } else {
    StoreLE64(padding.data() + p, bits);
  }
  AppendPadding(std::span(padding.data(), static_cast<size_t>(p + 8)));
}

int64_t TCustomVRXCipher::GetProgressDone() const noexcept {
  return std::clamp<int64_t>(FDataPos[FRunInput], 0, GetProgressTotal());
}

int64_t TCustomVRXCipher::GetProgressTotal() const noexcept {
  return std::max<int64_t>(FDataSize[FRunInput], 0);
}

std::string TCustomVRXCipher::GetIVBytes() const {
  const std::span<const uint32_t> words = IVWords();
  std::string out(words.size() * 4, '\0');
  for (size_t i = 0; i < words.size(); ++i)
    StoreLE32(reinterpret_cast<uint8_t*>(out.data()) + 4 * i, words[i]);
  return out;
}

void TCustomVRXCipher::SetIVBytes(std::string_view Bytes) {
  const std::span<uint32_t> words = IVWords();
  if (Bytes.size() != words.size() * 4) {
    throw EVRXOutOfRange("IV of " + std::to_string(Bytes.size()) + " bytes given; " + ClassName() +
                         " takes an IV of " + std::to_string(words.size() * 4) + " bytes");
  }
  for (size_t i = 0; i < words.size(); ++i)
    words[i] = LoadLE32(reinterpret_cast<const uint8_t*>(Bytes.data()) + 4 * i);
}

void TCustomVRXCipher::RandomizeIV() {
  const std::span<uint32_t> words = IVWords();
  std::array<uint8_t, 64> fresh{};
  const size_t n = std::min(fresh.size(), words.size() * 4);
  SystemRandomBytes(fresh.data(), n);
  for (size_t i = 0; i < words.size(); ++i) words[i] = LoadLE32(fresh.data() + 4 * i);
  SecureWipe(fresh.data(), n);
}

void TCustomVRXHash::AppendDigest(const uint32_t* Words, int Count, bool LittleEndian) {
  // Count calls of Insert32Bits, with the room checked once.
  uint8_t* p = PutDirect(btCipherText, 4 * Count);
  for (int i = 0; i < Count; ++i, p += 4) {
    StoreBE32(p, LittleEndian ? BE2LE32(Words[i]) : Words[i]);
  }
}

void TCustomVRXHash::OneChunkProgressCalls(int Calls) {
  for (int m = 1; m <= Calls; ++m) {
    bool abort = false;
    GetOnProgress()(static_cast<uint8_t>(m), abort);
    if (abort) throw EVRXEncryptCancel();
  }
}

void TCustomVRXHash::NoIncrementalDigest() const {
  AssertionFailure(ClassName() + " does not implement the incremental digest", kUnit);
}
void TCustomVRXHash::InitState() {
  NoIncrementalDigest();
}
void TCustomVRXHash::CompressState(const uint8_t*, size_t) {
  NoIncrementalDigest();
}
bool TCustomVRXHash::BigEndianLength() const {
  NoIncrementalDigest();
}
std::string TCustomVRXHash::StateDigest() const {
  NoIncrementalDigest();
}

std::string TCustomVRXHash::EncryptString(std::string_view S) {
  return EncryptStringByAppending(S);
}

// The run of EncryptStream over the string in place, as the ciphers' string driver runs it; the
// output is appended to the result as the hooks write it.
std::string TCustomVRXCipher::EncryptStringByAppending(std::string_view S) {
  CheckLayoutSize(static_cast<int64_t>(S.size()), "string");
  CheckEncryptionGeometry();
  const auto len = static_cast<int32_t>(S.size());
  const int32_t inRoom = ChunkRoom(FBufferSize * FPlainBlockSize, len, FPlainBlockSize);
  std::string out;
  TMemoryInput input(S);
  TAppendOutput output(out, OutputRoom(inRoom, FPlainBlockSize, FCipherBlockSize));
  RunEncryption(input, output, len, inRoom);
  return out;
}

}  // namespace morvane
