#include "morvane/framework/SecureWipe.h"

#include <cstring>

namespace morvane {

void SecureWipe(void* p, std::size_t n) noexcept {
  if (p == nullptr || n == 0) return;
  std::memset(p, 0, n);
  // The barrier tells the compiler that the zeroed memory is read, so the memset stays.
  __asm__ __volatile__("" : : "r"(p) : "memory");
}

void SecureWipe(std::string& s) noexcept {
  s.resize(s.capacity());
  SecureWipe(s.data(), s.size());
  s.clear();
}

}  // namespace morvane
