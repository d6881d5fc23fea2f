// New GUIDs from the operating system's random generator.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace morvane {

struct TGUID {
  uint32_t D1 = 0;
  uint16_t D2 = 0;
  uint16_t D3 = 0;
  std::array<uint8_t, 8> D4{};
};

// 128 random bits in the version-4 layout (version 4 in D3's top nibble, variant 10 in D4[0]).
// Raises EInOutError when the system generator cannot be read.
TGUID CreateGuid();

// Fills Buffer with Count bytes from the operating system's random generator; raises EInOutError
// when it cannot be read.
void SystemRandomBytes(void* Buffer, std::size_t Count);

}  // namespace morvane
