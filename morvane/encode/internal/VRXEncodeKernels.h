// The bulk cores of the text encoders: Base64 (RFC 4648 section 4 alphabet) and the uuencode
// line format, each as a portable routine and, on x86, SSSE3 and AVX2 routines that give the
// same bytes. The components hand them whole groups or whole lines straight from their chunk
// buffers; everything irregular (padding, "=", invalid characters, short lines) stays with the
// components' byte-wise code. The routines never throw and never read or write outside the
// ranges they are given.
#pragma once

#include <cstddef>
#include <cstdint>

namespace morvane::detail {

enum class TEncodePath : uint8_t { Portable, SSSE3, AVX2 };

struct TEncodeKernels {
  TEncodePath Path;
  const char* Name;  // "portable", "ssse3", "avx2"

  // Encodes Groups 3-byte groups of In into 4 × Groups Base64 characters at Out.
  void (*Base64Encode)(const uint8_t* In, size_t Groups, uint8_t* Out) noexcept;
  // Decodes the leading 4-character groups of In that hold only the 64 alphabet characters
  // ("=" not included) into 3 bytes each; stops at the first other group. Returns the number
  // of groups decoded. Writes nothing past Out + 3 × Groups.
  size_t (*Base64Decode)(const uint8_t* In, size_t Groups, uint8_t* Out) noexcept;
  // Writes Lines full uuencoded lines (length character "M", 60 characters, CR LF: 63 bytes)
  // for Lines × 45 bytes of In.
  void (*UUEncodeLines)(const uint8_t* In, size_t Lines, uint8_t* Out) noexcept;
  // Decodes the leading 63-byte lines of In whose length character reads as 45 into 45 bytes
  // each (the two line-end bytes are skipped unread, as the byte-wise decoder does); stops at
  // the first other line. Returns the number of lines decoded.
  size_t (*UUDecodeLines)(const uint8_t* In, size_t Lines, uint8_t* Out) noexcept;

  // Copies the N bytes of In to Out without their carriage returns and line feeds (wrapped
  // Base64 text made whole for the decoder); returns the bytes written. Out holds N bytes and
  // does not overlap In.
  size_t (*RemoveLineBreaks)(const uint8_t* In, size_t N, uint8_t* Out) noexcept;
  // Copies the N bytes of In to Out with a carriage return put before every line feed that
  // does not already follow one (documents with bare line feeds read as CR LF documents);
  // Prev is the byte before In[0] and is left as the last byte of In. Returns the bytes
  // written. Out holds 2 × N bytes and does not overlap In.
  size_t (*LineFeedsToCrLf)(const uint8_t* In, size_t N, uint8_t* Out, uint8_t& Prev) noexcept;
};

// The routines of a path, or nullptr when this CPU (after MORVANE_CPU_MASK) cannot run it.
const TEncodeKernels* EncodeKernels(TEncodePath Path) noexcept;

// The routines the components use: the fastest available path, chosen on first use.
const TEncodeKernels& ActiveEncodeKernels() noexcept;

// Makes the components use Path from now on (for tests and benchmarks that compare paths);
// returns false, changing nothing, when the path is not available.
bool SelectEncodePath(TEncodePath Path) noexcept;

}  // namespace morvane::detail
