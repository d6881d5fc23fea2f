// The package's resources: the palette bitmaps, compiled in from morvane/package/bitmaps/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace morvane {

// A BMP file image under its resource name (the class name in upper case).
struct TPaletteBitmap {
  const char* Name;
  const uint8_t* Data;
  size_t Size;
};

// Every palette bitmap of the package, by resource name in ASCII order.
std::span<const TPaletteBitmap> PaletteBitmaps() noexcept;

// The BMP file image of a resource name, ASCII case ignored as resource names are; empty when the
// package has no bitmap of that name (the host then shows its default icon).
std::string_view FindPaletteBitmap(std::string_view ResourceName) noexcept;

}  // namespace morvane
