// The base of every cipher, encoder and digest component: key store, chaining mode, chunk
// buffers, padding buffer, the extract and insert operations, and the six drivers that run an
// algorithm over a stream, a file or a string.
//
// Threads: a component holds the state of one run; one component must not be used by two
// threads at once (nor started again from its own OnProgress handler). Separate components are
// independent and may run on separate threads at the same time.
//
// Layouts the drivers write (block ciphers):
//   encrypted stream  leading data (the IV) | ciphertext blocks (zero-padded, at least one)
//   encrypted file    encrypted stream | source size, 4 bytes little-endian
//   encrypted string  plaintext length, 4 bytes little-endian | encrypted stream
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "morvane/cipher/VRXCipherConst.h"
#include "morvane/framework/Component.h"
#include "morvane/framework/Endian.h"
#include "morvane/framework/Streams.h"

namespace morvane {

class TCustomVRXCipher : public TComponent {
 public:
  explicit TCustomVRXCipher(TComponent* AOwner = nullptr);
  ~TCustomVRXCipher() override;
  std::string ClassName() const override { return "TCustomVRXCipher"; }

  // ---- Published properties

  const std::string& GetKey() const noexcept { return FKey; }
  // Stores the bytes as they are and marks the key schedule stale (even for the same key).
  void SetKey(std::string_view Value);
  virtual int32_t GetKeyLength() const;
  // Cuts or grows the key (added bytes are zero); a value below 1 counts as 1.
  virtual void SetKeyLength(int32_t Value);
  // Key bytes by zero-based index; an index outside the key raises EVRXOutOfRange.
  virtual uint8_t GetKeyByte(int32_t Index) const;
  virtual void SetKeyByte(int32_t Index, uint8_t Value);

  TCipherMode GetMode() const noexcept { return FMode; }
  virtual void SetMode(TCipherMode Value);

  // Blocks per chunk. Checked at the start of a run, not here.
  int32_t GetBufferSize() const noexcept { return FBufferSize; }
  void SetBufferSize(int32_t Value) noexcept { FBufferSize = Value; }

  const TProgressProc& GetOnProgress() const noexcept { return FOnProgress; }
  void SetOnProgress(TProgressProc Value) { FOnProgress = std::move(Value); }

  int32_t GetLeadingDataSize() const noexcept { return FLeadingDataSize; }
  int32_t GetTrailingDataSize() const noexcept { return FTrailingDataSize; }

  // Progress in bytes, for an OnProgress handler (whose nProgress counts chunks modulo 256):
  // the input bytes the current run has processed so far, and all it will process. Encrypting
  // and hashing, the input is the plaintext (the Size of EncryptStream, the whole source file or
  // string); decrypting, it is the body of the encrypted stream (without the leading IV and the
  // size trailer or length prefix of files and strings). After a run they keep its final values.
  //   cipher.SetOnProgress([&](uint8_t, bool&) {
  //     int percent = int(100 * cipher.GetProgressDone() / std::max<int64_t>(1,
  //     cipher.GetProgressTotal()));
  //   });
  int64_t GetProgressDone() const noexcept;
  int64_t GetProgressTotal() const noexcept;

  // ---- The IV as bytes (block ciphers; the digests and encoders have none: IVSize() is 0)
  //
  // Without a new IV every encryption uses the IV the component holds: the cipher's built-in IV,
  // or what the last run left (a decryption loads the IV its data carries; CFB advances it). The
  // same plaintext under the same key then gives the same ciphertext, which tells an observer
  // that two messages are equal or share a beginning. Call RandomizeIV() before every encryption
  // unless a fixed stream must be reproduced: the IV travels in the leading data of the
  // encrypted stream, so decryption needs nothing and takes the IV from the data.

  // IV bytes: 8 for Blowfish and DES, 16 for Twofish, 0 for the digests and encoders.
  int32_t IVSize() const noexcept { return static_cast<int32_t>(IVWords().size() * 4); }
  // The IV in the order of the leading data: word 0 first, each word least significant byte
  // first. These are the bytes that the next encrypted stream starts with.
  std::string GetIVBytes() const;
  // Sets the IV from exactly IVSize() bytes in that order; another length raises EVRXOutOfRange
  // and leaves the IV unchanged. Takes effect at the next encryption run.
  void SetIVBytes(std::string_view Bytes);
  // A fresh IV from the operating system's random generator (EInOutError when it cannot be
  // read); does nothing for a component without an IV.
  void RandomizeIV();

