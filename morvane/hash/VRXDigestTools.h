// Digests of whole messages in one call, on any digest component (TVRXMD5, TVRXSHA,
// TVRXRIPEMD160, TVRXRIPEMD128), and their hexadecimal form:
//
//   TVRXSHA sha;
//   std::string raw = DigestFile(sha, "disk.img");   // 20 raw bytes, files of any size
//   std::string hex = DigestToHex(raw);              // "da39a3ee5e6b4b0d3255bfef95601890afd80709"
//   std::string raw2 = DigestBytes(sha, buffer);     // bytes in memory, any size
//
// Built on TVRXDigester (VRXDigest.h): the bytes are those of the component's EncryptString and
// EncryptFile for every message those accept, and messages of 2 GiB and more are digested too
// (the drivers refuse them, as their layouts count in 32 bits). The component's BufferSize and
// OnProgress are used as by TVRXDigester: a progress call per BufferSize x 64 bytes, and setting
// lAbort raises EVRXEncryptCancel; GetProgressDone and GetProgressTotal belong to the drivers
// and are not updated (for a percentage, count against the file size or the buffer length).
// One call at a time per component.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "morvane/cipher/VRXCipher.h"

namespace morvane {

// The raw digest (16 or 20 bytes, in the published byte order) of Bytes.
std::string DigestBytes(TCustomVRXHash& Hash, std::span<const uint8_t> Bytes);
std::string DigestBytes(TCustomVRXHash& Hash, std::string_view Bytes);

// The raw digest of the whole content of the file FileName, read in chunks of BufferSize x 64
// bytes (at most 4 MiB), so memory stays small whatever the size. Raises EFOpenError when the file
// cannot be opened and EInOutError when a read fails; nothing is written anywhere.
std::string DigestFile(TCustomVRXHash& Hash, const std::string& FileName);

// Lower-case hexadecimal, two digits a byte, as md5sum and sha1sum print a digest.
std::string DigestToHex(std::string_view Raw);

}  // namespace morvane
