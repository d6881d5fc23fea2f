// Uuencode as a cipher component: encryption writes a whole document, decryption reads one.
//
// The document (every line ends in CR LF):
//   "begin " [Status FileName]   Status and name only when FileName is not empty
//   data lines                   a length character, then four characters per three bytes;
//                                45 bytes a line ("M" + 60 characters), the last line shorter
//   "end"
// A 6-bit value v is written as v + 32, except 0, written as the backquote; decoding maps every
// byte c to (c - 32) and 63. There is no zero-length line before "end".
//
// Decoding trusts the layout the encoder writes: line ends of two bytes, every line but the
// last full. Other layouts decode to wrong bytes, however short the document; a data line that
// would pass the chunk it stands in while more data follows, or give more bytes than a chunk
// of BufferSize lines can hold, raises EVRXUUError.
#pragma once

#include <string>
#include <string_view>

#include "morvane/cipher/VRXCipher.h"
#include "morvane/framework/Exceptions.h"

namespace morvane {

// "No begin line", "No end line", "Malformed data line".
class EVRXUUError : public Exception {
 public:
  using Exception::Exception;
};

class TVRXUUCode : public TCustomVRXCipher {
 public:
  explicit TVRXUUCode(TComponent* AOwner = nullptr);
  std::string ClassName() const override { return "TVRXUUCode"; }

  // ---- Published properties

  // The name on the begin line. Setting it also sets Status from the file of that name:
  // "444  " when its attributes are the read-only attribute alone, else "644  " (a missing file
  // included). The file itself is never opened.
  const std::string& GetFileName() const noexcept { return FFileName; }
  void SetFileName(std::string_view Value);
  // The mode text written in front of the name ("644  ", "444  ").
  const std::string& GetStatus() const noexcept { return FStatus; }
  void SetStatus(std::string_view Value) { FStatus = Value; }

  // ---- Drivers: whole documents. The decoders set FileName and Status from the begin line
  // when it is longer than 8 bytes, without looking at any file.

  void EncryptFile(const std::string& SourceFile, const std::string& DestFile) override;
  // Checks the begin and end lines before it creates anything, and marks the destination
  // read-only when the document's mode is "444  ".
  void DecryptFile(const std::string& SourceFile, const std::string& DestFile) override;
  std::string EncryptString(std::string_view S) override;
  std::string DecryptString(std::string_view S) override;

 protected:
  void EncryptBuffer() override;
  void DecryptBuffer() override;

 private:
  std::string BeginLine() const;
  void ReadBeginLine(std::string_view Line);
  void DecodeLineBytewise(int32_t& Count);

  std::string FFileName;
  std::string FStatus;
};

}  // namespace morvane