  // ---- Drivers
  //
  // What the drivers raise (every class is an Exception; see VRXCipherConst.h and
  // framework/Exceptions.h). A component stays usable after any of them.
  //   every driver      EVRXEncryptCancel / EVRXDecryptCancel "Operation Canceled by user" when
  //                     the OnProgress handler sets its flag (output written so far stays);
  //                     EVRXWeakCipherKey "Weak Key" when a run starts with a key the cipher
  //                     refuses (its header says which and when);
  //                     EAssertionFailed for misuse: BufferSize below 1 or too large, a class
  //                     without block sizes.
  //   EncryptStream     EReadError when Source ends before Size bytes; EWriteError when Dest
  //                     takes less than a chunk.
  //   DecryptStream     EReadError when the leading data is cut short (EVRXDamagedData, an
  //                     EReadError, where the layout is damaged); EWriteError as above.
  //   EncryptFile       EFOpenError (source), EFCreateError (destination, or the source itself),
  //                     EInOutError (reading, writing, the size trailer), ERangeError for a source
  //                     of 2 GiB or more.
  //   DecryptFile       the file errors above; EReadError (EVRXDamagedData) or EInOutError for
  //                     a file that is not, or no longer, an encrypted file (too short, recorded
  //                     size negative or beyond its data), raised before the destination is
  //                     created.
  //   EncryptString     ERangeError for a string of 2 GiB or more.
  //   DecryptString     EAssertionFailed "The encrypted string must contain the length of the
  //                     plaintext" below 5 bytes; EReadError (EVRXDamagedData) for a negative
  //                     recorded length, one beyond the data, or a cut IV.
  // A wrong key or mode is not detected: it decrypts to wrong bytes. The digests and encoders
  // document their own drivers in their headers.

  // Encrypts Size bytes from Source's position into Dest; on success Dest is at offset 0.
  // Source is never asked for more than Size bytes; ending sooner raises EReadError.
  virtual void EncryptStream(TStream& Source, TStream& Dest, int32_t Size);
  // Decrypts the encrypted stream of Size bytes (leading data, body, trailing data) from
  // Source's position into Dest; on success Dest is at offset 0.
  //
  // The decrypting drivers refuse a damaged layout with EVRXDamagedData before anything is read
  // past the framing or written: a Size too small for the leading data; for the block ciphers a
  // body that is not whole blocks or holds none, and (files, strings) a recorded size that does
  // not take exactly the blocks there are. A string under 5 bytes fails its assertion.
  virtual void DecryptStream(TStream& Source, TStream& Dest, int32_t Size);
  virtual void EncryptFile(const std::string& SourceFile, const std::string& DestFile);
  virtual void DecryptFile(const std::string& SourceFile, const std::string& DestFile);
  // The string drivers run the chunk loop over the string in place, not through the virtual
  // stream drivers.
  virtual std::string EncryptString(std::string_view S);
  virtual std::string DecryptString(std::string_view S);

  // Size rounded up to whole plaintext blocks (signed division, as the layouts count); a result
  // past the largest size raises ERangeError.
  int32_t CipherTextLength(int32_t Size) const;

 protected:
  // ---- Hooks of a run

  virtual void ProcessKey() {}
  // Base bodies: build the key schedule when stale, clear the padding buffer.
  virtual void StartEncryption(uint8_t* LeadingData);
  virtual void EndEncryption(uint8_t* /*TrailingData*/) {}
  virtual void StartDecryption(uint8_t* LeadingData);
  virtual void EndDecryption(uint8_t* /*TrailingData*/) {}
  virtual void EncryptBuffer() = 0;
  virtual void DecryptBuffer() = 0;

  // ---- The file layout around the encrypted stream, as TVRXEncryptor and TVRXDecryptor write
  // and read it (the file drivers write and read the same bytes). The bodies here are the block
  // ciphers': nothing before the stream, the source size after it in 4 bytes, least significant
  // first.

