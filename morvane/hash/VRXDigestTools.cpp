#include "morvane/hash/VRXDigestTools.h"

#include <algorithm>
#include <vector>

#include "morvane/framework/Streams.h"
#include "morvane/hash/VRXDigest.h"

namespace morvane {

std::string DigestBytes(TCustomVRXHash& Hash, std::span<const uint8_t> Bytes) {
  TVRXDigester digester(Hash);
  digester.Update(Bytes);
  return digester.Finish();
}

std::string DigestBytes(TCustomVRXHash& Hash, std::string_view Bytes) {
  TVRXDigester digester(Hash);
  digester.Update(Bytes);
  return digester.Finish();
}

std::string DigestFile(TCustomVRXHash& Hash, const std::string& FileName) {
  TFileStream source(FileName, fmOpenReadShared);
  // The digester checks BufferSize before the chunk is sized from it.
  TVRXDigester digester(Hash);
  std::vector<uint8_t> chunk(
      std::min<size_t>(static_cast<size_t>(Hash.GetBufferSize()) * 64, size_t{4} << 20));
  for (;;) {
    const int32_t got = source.Read(chunk.data(), static_cast<int32_t>(chunk.size()));
    if (got <= 0) break;
    digester.Update(std::span<const uint8_t>(chunk.data(), static_cast<size_t>(got)));
  }
  return digester.Finish();
}

std::string DigestToHex(std::string_view Raw) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(Raw.size() * 2);
  for (char c : Raw) {
    const auto b = static_cast<uint8_t>(c);
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

}  // namespace morvane
