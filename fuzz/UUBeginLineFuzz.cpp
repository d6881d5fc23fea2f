// The begin line of a uuencoded document, arbitrary bytes in front of valid data lines and an
// end line, read by the string driver and by the file driver. Both must agree on what they
// accept and on the name and mode they read, and the data must decode unchanged.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "morvane/encode/VRXUUCode.h"
#include "morvane/framework/Exceptions.h"

using namespace morvane;

namespace {

const std::string kPayload =
    "The quick brown fox jumps over the lazy dog, twice: The quick brown fox.";

std::string ScratchPath(const char* what) {
  const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(dir) + "/morvane-uufuzz-" + std::to_string(getpid()) + what;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The line ends at its first line feed; the fuzzer's bytes are the line without it.
  std::string line(reinterpret_cast<const char*>(data), size);
  for (char& ch : line) {
    if (ch == '\n') ch = ' ';
  }
  static const std::string body = [] {
    TVRXUUCode encoder;
    const std::string doc = encoder.EncryptString(kPayload);
    return doc.substr(doc.find('\n') + 1);  // the data lines and the end line
  }();
  const std::string document = line + "\r\n" + body;

  TVRXUUCode fromString;
  bool stringOk = true;
  try {
    if (fromString.DecryptString(document) != kPayload) __builtin_trap();
  } catch (const EVRXUUError&) {
    stringOk = false;
  }

  static const std::string source = ScratchPath(".uue");
  static const std::string dest = ScratchPath(".out");
  if (FILE* f = std::fopen(source.c_str(), "wb")) {
    std::fwrite(document.data(), 1, document.size(), f);
    std::fclose(f);
  } else {
    return 0;
  }
  TVRXUUCode fromFile;
  bool fileOk = true;
  try {
    fromFile.DecryptFile(source, dest);
  } catch (const EVRXUUError&) {
    fileOk = false;
  }
  std::remove(dest.c_str());
  if (stringOk != fileOk) __builtin_trap();
  // The string driver's line stops before its line feed, the file driver's includes it: on a
  // line whose carriage return stands within the mode text (bytes 7 to 11) the two differ, as
  // the layout has it. From 11 bytes on, the name and mode must be the same.
  if (stringOk && line.size() >= 11 &&
      (fromString.GetFileName() != fromFile.GetFileName() ||
       fromString.GetStatus() != fromFile.GetStatus())) {
    __builtin_trap();
  }

  // What was read is written back by the encoder and read again the same way, except where the
  // mode text is octal digits, one blank and more text: "begin 444 xname" is then the begin line
  // of other tools, and reading it that way (mode 444, name "xname") is the choice made.
  const auto otherToolsShape = [](const std::string& status, const std::string& name) {
    const std::string text = status + name;
    const size_t digits = text.find_first_not_of("01234567");
    return digits >= 1 && digits <= 4 && digits + 1 < text.size() && text[digits] == ' ' &&
           text[digits + 1] != ' ' && text[digits + 1] != '\r' && text[digits + 1] != '\n';
  };
  if (stringOk && !otherToolsShape(fromString.GetStatus(), fromString.GetFileName())) {
    const std::string again = fromString.EncryptString(kPayload);
    const std::string name = fromString.GetFileName();
    const std::string status = fromString.GetStatus();
    if (fromString.DecryptString(again) != kPayload || fromString.GetFileName() != name ||
        fromString.GetStatus() != status) {
      __builtin_trap();
    }
  }
  return 0;
}
