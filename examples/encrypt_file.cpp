// Encrypts a file with Twofish, showing progress as a percentage, then decrypts it and
// compares.
//
//   encrypt_file SOURCE [CANCEL_AT]
//
// Writes SOURCE.enc and SOURCE.dec. With CANCEL_AT, the progress handler cancels the first
// encryption at that chunk: the component raises EVRXEncryptCancel, the partial SOURCE.enc is
// left without its size trailer, and the example then runs the encryption again to its end.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "morvane/cipher/VRXCipherConst.h"
#include "morvane/ciphers/VRXTwoFish.h"
#include "morvane/framework/Exceptions.h"

static std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s SOURCE [CANCEL_AT]\n", argv[0]);
    return 2;
  }
  const std::string source = argv[1];
  const int cancelAt = argc > 2 ? std::atoi(argv[2]) : 0;

  morvane::TVRXTwoFish cipher;
  cipher.SetKey("a 32-byte key for Twofish-256!!!");
  cipher.SetMode(morvane::cipherCBC);
  cipher.SetBufferSize(256);  // blocks per chunk: 4 KiB, so the progress event fires often

  // nProgress counts chunks, modulo 256; it is not a percentage.
  int chunks = 0;
  cipher.SetOnProgress([&](uint8_t, bool& abort) {
    ++chunks;
    if (chunks == cancelAt) abort = true;
  });

  try {
    cipher.EncryptFile(source, source + ".enc");
  } catch (const morvane::EVRXEncryptCancel& e) {
    std::printf("cancelled after %d chunks: %s\n", chunks, e.what());
  }
  // A percentage: the input bytes done and in all, read from inside the handler.
  chunks = 0;
  std::printf("encrypting:");
  cipher.SetOnProgress([&](uint8_t, bool&) {
    ++chunks;
    const int64_t total = cipher.GetProgressTotal();
    const int64_t percent = total > 0 ? 100 * cipher.GetProgressDone() / total : 100;
    if (chunks % 5 == 0 || percent == 100) std::printf(" %lld%%", static_cast<long long>(percent));
  });
  cipher.RandomizeIV();  // a fresh IV for every encryption
  cipher.EncryptFile(source, source + ".enc");
  std::printf("\nencrypted in %d chunks\n", chunks);

  chunks = 0;
  cipher.SetOnProgress([&](uint8_t, bool&) { ++chunks; });
  cipher.DecryptFile(source + ".enc", source + ".dec");
  std::printf("decrypted in %d chunks\n", chunks);

  const bool same = ReadAll(source) == ReadAll(source + ".dec");
  std::printf("%s: %zu bytes, encrypted %zu bytes, decrypted copy %s\n", source.c_str(),
              ReadAll(source).size(), ReadAll(source + ".enc").size(),
              same ? "identical" : "DIFFERENT");
  return same ? 0 : 1;
}
