// Decodes a uuencoded attachment from a mail as saved by a mail program (headers, the
// document, a signature), into a directory, under a safe name.
//
//   decode_attachment MAIL [DIRECTORY]       (default directory: .)
//
// The name in the begin line is the sender's choice ("../../.profile" is possible): the file is
// written under GetSafeFileName(), the name without directories, control bytes or leading dots.
// A damaged document is refused with a message that names the line; nothing is written then.
#include <cstdio>
#include <filesystem>
#include <string>

#include "morvane/encode/VRXUUCode.h"
#include "morvane/framework/Exceptions.h"
#include "morvane/hash/VRXDigestTools.h"
#include "morvane/hash/VRXSHA.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s MAIL [DIRECTORY]\n", argv[0]);
    return 2;
  }
  const std::string mail = argv[1];
  const std::filesystem::path dir = argc > 2 ? argv[2] : ".";

  morvane::TVRXUUCode uu;
  try {
    // Decode to a temporary name first: the carried name is known once the begin line is read.
    const std::filesystem::path scratch = dir / ".decode_attachment.part";
    uu.DecryptFile(mail, scratch.string());
    std::string name = uu.GetSafeFileName();
    if (name.empty()) name = "attachment.bin";  // nothing safe was left of the carried name
    const std::filesystem::path target = dir / name;
    std::filesystem::rename(scratch, target);

    morvane::TVRXSHA sha;
    std::printf("carried name: \"%s\", mode %s\n", uu.GetFileName().c_str(),
                uu.GetStatus().substr(0, 3).c_str());
    std::printf("written: %s (%llu bytes)\n", target.filename().string().c_str(),
                static_cast<unsigned long long>(std::filesystem::file_size(target)));
    std::printf("sha1: %s\n",
                morvane::DigestToHex(morvane::DigestFile(sha, target.string())).c_str());
  } catch (const morvane::EVRXUUError& e) {
    std::fprintf(stderr, "decode_attachment: %s: %s\n", mail.c_str(), e.what());
    return 1;
  } catch (const morvane::Exception& e) {
    std::fprintf(stderr, "decode_attachment: %s\n", e.what());
    return 1;
  }
  return 0;
}
