#include "morvane/hash/VRXDigest.h"

#include <algorithm>
#include <cstring>

#include "morvane/framework/Exceptions.h"

namespace morvane {

TVRXDigester::TVRXDigester(TCustomVRXHash& Hash) : FHash(Hash) {
  // The chunk geometry of the drivers: the progress calls count their chunks.
  FHash.CheckEncryptionGeometry();
  FChunkBytes = static_cast<uint64_t>(FHash.GetBufferSize()) * 64;
  FHash.InitState();
}

TVRXDigester::~TVRXDigester() {
  SecureWipe(FPartial.data(), FPartial.size());
}

void TVRXDigester::CheckOpen() const {
  if (!FOpen) {
    AssertionFailure("The digest was finished or failed; begin a new TVRXDigester", "VRXDigest");
  }
}

void TVRXDigester::Progress() {
  ++FChunks;
  if (const TProgressProc& onProgress = FHash.GetOnProgress()) {
    bool abort = false;
    onProgress(FChunks, abort);
    if (abort) {
      FOpen = false;
      throw EVRXEncryptCancel();
    }
  }
}

void TVRXDigester::Update(std::span<const uint8_t> Bytes) {
  CheckOpen();
  // A progress call is due each time a chunk's worth of message is in: the pieces are cut there.
  while (!Bytes.empty()) {
    const size_t piece =
        static_cast<size_t>(std::min<uint64_t>(Bytes.size(), FChunkBytes - FChunkFill));
    const uint8_t* p = Bytes.data();
    size_t n = piece;
    if (FPartialSize > 0) {
      const size_t take = std::min<size_t>(n, 64 - static_cast<size_t>(FPartialSize));
      std::memcpy(FPartial.data() + FPartialSize, p, take);
      FPartialSize += static_cast<int32_t>(take);
      p += take;
      n -= take;
      if (FPartialSize == 64) {
        FHash.CompressState(FPartial.data(), 1);
        FPartialSize = 0;
      }
    }
    if (n >= 64) {
      FHash.CompressState(p, n / 64);
      p += n / 64 * 64;
      n %= 64;
    }
    if (n > 0) {
      std::memcpy(FPartial.data(), p, n);
      FPartialSize = static_cast<int32_t>(n);
    }
    FLength += piece;
    FChunkFill += piece;
    Bytes = Bytes.subspan(piece);
    if (FChunkFill == FChunkBytes) {
      FChunkFill = 0;
      Progress();
    }
  }
}

std::string TVRXDigester::Finish() {
  CheckOpen();
  // The padding of the published algorithms: 0x80, zero bytes up to 56 mod 64, the length in
  // bits as 64 bits (modulo 2^64).
  const int32_t tail = FPartialSize;
  alignas(16) uint8_t block[128] = {};
  std::memcpy(block, FPartial.data(), static_cast<size_t>(tail));
  block[tail] = 0x80;
  const size_t blocks = tail < 56 ? 1 : 2;
  uint8_t* length = block + 64 * blocks - 8;
  if (FHash.BigEndianLength()) {
    StoreBE64(length, FLength * 8);
  } else {
    StoreLE64(length, FLength * 8);
  }
  FHash.CompressState(block, blocks);
  SecureWipe(block, sizeof block);
  FOpen = false;
  // The drivers' last calls: one for the chunk that holds the end of the message, and one more
  // without a read when the padding does not fit in that chunk's last block (or the message
  // ended with a chunk, or is empty).
  if (FChunkFill > 0) Progress();
  if (FLength % 64 == 0 || FLength % 64 >= 56) Progress();
  return FHash.StateDigest();
}

}  // namespace morvane