  // Bytes before the encrypted stream.
  virtual std::string FileHead() const { return {}; }
  // The largest source whose size the layout can record.
  virtual int64_t FileLargestSource() const;
  // Bytes after the encrypted stream of a source of SourceSize bytes.
  virtual std::string FileTail(int64_t SourceSize) const;
  // Finds the head in the first bytes of a file: its length once Seen holds all of it, -1 while
  // more bytes are needed (End: no more will come).
  virtual int64_t ReadFileHead(std::string_view /*Seen*/, bool /*End*/) { return 0; }
  // Bytes at the end of a file that are not the encrypted stream.
  virtual int32_t FileTailSize() const { return 4; }
  // Checks the tail (the last FileTailSize() bytes, fewer when the file is shorter) of a file
  // whose encrypted stream after the head is StreamSize bytes; returns how many bytes of the
  // decrypted output the file holds, or -1 for all of them. A Tail shorter than FileTailSize()
  // means the file ended before its tail; StreamSize is then all the file holds after the head.
  virtual int64_t ReadFileTail(std::string_view Tail, int64_t StreamSize);

  // The IV register of a block cipher (empty for the other components): what GetIVBytes,
  // SetIVBytes and RandomizeIV read and write.
  virtual std::span<uint32_t> IVWords() noexcept { return {}; }
  virtual std::span<const uint32_t> IVWords() const noexcept { return {}; }

  // The work of the base start hooks: the key schedule when it is stale, then the padding buffer
  // rewound with its first PadBytes cleared (the base bodies clear all 1024).
  void BeginRun(int32_t PadBytes) {
    UpdateKeySchedule();
    ResetPadding(PadBytes);
  }
  // Builds the key schedule when the key changed since the last one: the start of a run, and the
  // public block operations of a cipher, which promise the key in force. The chunk loops never
  // call it (a run's start hook has done it).
  void UpdateKeySchedule() {
    if (!FKeyProcessed) {
      ProcessKey();
      FKeyProcessed = true;
    }
  }
  // Marks the class's layouts as whole cipher blocks after the leading data, at least one of
  // them, as a block cipher writes them: the decrypting drivers then refuse any other body with
  // EVRXDamagedData before anything is written, and the string and file drivers also refuse a
  // recorded length that does not take exactly the blocks there are. A concrete constructor
  // calls it after setting its block sizes (both equal).
  void RequireWholeBlocks() noexcept { FWholeBlocks = true; }
  // The block sizes of the class (bytes a block of plaintext and of output takes) and the bytes
  // of leading data before an encrypted stream; a concrete constructor sets them once.
  void SetGeometry(int32_t PlainBlock, int32_t CipherBlock, int32_t LeadingData = 0) noexcept {
    FPlainBlockSize = PlainBlock;
    FCipherBlockSize = CipherBlock;
    FLeadingDataSize = LeadingData;
  }
  // For a class whose DecryptBuffer may give more output than its input blocks in proportion (a
  // damaged uuencoded line can claim 63 bytes): a decryption's output chunk then holds
  // BufferSize output blocks even when the whole run is shorter than a chunk.
  void ReserveFullDecryptionOutput() noexcept { FFullDecryptionOutput = true; }
  // The start of a run over Size bytes that does without the chunk loop (a digest's short
  // string), as a driver leaves it once its chunk is read: the key schedule, and the progress in
  // bytes with all Size bytes taken.
  void BeginOneChunkRun(int32_t Size) {
    UpdateKeySchedule();
    FRunInput = btPlainText;
    FDataSize = {Size, 0};
    FDataPos = {Size, 0};
    FRemaining = 0;
  }
  // The data bytes of the current run (its input side) as its driver was given them.
  int32_t RunDataSize() const noexcept { return FDataSize[FRunInput]; }
  // Copies Bytes to the start of the padding buffer and extends the run by their count, so that
  // the extract operations deliver them after the data (at most 1024 bytes).
  void AppendPadding(std::span<const uint8_t> Bytes);

  // ---- Extract and insert: words are big-endian, the first byte most significant.

