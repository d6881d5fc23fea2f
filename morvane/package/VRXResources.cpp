#include "morvane/package/VRXResources.h"

#include "morvane/framework/Classes.h"

namespace morvane {

namespace detail {
// Generated at build time from the bitmap files (cmake/EmbedBitmaps.cmake).
extern const TPaletteBitmap kPaletteBitmapTable[];
extern const size_t kPaletteBitmapTableSize;
}  // namespace detail

std::span<const TPaletteBitmap> PaletteBitmaps() noexcept {
  return {detail::kPaletteBitmapTable, detail::kPaletteBitmapTableSize};
}

std::string_view FindPaletteBitmap(std::string_view ResourceName) noexcept {
  for (const TPaletteBitmap& b : PaletteBitmaps())
    if (SameIdent(b.Name, ResourceName)) return {reinterpret_cast<const char*>(b.Data), b.Size};
  return {};
}

}  // namespace morvane
