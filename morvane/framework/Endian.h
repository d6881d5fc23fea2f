// Explicit byte order for every unit: words are loaded and stored byte-wise through memcpy and a
// byte swap, never by casting pointers, so the code is right on any host.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace morvane {

constexpr uint32_t ByteSwap32(uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24);
}

constexpr uint64_t ByteSwap64(uint64_t v) {
  return (uint64_t{ByteSwap32(static_cast<uint32_t>(v))} << 32) |
         ByteSwap32(static_cast<uint32_t>(v >> 32));
}

inline uint32_t LoadLE32(const void* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  if constexpr (std::endian::native == std::endian::big) v = ByteSwap32(v);
  return v;
}

inline uint32_t LoadBE32(const void* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  if constexpr (std::endian::native == std::endian::little) v = ByteSwap32(v);
  return v;
}

inline uint64_t LoadLE64(const void* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::big) v = ByteSwap64(v);
  return v;
}

inline uint64_t LoadBE64(const void* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::little) v = ByteSwap64(v);
  return v;
}

inline void StoreLE32(void* p, uint32_t v) {
  if constexpr (std::endian::native == std::endian::big) v = ByteSwap32(v);
  std::memcpy(p, &v, 4);
}

inline void StoreBE32(void* p, uint32_t v) {
  if constexpr (std::endian::native == std::endian::little) v = ByteSwap32(v);
  std::memcpy(p, &v, 4);
}

inline void StoreLE64(void* p, uint64_t v) {
  if constexpr (std::endian::native == std::endian::big) v = ByteSwap64(v);
  std::memcpy(p, &v, 8);
}

inline void StoreBE64(void* p, uint64_t v) {
  if constexpr (std::endian::native == std::endian::little) v = ByteSwap64(v);
  std::memcpy(p, &v, 8);
}

}  // namespace morvane
