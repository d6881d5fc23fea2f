// Digests, encrypts and encodes a file of any size while reading it once, in pieces, with the
// incremental interfaces; decrypts the encrypted pieces as they come and checks the round trip.
//
//   stream_pieces FILE
//
// TVRXDigester (digests), TVRXEncryptor and TVRXDecryptor (ciphers and encoders) take the data
// piece by piece and give the bytes the drivers give for the whole: memory stays at a few chunks
// whatever the size, and a source of 2 GiB or more is no problem (except for a cipher's file
// layout, whose 4-byte size trailer stops at 2^31 - 1 bytes).
#include <cstdio>
#include <string>

#include "morvane/cipher/VRXIncremental.h"
#include "morvane/ciphers/VRXBlowfish.h"
#include "morvane/encode/VRXBase64.h"
#include "morvane/hash/VRXDigest.h"
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

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  std::FILE* file = std::fopen(argv[1], "rb");
  if (file == nullptr) {
    std::perror(argv[1]);
    return 1;
  }

  morvane::TVRXSHA sha1;
  morvane::TVRXDigester digest(sha1);

  // The sender encrypts in the stream layout (IV, then blocks); the receiver decrypts what it
  // gets, however the pieces fall. Both hold the same key; the IV travels in the data.
  morvane::TVRXBlowFish sender, receiver;
  sender.SetKey("a key both sides hold");
  receiver.SetKey("a key both sides hold");
  sender.SetMode(morvane::cipherCBC);
  receiver.SetMode(morvane::cipherCBC);
  morvane::TVRXEncryptor encrypt(sender, morvane::layoutStream);
  morvane::TVRXDecryptor decrypt(receiver, morvane::layoutStream);

  morvane::TVRXBase64 base64;
  morvane::TVRXEncryptor encode(base64);

  std::string piece(65536, '\0'), encrypted, decrypted, text;
  unsigned long long in = 0, sent = 0, back = 0, encoded = 0;
  bool same = true;
  std::string original;  // the bytes whose decryption is still to come
  for (;;) {
    const size_t n = std::fread(piece.data(), 1, piece.size(), file);
    if (n == 0) break;
    const std::string_view bytes(piece.data(), n);
    in += n;
    digest.Update(bytes);
    encrypt.Update(bytes, encrypted);
    decrypt.Update(encrypted, decrypted);
    sent += encrypted.size();
    encrypted.clear();
    // The decryption runs a little behind: compare what it gave with the bytes it stands for.
    original += bytes;
    same = same && original.compare(0, decrypted.size(), decrypted) == 0;
    original.erase(0, decrypted.size());
    back += decrypted.size();
    decrypted.clear();
    encode.Update(bytes, text);
    encoded += text.size();
    text.clear();
  }
  std::fclose(file);

  encrypt.Finish(encrypted);
  decrypt.Update(encrypted, decrypted);
  sent += encrypted.size();
  decrypt.Finish(decrypted);
  // The stream layout ends with the zero bytes that fill the last block.
  same = same && decrypted.size() >= original.size();
  if (same) original.append(decrypted.size() - original.size(), '\0');
  same = same && original == decrypted;
  back += decrypted.size();
  encode.Finish(text);
  encoded += text.size();

  std::printf("read               %llu bytes\n", in);
  std::printf("SHA-1              %s\n", Hex(digest.Finish()).c_str());
  std::printf("encrypted stream   %llu bytes (8 IV bytes, then whole 8-byte blocks)\n", sent);
  std::printf("decrypted          %llu bytes, %s\n", back,
              same ? "the source and its zero padding" : "DIFFERENT");
  std::printf("Base64 text        %llu characters\n", encoded);
  return same ? 0 : 1;
}
