// Prints the MD5, SHA-1, RIPEMD-160 and RIPEMD-128 digests of a file, in hexadecimal.
//
//   hash_file FILE
//
// A digest component returns the raw digest (16 or 20 bytes, in the published byte order); the
// stream driver reads the file in chunks, so any size below 2 GiB takes little memory.
#include <cstdio>
#include <memory>
#include <string>

#include "morvane/framework/Streams.h"
#include "morvane/hash/VRXMD5.h"
#include "morvane/hash/VRXRMD.h"
#include "morvane/hash/VRXRMD128.h"
#include "morvane/hash/VRXSHA.h"

static std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

static std::string DigestOf(morvane::TCustomVRXHash& hash, const std::string& path) {
  morvane::TFileStream source(path, morvane::fmOpenReadShared);
  morvane::TMemoryStream digest;
  hash.EncryptStream(source, digest, static_cast<int32_t>(source.GetSize()));
  return digest.TakeData();
}

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  morvane::TVRXMD5 md5;
  morvane::TVRXSHA sha1;
  morvane::TVRXRIPEMD160 ripemd160;
  morvane::TVRXRIPEMD128 ripemd128;
  std::printf("MD5        %s\n", Hex(DigestOf(md5, argv[1])).c_str());
  std::printf("SHA-1      %s\n", Hex(DigestOf(sha1, argv[1])).c_str());
  std::printf("RIPEMD-160 %s\n", Hex(DigestOf(ripemd160, argv[1])).c_str());
  std::printf("RIPEMD-128 %s\n", Hex(DigestOf(ripemd128, argv[1])).c_str());

  // The string driver gives the same digest of bytes in memory.
  std::printf("SHA-1 of \"abc\": %s\n", Hex(sha1.EncryptString("abc")).c_str());
  return 0;
}
