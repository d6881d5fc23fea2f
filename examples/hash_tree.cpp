// Hashes every file of a directory tree, in the format of sha1sum and md5sum: lower-case hex,
// two blanks, the path relative to the tree. Files of any size, 4 GiB and more included.
//
//   hash_tree DIRECTORY [md5|sha1|ripemd160|ripemd128]     (default: sha1)
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "morvane/framework/Exceptions.h"
#include "morvane/hash/VRXDigestTools.h"
#include "morvane/hash/VRXMD5.h"
#include "morvane/hash/VRXRMD.h"
#include "morvane/hash/VRXRMD128.h"
#include "morvane/hash/VRXSHA.h"

static std::unique_ptr<morvane::TCustomVRXHash> MakeDigest(const std::string& name) {
  if (name == "md5") return std::make_unique<morvane::TVRXMD5>();
  if (name == "sha1") return std::make_unique<morvane::TVRXSHA>();
  if (name == "ripemd160") return std::make_unique<morvane::TVRXRIPEMD160>();
  if (name == "ripemd128") return std::make_unique<morvane::TVRXRIPEMD128>();
  return nullptr;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DIRECTORY [md5|sha1|ripemd160|ripemd128]\n", argv[0]);
    return 2;
  }
  const std::filesystem::path root = argv[1];
  auto digest = MakeDigest(argc > 2 ? argv[2] : "sha1");
  if (!digest) {
    std::fprintf(stderr, "%s: unknown digest \"%s\"\n", argv[0], argv[2]);
    return 2;
  }

  // The same order on every run: sorted paths.
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());

  int failures = 0;
  for (const auto& path : files) {
    try {
      // DigestFile reads the file in chunks: no size limit, little memory.
      const std::string raw = morvane::DigestFile(*digest, path.string());
      std::printf("%s  %s\n", morvane::DigestToHex(raw).c_str(),
                  path.lexically_relative(root).generic_string().c_str());
    } catch (const morvane::Exception& e) {
      std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}
