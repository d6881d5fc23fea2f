// Wiping of key material that the compiler may not drop as a dead store.
#pragma once

#include <cstddef>
#include <string>

namespace morvane {

// Overwrites n bytes at p with zeros; the write survives optimisation.
void SecureWipe(void* p, std::size_t n) noexcept;

// Wipes the whole capacity of a string's current buffer, then empties it.
void SecureWipe(std::string& s) noexcept;

}  // namespace morvane
