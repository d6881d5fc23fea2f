// Encryption and decryption fed in pieces, for the block ciphers and the encoders (a digest is
// fed to a TVRXDigester, morvane/hash/VRXDigest.h). One small object per message, on a configured
// component (key, mode, IV, BufferSize, OnProgress):
//
//   TVRXEncryptor enc(blowfish, layoutFile);   // or layoutStream
//   std::string out;
//   while (read a piece) { enc.Update(piece, out); write(out); out.clear(); }
//   enc.Finish(out); write(out);
//
// Update appends to Out what the input so far allows, Finish appends the rest. The bytes are
// those of the drivers, however the input is cut:
//   layoutStream  encryption: EncryptStream's (a cipher: the leading IV, then the blocks, the last
//                 one zero-padded; Base64: the text; uuencode: the data lines);
//                 decryption: DecryptStream's of the same (a cipher: whole blocks, padding
//                 included).
//   layoutFile    encryption: EncryptFile's (a cipher: the stream, then the source size in 4
//                 bytes; Base64: the text; uuencode: the document with its begin and end lines);
//                 decryption: DecryptFile's (a cipher: cut to the recorded size; uuencode: the
//                 data, with FileName and Status set from the begin line).
//
// Memory stays bounded whatever the length: one chunk of each side (BufferSize blocks), and a
// decryption holds back only what it must (a cipher's file: one block and the 4-byte trailer;
// a uuencoded document: its 5-byte end line). The stream layout has no size limit; a cipher's
// file layout records the size in signed 32 bits, so an encryption that passes 2^31 - 1 bytes
// raises ERangeError at that Update, before anything of it is written.
//
// Errors are the drivers': Base64 "Invalid value in Base64 Decoding Table" when the chunk that
// holds the character is decoded, uuencode "No begin line" once the first line is in,
// "No end line" and "Malformed data line", and a cipher's damaged layout (EVRXDamagedData: no
// block, not whole blocks, a size trailer that disagrees with the blocks). A driver refuses a
// damaged layout before it writes anything; a decryption fed in pieces has already appended
// what came before the damage was visible (the end of the data, at the latest), so a caller that
// writes as it goes must discard its output when Finish raises.
//
// OnProgress is called as the drivers call it: once per chunk, with the chunk count modulo 256,
// after the chunk was transformed and before its output is appended; setting lAbort raises
// EVRXEncryptCancel or EVRXDecryptCancel. The input and output chunks are wiped when the object
// goes. One message at a time per component; after Finish or an exception the object is spent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "morvane/cipher/VRXCipher.h"

namespace morvane {

enum TCipherLayout : uint8_t { layoutStream, layoutFile };

// The chunk loop behind TVRXEncryptor and TVRXDecryptor: cuts the input into the drivers'
// chunks, holding back the last HoldBack bytes, and runs the component over each chunk.
class TVRXChunkFeed {
 public:
  TVRXChunkFeed(TCustomVRXCipher& Cipher, bool Encrypting, int32_t HoldBack);
  ~TVRXChunkFeed();
  TVRXChunkFeed(const TVRXChunkFeed&) = delete;
  TVRXChunkFeed& operator=(const TVRXChunkFeed&) = delete;

  // Runs every chunk that more than HoldBack bytes follow.
  void Feed(std::span<const uint8_t> In, std::string& Out);
  // Runs the rest but the last Tail bytes (at most HoldBack) as the last chunks; returns those
  // bytes, or fewer when fewer came (the caller judges them).
  std::string_view Finish(int32_t Tail, std::string& Out);
  // The last Tail bytes held back (fewer when fewer came).
  std::string_view Tail(int32_t Tail) const;
  // Output bytes appended so far (a caller that cuts the output counts with it).
  uint64_t GetOutput() const noexcept { return FOutput; }

 private:
  void Chunk(const uint8_t* In, int32_t Count, bool Last, std::string& Out);

  TCustomVRXCipher& FCipher;
  bool FEncrypting;
  int32_t FChunk;
  int32_t FOutRoom;
  int32_t FHoldBack;
  int32_t FPending = 0;
  uint64_t FChunks = 0;
  uint64_t FOutput = 0;
  std::unique_ptr<uint8_t[]> FIn;
  std::unique_ptr<uint8_t[]> FOut;
};

class TVRXEncryptor {
 public:
  explicit TVRXEncryptor(TCustomVRXCipher& Cipher, TCipherLayout Layout = layoutStream);
  ~TVRXEncryptor();
  TVRXEncryptor(const TVRXEncryptor&) = delete;
  TVRXEncryptor& operator=(const TVRXEncryptor&) = delete;

  void Update(std::span<const uint8_t> In, std::string& Out);
  void Update(std::string_view In, std::string& Out) {
    Update(std::span(reinterpret_cast<const uint8_t*>(In.data()), In.size()), Out);
  }
  void Finish(std::string& Out);
  // Input bytes fed so far.
  uint64_t GetLength() const noexcept { return FLength; }

 private:
  void CheckOpen() const;

  TCustomVRXCipher& FCipher;
  TCipherLayout FLayout;
  std::string FStart;  // head and leading data, appended with the first output
  TVRXChunkFeed FFeed;
  uint64_t FLength = 0;
  bool FOpen = true;
};

class TVRXDecryptor {
 public:
  explicit TVRXDecryptor(TCustomVRXCipher& Cipher, TCipherLayout Layout = layoutStream);
  ~TVRXDecryptor();
  TVRXDecryptor(const TVRXDecryptor&) = delete;
  TVRXDecryptor& operator=(const TVRXDecryptor&) = delete;

  void Update(std::span<const uint8_t> In, std::string& Out);
  void Update(std::string_view In, std::string& Out) {
    Update(std::span(reinterpret_cast<const uint8_t*>(In.data()), In.size()), Out);
  }
  void Finish(std::string& Out);
  // Input bytes fed so far.
  uint64_t GetLength() const noexcept { return FLength; }

 private:
  void CheckOpen() const;
  void Body(std::span<const uint8_t> In, std::string& Out);

  TCustomVRXCipher& FCipher;
  TCipherLayout FLayout;
  bool FHeadDone;
  bool FStarted = false;
  int32_t FTailSize;     // held back for the end of the layout: trailing data, file tail
  std::string FHead;     // the file head while it is read
  std::string FLeading;  // the leading data while it is read
  TVRXChunkFeed FFeed;
  uint64_t FLength = 0;
  uint64_t FStream = 0;  // bytes after the head
  bool FOpen = true;
};

}  // namespace morvane
