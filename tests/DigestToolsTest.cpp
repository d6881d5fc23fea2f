// The one-call digests: bytes and files of any size give the drivers' digests, a file past
// 4 GiB is digested whole, and the hex form.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "morvane/framework/Exceptions.h"
#include "morvane/hash/VRXDigest.h"
#include "morvane/hash/VRXDigestTools.h"
#include "morvane/hash/VRXMD5.h"
#include "morvane/hash/VRXRMD.h"
#include "morvane/hash/VRXRMD128.h"
#include "morvane/hash/VRXSHA.h"
#include "support/CipherRecords.h"
#include "support/Vectors.h"

using namespace morvane;
using namespace morvane::test;

namespace {

std::vector<std::unique_ptr<TCustomVRXHash>> AllDigests() {
  std::vector<std::unique_ptr<TCustomVRXHash>> all;
  all.push_back(std::make_unique<TVRXMD5>());
  all.push_back(std::make_unique<TVRXSHA>());
  all.push_back(std::make_unique<TVRXRIPEMD160>());
  all.push_back(std::make_unique<TVRXRIPEMD128>());
  return all;
}

}  // namespace

// Every digest, sizes around the block and the chunk, against the string and file drivers.
TEST(DigestTools, BytesAndFilesGiveTheDriversDigests) {
  const std::string file = TempPath("dt-src"), out = TempPath("dt-out");
  for (auto& hash : AllDigests()) {
    SCOPED_TRACE(hash->ClassName());
    hash->SetBufferSize(2);  // 128-byte chunks: the file is read in many pieces
    for (size_t n : {size_t{0}, size_t{55}, size_t{56}, size_t{64}, size_t{129}, size_t{5000}}) {
      SCOPED_TRACE(n);
      const std::string data = RandomBytes(n, 40 + n);
      const std::string expected = hash->EncryptString(data);
      EXPECT_EQ(DigestBytes(*hash, data), expected);
      const std::vector<uint8_t> bytes(data.begin(), data.end());
      EXPECT_EQ(DigestBytes(*hash, std::span<const uint8_t>(bytes)), expected);
      WriteWholeFile(file, data);
      EXPECT_EQ(DigestFile(*hash, file), expected);
      hash->EncryptFile(file, out);
      EXPECT_EQ(ReadWholeFile(out), expected);
    }
  }
  TVRXMD5 md5;
  EXPECT_THROW(DigestFile(md5, TempPath("dt-missing")), EFOpenError);
}

// A file of 4 GiB + 3 bytes (sparse: zeros, then "abc") is digested whole: the digest is that
// of the same bytes fed in pieces, not of the last 3 bytes or of a 32-bit size.
TEST(DigestTools, FilesPast4GiBAreDigestedWhole) {
  const std::string file = TempPath("dt-big");
  const int64_t zeros = int64_t{1} << 32;
  {
    const int fd = ::open(file.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    const bool made = ::ftruncate(fd, zeros) == 0 && ::pwrite(fd, "abc", 3, zeros) == 3;
    ::close(fd);
    if (!made) GTEST_SKIP() << "no room for a sparse file of 4 GiB here";
  }
  TVRXSHA sha;
  sha.SetBufferSize(16384);  // 1 MiB pieces
  const std::string whole = DigestFile(sha, file);
  ::unlink(file.c_str());
  TVRXDigester reference(sha);
  const std::vector<uint8_t> block(size_t{1} << 20, 0);
  for (int64_t done = 0; done < zeros; done += static_cast<int64_t>(block.size()))
    reference.Update(std::span<const uint8_t>(block));
  reference.Update("abc");
  EXPECT_EQ(whole, reference.Finish());
  EXPECT_NE(whole, sha.EncryptString("abc"));
}

TEST(DigestTools, HexIsLowerCaseTwoDigitsAByte) {
  EXPECT_EQ(DigestToHex(""), "");
  EXPECT_EQ(DigestToHex(std::string("\x00\x0f\xa0\xff\x5a", 5)), "000fa0ff5a");
  TVRXSHA sha;
  EXPECT_EQ(DigestToHex(DigestBytes(sha, "abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
}
