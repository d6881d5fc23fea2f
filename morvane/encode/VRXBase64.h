// Base64 as a cipher component: encryption encodes bytes to the text of RFC 4648 section 4 (the
// RFC 2045 alphabet, "=" padding, no line breaks) and decryption decodes it strictly.
//
// Decoding accepts the 64 alphabet characters and "=", nothing else (no line breaks, no blanks);
// a text whose length is not a multiple of four fails too. "=" pads only in the third and fourth
// place of a group, reads as 0 in the first two, and a padded group may stand anywhere. Every
// failure raises the framework's Exception "Invalid value in Base64 Decoding Table".
//
// The string and file drivers carry the text alone: no length prefix, no size trailer.
//
// Raises: DecryptString, DecryptFile and DecryptStream raise Exception "Invalid value in Base64
// Decoding Table" for any text that is not strict Base64 (above); the file drivers the file
// errors of VRXCipher.h (EFOpenError, EFCreateError, EInOutError, ERangeError for 2 GiB or
// more); every driver the cancels EVRXEncryptCancel / EVRXDecryptCancel. Nothing else.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "morvane/cipher/VRXCipher.h"

namespace morvane {

class TVRXBase64 : public TCustomVRXCipher {
 public:
  explicit TVRXBase64(TComponent* AOwner = nullptr);
  std::string ClassName() const override { return "TVRXBase64"; }

  // Opens the source before it creates the destination, so a source that cannot be opened
  // leaves an existing destination as it was.
  void DecryptFile(const std::string& SourceFile, const std::string& DestFile) override;
  std::string EncryptString(std::string_view S) override;
  std::string DecryptString(std::string_view S) override;

 protected:
  void EncryptBuffer() override;
  void DecryptBuffer() override;

  // The file layout is the text alone, of any length (TVRXEncryptor, TVRXDecryptor).
  std::string FileTail(int64_t /*SourceSize*/) const override { return {}; }
  int64_t FileLargestSource() const override { return INT64_MAX; }
  int32_t FileTailSize() const override { return 0; }
  int64_t ReadFileTail(std::string_view /*Tail*/, int64_t /*StreamSize*/) override { return -1; }

 private:
  void DecodeGroupBytewise();
};

}  // namespace morvane
