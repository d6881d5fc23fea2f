// Encodes a file as Base64 and as a uuencoded document, decodes both and compares.
//
//   encode_file SOURCE
//
// Writes SOURCE.b64 (the Base64 text alone: no line breaks) and SOURCE.uue (a document with a
// begin line naming the file, 45-byte data lines ending in CR LF, and an end line), then
// SOURCE.b64.out and SOURCE.uue.out decoded from them.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "morvane/encode/VRXBase64.h"
#include "morvane/encode/VRXUUCode.h"

static std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s SOURCE\n", argv[0]);
    return 2;
  }
  const std::string source = argv[1];
  const std::string original = ReadAll(source);

  morvane::TVRXBase64 base64;
  std::printf("Base64 of \"Morvane\": %s\n", base64.EncryptString("Morvane").c_str());
  base64.EncryptFile(source, source + ".b64");
  base64.DecryptFile(source + ".b64", source + ".b64.out");

  morvane::TVRXUUCode uu;
  uu.SetFileName("example.bin");  // the name on the begin line; its mode comes from that file
  uu.SetStatus("644  ");
  uu.EncryptFile(source, source + ".uue");
  const std::string document = ReadAll(source + ".uue");
  std::printf("uuencoded document starts: %s\n", document.substr(0, document.find('\r')).c_str());
  uu.DecryptFile(source + ".uue", source + ".uue.out");

  const bool same =
      ReadAll(source + ".b64.out") == original && ReadAll(source + ".uue.out") == original;
  std::printf("%zu bytes: Base64 %zu bytes, uuencoded %zu bytes; decoded copies %s\n",
              original.size(), ReadAll(source + ".b64").size(), document.size(),
              same ? "identical" : "DIFFERENT");
  return same ? 0 : 1;
}
