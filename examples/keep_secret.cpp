// Keeps a secret setting (a database password, an API token) encrypted in a file, and reads it
// back, as a program that stores its settings would.
//
//   keep_secret [FILE]           (default: secret.setting)
//
// The key would come from outside the program (an environment variable, a key file); it is
// fixed here so that the example runs alone. Every save takes a fresh IV, so saving the same
// secret twice gives two different files, and both read back.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "morvane/ciphers/VRXTwoFish.h"
#include "morvane/framework/Exceptions.h"

static std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

static void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The encrypted string layout: plaintext length (4 bytes), the IV (16), the blocks.
static void SaveSecret(const std::string& path, const std::string& key, const std::string& secret) {
  morvane::TVRXTwoFish cipher;
  cipher.SetKey(key);
  cipher.SetMode(morvane::cipherCBC);
  cipher.RandomizeIV();  // before every encryption: the same secret never gives the same bytes
  WriteAll(path, cipher.EncryptString(secret));
}

static std::string LoadSecret(const std::string& path, const std::string& key) {
  morvane::TVRXTwoFish cipher;  // any component with the key and mode: the IV is in the file
  cipher.SetKey(key);
  cipher.SetMode(morvane::cipherCBC);
  return cipher.DecryptString(ReadAll(path));
}

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : "secret.setting";
  const std::string key = "a 32-byte key for Twofish-256!!!";
  const std::string secret = "db-password=correct horse battery staple";

  try {
    SaveSecret(path, key, secret);
    const std::string first = ReadAll(path);
    SaveSecret(path + ".again", key, secret);
    const std::string second = ReadAll(path + ".again");
    std::printf("saved %zu secret bytes as %zu bytes\n", secret.size(), first.size());
    std::printf("two saves of the same secret differ: %s\n", first != second ? "yes" : "NO");
    std::printf("read back: %s\n", LoadSecret(path, key) == secret ? "the secret" : "WRONG");
    std::printf("second file read back: %s\n",
                LoadSecret(path + ".again", key) == secret ? "the secret" : "WRONG");
    // There is no integrity check: a wrong key gives wrong bytes, not an error.
    std::printf("with a wrong key: %s\n",
                LoadSecret(path, "another 32-byte key for Twofish!!") == secret ? "the secret"
                                                                                : "other bytes");
    // A cut file is refused (a stream read error) rather than read short.
    WriteAll(path + ".cut", first.substr(0, 10));
    try {
      LoadSecret(path + ".cut", key);
      std::printf("cut file: READ\n");
    } catch (const morvane::EReadError&) {
      std::printf("cut file refused: EReadError\n");
    }
  } catch (const morvane::Exception& e) {
    std::fprintf(stderr, "keep_secret: %s\n", e.what());
    return 1;
  }
  return 0;
}