  uint8_t ExtractByte(TBufferType BufferType) {
    if (FDataPos[BufferType] < FDataSize[BufferType] &&
        FBufferPos[BufferType] < FBufferFill[BufferType]) {
      ++FDataPos[BufferType];
      --FRemaining;
      return FInChunk[BufferType][FBufferPos[BufferType]++];
    }
    return ExtractPadByte();
  }
  void Extract32Bits(TBufferType BufferType, uint32_t& Value) {
    if (DirectBytes(BufferType) >= 4) {
      Value = LoadBE32(TakeDirect(BufferType, 4));
      return;
    }
    Value = ExtractSlow32(BufferType);
  }
  void Extract64Bits(TBufferType BufferType, uint32_t& Value1, uint32_t& Value2) {
    if (DirectBytes(BufferType) >= 8) {
      const uint8_t* p = TakeDirect(BufferType, 8);
      Value1 = LoadBE32(p);
      Value2 = LoadBE32(p + 4);
      return;
    }
    Value1 = ExtractSlow32(BufferType);
    Value2 = ExtractSlow32(BufferType);
  }
  void Extract128Bits(TBufferType BufferType, uint32_t* Values) {
    if (DirectBytes(BufferType) >= 16) {
      const uint8_t* p = TakeDirect(BufferType, 16);
      for (int i = 0; i < 4; ++i) Values[i] = LoadBE32(p + 4 * i);
      return;
    }
    for (int i = 0; i < 4; ++i) Values[i] = ExtractSlow32(BufferType);
  }

  void InsertByte(TBufferType BufferType, uint8_t Value) { *PutDirect(BufferType, 1) = Value; }
  void Insert32Bits(TBufferType BufferType, uint32_t Value) {
    StoreBE32(PutDirect(BufferType, 4), Value);
  }
  void Insert64Bits(TBufferType BufferType, uint32_t Value1, uint32_t Value2) {
    uint8_t* p = PutDirect(BufferType, 8);
    StoreBE32(p, Value1);
    StoreBE32(p + 4, Value2);
  }
  void Insert128Bits(TBufferType BufferType, const uint32_t* Values) {
    uint8_t* p = PutDirect(BufferType, 16);
    for (int i = 0; i < 4; ++i) StoreBE32(p + 4 * i, Values[i]);
  }

  // ---- Bulk access for fast paths: the same effect as extracting or inserting byte by byte.

  // Count bytes into Dest, as Count calls of ExtractByte would give them (data, then padding).
  void ExtractBytes(TBufferType BufferType, uint8_t* Dest, int32_t Count);

  // Data bytes from the input cursor that lie in the current chunk (0 once the data is used).
  int32_t DirectBytes(TBufferType BufferType) const noexcept {
    const int32_t inData = FDataSize[BufferType] - FDataPos[BufferType];
    const int32_t inChunk = FBufferFill[BufferType] - FBufferPos[BufferType];
    const int32_t n = inData < inChunk ? inData : inChunk;
    return n > 0 ? n : 0;
  }
  // Takes Count bytes (at most DirectBytes) as extraction would, and returns where they stand.
  const uint8_t* TakeDirect(TBufferType BufferType, int32_t Count) noexcept {
    const uint8_t* p = FInChunk[BufferType] + FBufferPos[BufferType];
    FBufferPos[BufferType] += Count;
    FDataPos[BufferType] += Count;
    FRemaining -= Count;
    return p;
  }
  // Reserves Count bytes at the output cursor, as inserting them would; a chunk overflow (a
  // concrete class producing more than its geometry allows) fails an assertion.
  uint8_t* PutDirect(TBufferType BufferType, int32_t Count) {
    if (Count > FBufferRoom[BufferType] - FBufferPos[BufferType]) OutputOverflow();
    uint8_t* p = FOutChunk[BufferType] + FBufferPos[BufferType];
    FBufferPos[BufferType] += Count;
    FBufferFill[BufferType] += Count;
    return p;
  }

  // ---- The chunk view: the current chunk as EncryptBuffer and DecryptBuffer see it, for code
  // that works on its bytes in place. Take and Put move the cursors of the extract and insert
  // operations, so the three may be mixed.
  class TChunkView {
   public:
    // The data bytes of the input chunk not yet taken; read-only, as they may be the caller's.
    std::span<const uint8_t> In() const noexcept {
      return {FCipher.FInChunk[FIn] + FCipher.FBufferPos[FIn],
              static_cast<size_t>(FCipher.DirectBytes(FIn))};
    }
    // The room of the output chunk not yet put.
    std::span<uint8_t> Out() const noexcept {
      return {FCipher.FOutChunk[FOut] + FCipher.FBufferPos[FOut],
              static_cast<size_t>(FCipher.FBufferRoom[FOut] - FCipher.FBufferPos[FOut])};
    }
    // The data bytes of the run not yet taken: more than In() holds when data follows the chunk.
    int64_t DataLeft() const noexcept {
      return int64_t{FCipher.FDataSize[FIn]} - FCipher.FDataPos[FIn];
    }
    // Takes the first Count bytes of In(), as Count extractions would.
    void Take(int32_t Count) noexcept { FCipher.TakeDirect(FIn, Count); }
    // Puts the first Count bytes of Out(), as Count insertions would; more than Out() holds
    // fails an assertion.
    void Put(int32_t Count) { FCipher.PutDirect(FOut, Count); }

