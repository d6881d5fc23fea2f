// Two threads at once, each with its own components: one hashes a buffer, the other encrypts
// and decrypts another. Separate components may run on separate threads at the same time; one
// component must not be used by two threads at once.
//
//   two_threads
#include <cstdio>
#include <string>
#include <thread>

#include "morvane/ciphers/VRXBlowfish.h"
#include "morvane/hash/VRXDigestTools.h"
#include "morvane/hash/VRXSHA.h"

static std::string MakeData(size_t n, char salt) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 31 + salt);
  return s;
}

static std::string HashJob(const std::string& data) {
  morvane::TVRXSHA sha;  // this thread's own component
  return morvane::DigestToHex(morvane::DigestBytes(sha, data));
}

static bool CipherJob(const std::string& data) {
  morvane::TVRXBlowFish bf;  // this thread's own component
  bf.SetKey("thread key");
  bf.SetMode(morvane::cipherCBC);
  bf.RandomizeIV();
  return bf.DecryptString(bf.EncryptString(data)) == data;
}

int main() {
  const std::string a = MakeData(8 << 20, 'a');
  const std::string b = MakeData(8 << 20, 'b');

  std::string digest;
  bool roundTrip = false;
  std::thread hasher([&] { digest = HashJob(a); });
  std::thread cipher([&] { roundTrip = CipherJob(b); });
  hasher.join();
  cipher.join();

  // The same work on one thread gives the same results.
  std::printf("SHA-1 of 8 MiB: %s\n", digest.c_str());
  std::printf("same as on one thread: %s\n", digest == HashJob(a) ? "yes" : "NO");
  std::printf("Blowfish round trip on the other thread: %s\n", roundTrip ? "ok" : "FAILED");
  return digest == HashJob(a) && roundTrip ? 0 : 1;
}
