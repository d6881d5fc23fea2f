#include "morvane/cipher/VRXIncremental.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "morvane/framework/Exceptions.h"
#include "morvane/framework/SecureWipe.h"

namespace morvane {

namespace {

constexpr const char* kUnit = "VRXIncremental";

void RefuseDigest(const TCustomVRXCipher& Cipher) {
  if (dynamic_cast<const TCustomVRXHash*>(&Cipher) != nullptr) {
    AssertionFailure(Cipher.ClassName() + " is a digest: feed it to a TVRXDigester", kUnit);
  }
}

[[noreturn]] void Spent() {
  AssertionFailure("The message was finished or failed; begin a new object", kUnit);
}

}  // namespace

// ---- TVRXChunkFeed

TVRXChunkFeed::TVRXChunkFeed(TCustomVRXCipher& Cipher, bool Encrypting, int32_t HoldBack)
    : FCipher(Cipher), FEncrypting(Encrypting), FHoldBack(HoldBack) {
  RefuseDigest(Cipher);
  Cipher.CheckPiecewiseGeometry(Encrypting);
  const int32_t inBlock = Encrypting ? Cipher.FPlainBlockSize : Cipher.FCipherBlockSize;
  const int32_t outBlock = Encrypting ? Cipher.FCipherBlockSize : Cipher.FPlainBlockSize;
  // The geometry check keeps both chunks within 32 bits.
  FChunk = Cipher.FBufferSize * inBlock;
  FOutRoom = Cipher.FBufferSize * outBlock;
  FIn = std::make_unique<uint8_t[]>(static_cast<size_t>(FChunk) + static_cast<size_t>(FHoldBack));
  FOut = std::make_unique<uint8_t[]>(static_cast<size_t>(FOutRoom));
}

TVRXChunkFeed::~TVRXChunkFeed() {
  SecureWipe(FIn.get(), static_cast<size_t>(FChunk) + static_cast<size_t>(FHoldBack));
  SecureWipe(FOut.get(), static_cast<size_t>(FOutRoom));
}

void TVRXChunkFeed::Chunk(const uint8_t* In, int32_t Count, bool Last, std::string& Out) {
  const int32_t n = FCipher.PiecewiseChunk(FEncrypting, In, Count, Last, FOut.get(), FOutRoom);
  ++FChunks;
  if (const TProgressProc& onProgress = FCipher.GetOnProgress()) {
    bool abort = false;
    onProgress(static_cast<uint8_t>(FChunks), abort);
    if (abort) {
      if (FEncrypting) throw EVRXEncryptCancel();
      throw EVRXDecryptCancel();
    }
  }
  Out.append(reinterpret_cast<const char*>(FOut.get()), static_cast<size_t>(n));
  FOutput += static_cast<uint64_t>(n);
}

void TVRXChunkFeed::Feed(std::span<const uint8_t> In, std::string& Out) {
  const size_t room = static_cast<size_t>(FChunk) + static_cast<size_t>(FHoldBack);
  for (;;) {
    if (FPending > 0) {
      if (static_cast<size_t>(FPending) + In.size() <= room) break;
      // Complete a chunk from the pending bytes, run it, keep what follows it.
      if (FPending < FChunk) {
        const auto take = static_cast<size_t>(FChunk - FPending);
        std::memcpy(FIn.get() + FPending, In.data(), take);
        FPending = FChunk;
        In = In.subspan(take);
      }
      Chunk(FIn.get(), FChunk, false, Out);
      FPending -= FChunk;
      std::memmove(FIn.get(), FIn.get() + FChunk, static_cast<size_t>(FPending));
      continue;
    }
    if (In.size() <= room) break;
    // Whole chunks straight from the caller's bytes.
    Chunk(In.data(), FChunk, false, Out);
    In = In.subspan(static_cast<size_t>(FChunk));
  }
  if (In.empty()) return;  // an empty span may carry a null pointer, which memcpy must not see
  std::memcpy(FIn.get() + FPending, In.data(), In.size());
  FPending += static_cast<int32_t>(In.size());
}

std::string_view TVRXChunkFeed::Tail(int32_t Tail) const {
  const int32_t n = std::min(Tail, FPending);
  return {reinterpret_cast<const char*>(FIn.get() + FPending - n), static_cast<size_t>(n)};
}

std::string_view TVRXChunkFeed::Finish(int32_t Tail, std::string& Out) {
  const int32_t tail = std::min(Tail, FPending);
  int32_t rest = FPending - tail;
  const uint8_t* p = FIn.get();
  // A run has at least one chunk; after whole chunks it ends without an empty one.
  while (rest > 0 || FChunks == 0) {
    const int32_t n = std::min(rest, FChunk);
    Chunk(p, n, n == rest, Out);
    p += n;
    rest -= n;
  }
  return {reinterpret_cast<const char*>(p), static_cast<size_t>(tail)};
}

// ---- TVRXEncryptor

TVRXEncryptor::TVRXEncryptor(TCustomVRXCipher& Cipher, TCipherLayout Layout)
    : FCipher(Cipher), FLayout(Layout), FFeed(Cipher, true, 0) {
  if (FLayout == layoutFile) FStart = FCipher.FileHead();
  const auto head = FStart.size();
  FStart.resize(head + static_cast<size_t>(FCipher.FLeadingDataSize));
  FCipher.BeginPiecewise(true, FCipher.FLeadingDataSize > 0
                                   ? reinterpret_cast<uint8_t*>(FStart.data() + head)
                                   : nullptr);
}

TVRXEncryptor::~TVRXEncryptor() = default;

void TVRXEncryptor::CheckOpen() const {
  if (!FOpen) Spent();
}

void TVRXEncryptor::Update(std::span<const uint8_t> In, std::string& Out) {
  CheckOpen();
  if (FLayout == layoutFile &&
      FLength + In.size() > static_cast<uint64_t>(FCipher.FileLargestSource())) {
    FOpen = false;
    throw ERangeError("The source passes " + std::to_string(FCipher.FileLargestSource()) +
                      " bytes, the most the file layout can record; the stream layout has no "
                      "such limit");
  }
  if (!FStart.empty()) {
    Out += FStart;
    FStart.clear();
  }
  FLength += In.size();
  try {
    FFeed.Feed(In, Out);
  } catch (...) {
    FOpen = false;
    throw;
  }
}

void TVRXEncryptor::Finish(std::string& Out) {
  CheckOpen();
  FOpen = false;
  Out += FStart;
  FFeed.Finish(0, Out);
  const int32_t trailing = FCipher.FTrailingDataSize;
  std::string end(static_cast<size_t>(FCipher.FBufferSize) * FCipher.FCipherBlockSize + trailing,
                  '\0');
  auto* p = reinterpret_cast<uint8_t*>(end.data());
  const int32_t room = static_cast<int32_t>(end.size()) - trailing;
  const int32_t n = FCipher.EndPiecewise(true, p, room, trailing > 0 ? p + room : nullptr);
  Out.append(end.data(), static_cast<size_t>(n));
  if (trailing > 0) Out.append(end.data() + room, static_cast<size_t>(trailing));
  if (FLayout == layoutFile) Out += FCipher.FileTail(static_cast<int64_t>(FLength));
}

// ---- TVRXDecryptor

TVRXDecryptor::TVRXDecryptor(TCustomVRXCipher& Cipher, TCipherLayout Layout)
    : FCipher(Cipher),
      FLayout(Layout),
      FHeadDone(Layout != layoutFile),
      FTailSize(Cipher.FTrailingDataSize + (Layout == layoutFile ? Cipher.FileTailSize() : 0)),
      // A file's last block stays too, so that its cut comes before it is appended.
      FFeed(Cipher, false, FTailSize + (Layout == layoutFile ? Cipher.FCipherBlockSize : 0)) {}

TVRXDecryptor::~TVRXDecryptor() {
  SecureWipe(FLeading);
}

void TVRXDecryptor::CheckOpen() const {
  if (!FOpen) Spent();
}

void TVRXDecryptor::Body(std::span<const uint8_t> In, std::string& Out) {
  FStream += In.size();
  const auto lead = static_cast<size_t>(FCipher.FLeadingDataSize);
  if (!FStarted) {
    const size_t take = std::min(lead - FLeading.size(), In.size());
    FLeading.append(reinterpret_cast<const char*>(In.data()), take);
    In = In.subspan(take);
    if (FLeading.size() < lead || In.empty()) return;
    FCipher.BeginPiecewise(false, reinterpret_cast<uint8_t*>(FLeading.data()));
    FStarted = true;
  }
  FFeed.Feed(In, Out);
}

void TVRXDecryptor::Update(std::span<const uint8_t> In, std::string& Out) {
  CheckOpen();
  FLength += In.size();
  try {
    if (!FHeadDone) {
      FHead.append(reinterpret_cast<const char*>(In.data()), In.size());
      const int64_t head = FCipher.ReadFileHead(FHead, false);
      if (head < 0) return;
      FHeadDone = true;
      const std::string rest = FHead.substr(static_cast<size_t>(head));
      FHead.clear();
      Body(std::span(reinterpret_cast<const uint8_t*>(rest.data()), rest.size()), Out);
      return;
    }
    Body(In, Out);
  } catch (...) {
    FOpen = false;
    throw;
  }
}

void TVRXDecryptor::Finish(std::string& Out) {
  CheckOpen();
  FOpen = false;
  if (!FHeadDone) {
    const int64_t head = FCipher.ReadFileHead(FHead, true);
    FHeadDone = true;
    const std::string rest = FHead.substr(static_cast<size_t>(std::max<int64_t>(head, 0)));
    FHead.clear();
    Body(std::span(reinterpret_cast<const uint8_t*>(rest.data()), rest.size()), Out);
  }
  // What the drivers check before they decrypt: the tail of a file, then the stream's framing,
  // then what the tail records.
  const int32_t fileTail = FTailSize - FCipher.FTrailingDataSize;
  const int64_t stream = static_cast<int64_t>(FStream) - fileTail;
  if (stream < 0) FCipher.ReadFileTail(std::string_view(), static_cast<int64_t>(FStream));
  FCipher.CheckPiecewiseStream(stream, FLayout == layoutFile);
  if (!FStarted) {
    // Only the leading data came.
    FCipher.BeginPiecewise(false, FCipher.FLeadingDataSize > 0
                                      ? reinterpret_cast<uint8_t*>(FLeading.data())
                                      : nullptr);
    FStarted = true;
  }
  const std::string_view tail = FFeed.Tail(FTailSize);
  const int64_t keep = FLayout == layoutFile
                           ? FCipher.ReadFileTail(tail.substr(tail.size() - fileTail), stream)
                           : -1;
  std::string trailing(tail.substr(0, static_cast<size_t>(FCipher.FTrailingDataSize)));
  const uint64_t before = FFeed.GetOutput();
  std::string last;
  FFeed.Finish(FTailSize, last);
  FCipher.EndPiecewise(false, nullptr, 0,
                       trailing.empty() ? nullptr : reinterpret_cast<uint8_t*>(trailing.data()));
  if (keep >= 0) {
    // The recorded size falls in the last block, which was held back (the tail check made sure).
    if (static_cast<uint64_t>(keep) < before ||
        static_cast<uint64_t>(keep) > before + last.size()) {
      SecureWipe(last);
      throw EVRXDamagedData("encrypted file: its size trailer records " + std::to_string(keep) +
                            " bytes, but it decrypts to " + std::to_string(before + last.size()));
    }
    const auto cut = static_cast<size_t>(keep - static_cast<int64_t>(before));
    SecureWipe(last.data() + cut, last.size() - cut);
    last.resize(cut);
  }
  Out += last;
  SecureWipe(last);
}

}  // namespace morvane