   private:
    friend class TCustomVRXCipher;
    TChunkView(TCustomVRXCipher& Cipher, TBufferType In, TBufferType Out) noexcept
        : FCipher(Cipher), FIn(In), FOut(Out) {}
    TCustomVRXCipher& FCipher;
    TBufferType FIn;
    TBufferType FOut;
  };
  // The view of the chunk that goes from side In to side Out.
  TChunkView ChunkView(TBufferType In, TBufferType Out) noexcept { return {*this, In, Out}; }

  // The chunk loop of a block cipher's EncryptBuffer or DecryptBuffer: takes blocks of Block
  // bytes from side In until at least FBufferFill[In] bytes are taken (at least one block) and
  // appends as many output blocks of the same size to side Out, exactly as extracting and
  // inserting block by block would. Transform(in, out, n) turns n whole input blocks into n
  // output blocks (in and out never overlap). The blocks that lie in the chunk go in one call,
  // straight from the chunk buffer; a block completed from the padding buffer goes alone.
  template <int32_t Block, class Fn>
  void TransformChunk(TBufferType In, TBufferType Out, Fn&& Transform) {
    static_assert(Block > 0 && Block <= 64);
    const int64_t fill = FBufferFill[In];
    int64_t blocks = fill > 0 ? (fill + Block - 1) / Block : 1;
    const int64_t direct = std::min<int64_t>(DirectBytes(In) / Block, blocks);
    if (direct > 0) {
      const auto bytes = static_cast<int32_t>(direct * Block);
      uint8_t* dst = PutDirect(Out, bytes);
      Transform(TakeDirect(In, bytes), dst, static_cast<size_t>(direct));
      blocks -= direct;
    }
    for (; blocks > 0; --blocks) {
      uint8_t one[Block];
      for (int32_t i = 0; i < Block; ++i) one[i] = ExtractByte(In);
      Transform(static_cast<const uint8_t*>(one), PutDirect(Out, Block), size_t{1});
    }
  }

 private:
  // ---- Fields of the base.

  // The chunks of a run, valid during it only: the input side is read, never written (it may
  // be the caller's bytes); the output side is written.
  std::array<const uint8_t*, 2> FInChunk{};
  std::array<uint8_t*, 2> FOutChunk{};
  std::array<int32_t, 2> FBufferPos{};   // next byte to extract or insert
  std::array<int32_t, 2> FDataPos{};     // data bytes extracted since the run began
  std::array<int32_t, 2> FDataSize{};    // data bytes of the run (input side)
  std::array<int32_t, 2> FBufferFill{};  // bytes read into / inserted into the chunk
  std::string FKey;
  TCipherMode FMode = cipherECB;
  int32_t FBufferSize = 1000;
  TProgressProc FOnProgress;
  int32_t FLeadingDataSize = 0;
  int32_t FTrailingDataSize = 0;
  int32_t FPlainBlockSize = 0;
  int32_t FCipherBlockSize = 0;
  bool FKeyProcessed = false;
  std::array<uint8_t, 1024> FPadBuffer{};
  int32_t FPadPos = 0;
  int32_t FPadSize = 1024;
  // 64-bit: a message of up to 2^31 - 1 bytes plus the padding a start hook adds must not wrap.
  int64_t FRemaining = 0;
  bool FEndOfData = false;
  // Room of each chunk buffer during a run (guards the insert operations).
  std::array<int32_t, 2> FBufferRoom{};
  // See ReserveFullDecryptionOutput.
  bool FFullDecryptionOutput = false;
  // The input side of the current (or last) run, for the progress in bytes.
  TBufferType FRunInput = btPlainText;

