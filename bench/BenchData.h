// The data the bulk workloads run over: MORVANE_BENCH_MIB mebibytes (64 when unset), the same
// pseudo-random bytes in every suite so that figures compare across them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace morvane::bench {

// The pieces the incremental workloads feed: what a program reading a pipe with a 1 MiB buffer
// hands over at a time. (A chunk that straddles two pieces is copied once; with pieces of a few
// chunks that is rare.)
inline constexpr size_t kPiece = size_t{1} << 20;

inline size_t BulkBytes() {
  static const size_t bytes = [] {
    const char* env = std::getenv("MORVANE_BENCH_MIB");
    const long mib = env ? std::atol(env) : 64;
    return static_cast<size_t>(mib > 0 ? mib : 64) << 20;
  }();
  return bytes;
}

inline const std::string& BulkData() {
  static const std::string data = [] {
    std::string d(BulkBytes(), '\0');
    uint32_t x = 0x12345678;
    for (auto& c : d) {
      x = x * 1664525u + 1013904223u;  // a linear congruential sequence, top byte of each step
      c = static_cast<char>(x >> 24);
    }
    return d;
  }();
  return data;
}

}  // namespace morvane::bench