  uint8_t ExtractPadByte();
  uint32_t ExtractSlow32(TBufferType BufferType) {
    uint32_t v = uint32_t{ExtractByte(BufferType)} << 24;
    v |= uint32_t{ExtractByte(BufferType)} << 16;
    v |= uint32_t{ExtractByte(BufferType)} << 8;
    return v | ExtractByte(BufferType);
  }
  [[noreturn]] void OutputOverflow() const;
  void CheckRunGeometry(int32_t InBlock, int32_t OutBlock) const;
  void ResetPadding(int32_t PadBytes);
  // The output chunk of a decryption whose input chunk holds InRoom bytes.
  int32_t DecryptionOutputRoom(int32_t InRoom) const;
  // Refuses a recorded plaintext size that is negative or does not take exactly the blocks of
  // the Body bytes.
  void CheckRecordedSize(const char* Layout, const char* Record, int64_t Recorded,
                         int64_t Body) const;

  bool FWholeBlocks = false;

  // ---- Piecewise runs: the drivers' chunk loop, driven one chunk at a time by an object that
  // holds the data (TVRXEncryptor, TVRXDecryptor). The counters are those of one chunk, so a run
  // may be of any length; the chunks are the drivers' (BufferSize blocks, the last one shorter),
  // so the hooks see what they see in a driver's run.
  friend class TVRXEncryptor;
  friend class TVRXDecryptor;
  friend class TVRXChunkFeed;
  // The drivers' checks of the block sizes and BufferSize, with their assertion texts.
  void CheckPiecewiseGeometry(bool Encrypting) const;
  // The geometry checks, then the start hook with the leading data (written by an encryption,
  // read by a decryption).
  void BeginPiecewise(bool Encrypting, uint8_t* LeadingData);
  // EncryptBuffer or DecryptBuffer over one chunk of Count input bytes at In (Last: no input
  // follows it), its output into Out (OutRoom bytes); returns the output's length.
  int32_t PiecewiseChunk(bool Encrypting, const uint8_t* In, int32_t Count, bool Last, uint8_t* Out,
                         int32_t OutRoom);
  // The end hook; an encryption's output goes to Out as above.
  int32_t EndPiecewise(bool Encrypting, uint8_t* Out, int32_t OutRoom, uint8_t* TrailingData);
  // Refuses an encrypted stream of Size bytes (leading data, body, trailing data) as
  // DecryptStream refuses it (File: as DecryptFile refuses the stream before its trailer),
  // whatever its size.
  void CheckPiecewiseStream(int64_t Size, bool File) const;

 protected:
  // For the drivers of derived classes (defined in VRXCipher.cpp, usable there only).
  void CheckEncryptionGeometry() const;
  // Also refuses, with EVRXDamagedData naming Layout, a Size too small for the leading and
  // trailing data and, for whole-block layouts, a body that is not whole blocks or holds none;
  // returns the body length. Around says where the Size bytes stand in the layout.
  int64_t CheckDecryptionGeometry(int64_t Size, const char* Layout, const char* Around) const;
  // The chunk loops that every driver runs, from any input to any output (VRXCipher.cpp);
  // InRoom is the size of the input chunk in bytes.
  template <class TInput, class TOutput>
  void RunEncryption(TInput& Input, TOutput& Output, int32_t Size, int32_t InRoom);
  template <class TInput, class TOutput>
  void RunDecryption(TInput& Input, TOutput& Output, int32_t Body, int32_t InRoom);
  // The decrypting file drivers' run: Size bytes of SourceFile from Offset on through
  // DecryptStream into DestFile, created only once the source is open (a source that cannot be
  // opened leaves an existing destination as it was); returns the bytes the run wrote.
  int64_t DecryptFileRange(const std::string& SourceFile, const std::string& DestFile,
                           int64_t Offset, int32_t Size);
  // EncryptString without the length prefix, for a class whose output is short and comes at the
  // end of the run (a digest): the result grows as the hooks write, rather than being sized for
  // whole chunks first.
  std::string EncryptStringByAppending(std::string_view S);
};

// The base of the digest components: a digest run is one encryption; the output is the raw
// digest, with no length prefix (strings) and no size trailer (files).
//
// What the digest drivers raise (MD5, SHA-1, RIPEMD-160, RIPEMD-128):
//   EncryptString   ERangeError for a string of 2 GiB or more.
//   EncryptStream   ERangeError for a negative Size; EReadError when Source ends before Size
//                   bytes; EWriteError when Dest takes less than the digest.
//   EncryptFile     EFOpenError (source), EFCreateError (destination, or the source itself),
//                   EInOutError (reading, writing), ERangeError for a file of 2 GiB or more,
//                   before the destination is created.
//   every driver    EVRXEncryptCancel from the OnProgress handler (no digest is written).
// The decrypting drivers raise nothing of their own and produce no bytes. Key and Mode have no
// effect, so a digest never raises EVRXWeakCipherKey.
class TCustomVRXHash : public TCustomVRXCipher {
 public:
  using TCustomVRXCipher::TCustomVRXCipher;
  std::string ClassName() const override { return "TCustomVRXHash"; }

  std::string EncryptString(std::string_view S) override;

 protected:
  // A digest's file is the digest alone.
  std::string FileTail(int64_t /*SourceSize*/) const override { return {}; }

  // The most padding a digest writes: 0x80, up to 63 zero bytes and the 8-byte length.
  static constexpr int32_t kMaxPadding = 72;

  // The base start hook, except that the padding buffer is not cleared: PadMessage writes all of
  // the padding that a digest run reads.
  void StartEncryption(uint8_t* /*LeadingData*/) override { BeginRun(0); }

  // Writes the run's message padding into the padding buffer: 0x80, zero bytes, then the message
  // length in bits as a 64-bit number (most significant byte first when BigEndianLength), so that
  // message and padding fill whole 64-byte blocks; the run grows by the padding's length.
  // A negative size has no digest and is refused with ERangeError.
  void PadMessage(bool BigEndianLength);

  // Compresses the blocks this chunk owes: ceil(m / 64) and at least one, m being the message
  // bytes of the chunk that no earlier call consumed. The count never reads the chunk's fill,
  // which is stale when the driver made no read. Whole blocks go to Compress(blocks, count)
  // straight from the chunk; the last one is assembled from the message tail and the padding.
  template <class TCompress>
  void CompressChunk(TCompress&& Compress) {
    const int32_t m = DirectBytes(btPlainText);
    const int32_t whole = m / 64;
    if (whole > 0) Compress(TakeDirect(btPlainText, whole * 64), static_cast<size_t>(whole));
    if (whole == 0 || m % 64 != 0) {
      alignas(16) uint8_t block[64];
      ExtractBytes(btPlainText, block, 64);
      Compress(static_cast<const uint8_t*>(block), size_t{1});
    }
  }

  // Appends Count state words to the output chunk, word 0 first; with LittleEndian each word is
  // byte-reversed first, so that it is written least significant byte first.
  void AppendDigest(const uint32_t* Words, int Count, bool LittleEndian);

  // ---- A run over a message in memory that fits in one chunk, done without the chunk loop
  // (TVRXDigest's EncryptString): the digest is the same, and so is what the run leaves and
  // reports.

  // The OnProgress calls of such a run: one for the chunk that holds the message (when it holds
  // any) and one more for a padding block of its own, as the driver makes them; EVRXEncryptCancel
  // when the handler sets its flag.
  void OneChunkProgress(int32_t Size) {
    if (GetOnProgress()) OneChunkProgressCalls((Size > 0) + (Size % 64 == 0 || Size % 64 >= 56));
  }

  // ---- The algorithm, for TVRXDigester (TVRXDigest implements these; the bodies here fail an
  // assertion: a class that does not implement them cannot digest piece by piece).

  // Loads the initial chaining state.
  virtual void InitState();
  // Compresses Count consecutive 64-byte blocks into the chaining state.
  virtual void CompressState(const uint8_t* Blocks, size_t Count);
  // Whether the length field (and the block and digest words) are most significant byte first.
  virtual bool BigEndianLength() const;
  // The digest of the chaining state as it stands, in the published byte order.
  virtual std::string StateDigest() const;

 private:
  friend class TVRXDigester;
  [[noreturn]] void NoIncrementalDigest() const;
  void OneChunkProgressCalls(int Calls);
};

// Raises EFCreateError when both names lead to the same existing file: a file driver would
// destroy its source by creating its destination.
void CheckDistinctFiles(const std::string& SourceFile, const std::string& DestFile);

// Raises ERangeError (what = "string", "file", ...) when a size does not fit the layouts'
// signed 32-bit sizes.
void CheckLayoutSize(int64_t Size, const char* What);

}  // namespace morvane
