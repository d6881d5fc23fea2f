#include "morvane/framework/Graphics.h"

#include <string>

#include "morvane/framework/Endian.h"

namespace morvane {

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kBiRgb = 0;
// Palette bitmaps are small; anything wider or taller is not one.
constexpr int32_t kMaxSide = 4096;

const uint8_t* At(std::string_view b, size_t offset) {
  return reinterpret_cast<const uint8_t*>(b.data()) + offset;
}

uint16_t LoadLE16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

[[noreturn]] void Bad(const std::string& why) {
  throw EInvalidGraphic("Invalid bitmap: " + why);
}

}  // namespace

TBitmapInfo ReadBitmapInfo(std::string_view Bytes) {
  if (Bytes.size() < kFileHeaderSize + kInfoHeaderSize) Bad("too short for its headers");
  if (Bytes[0] != 'B' || Bytes[1] != 'M') Bad("no 'BM' signature");
  const uint32_t fileSize = LoadLE32(At(Bytes, 2));
  const uint32_t offBits = LoadLE32(At(Bytes, 10));
  const uint32_t headerSize = LoadLE32(At(Bytes, 14));
  if (fileSize != Bytes.size()) Bad("the recorded file size differs from the data");
  if (headerSize < kInfoHeaderSize || headerSize > Bytes.size() - kFileHeaderSize)
    Bad("unsupported info header");

  TBitmapInfo info;
  const int32_t width = static_cast<int32_t>(LoadLE32(At(Bytes, 18)));
  const int32_t height = static_cast<int32_t>(LoadLE32(At(Bytes, 22)));
  const uint16_t planes = LoadLE16(At(Bytes, 26));
  info.BitsPerPixel = LoadLE16(At(Bytes, 28));
  const uint32_t compression = LoadLE32(At(Bytes, 30));
  const uint32_t colorsUsed = LoadLE32(At(Bytes, 46));

  if (width <= 0 || width > kMaxSide) Bad("width out of range");
  if (height == 0 || height < -kMaxSide || height > kMaxSide) Bad("height out of range");
  info.Width = width;
  info.TopDown = height < 0;
  info.Height = height < 0 ? -height : height;
  if (planes != 1) Bad("planes must be 1");
  if (compression != kBiRgb) Bad("compressed bitmaps are not supported");
  const uint16_t bpp = info.BitsPerPixel;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) Bad("unsupported depth");

  if (bpp <= 8) {
    const uint32_t full = 1u << bpp;
    if (colorsUsed > full) Bad("more palette entries than the depth addresses");
    info.PaletteColors = colorsUsed == 0 ? full : colorsUsed;
  } else if (colorsUsed != 0) {
    Bad("a colour table on a true-colour bitmap");
  }
  const uint64_t paletteEnd = uint64_t{kFileHeaderSize} + headerSize + 4ull * info.PaletteColors;
  info.RowStride = ((static_cast<uint32_t>(width) * bpp + 31) / 32) * 4;
  const uint64_t pixelBytes = uint64_t{info.RowStride} * static_cast<uint32_t>(info.Height);
  if (offBits < paletteEnd) Bad("pixel data overlaps the headers or the colour table");
  if (uint64_t{offBits} + pixelBytes > Bytes.size()) Bad("pixel data runs past the end");
  info.PixelOffset = offBits;
  return info;
}

uint32_t BitmapPixel(std::string_view Bytes, const TBitmapInfo& Info, int32_t X, int32_t Y) {
  if (X < 0 || Y < 0 || X >= Info.Width || Y >= Info.Height) Bad("pixel outside the bitmap");
  const int32_t row = Info.TopDown ? Y : Info.Height - 1 - Y;
  const uint8_t* p = At(Bytes, Info.PixelOffset + static_cast<size_t>(row) * Info.RowStride);
  const uint32_t bpp = Info.BitsPerPixel;
  if (bpp == 24 || bpp == 32) {
    const uint8_t* q = p + static_cast<size_t>(X) * (bpp / 8);
    return (uint32_t{q[2]} << 16) | (uint32_t{q[1]} << 8) | q[0];
  }
  const uint32_t bit = static_cast<uint32_t>(X) * bpp;
  const uint32_t index = (p[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
  if (index >= Info.PaletteColors) Bad("colour index outside the colour table");
  // Colour table entries are blue, green, red, reserved.
  const uint8_t* q = At(Bytes, kFileHeaderSize + LoadLE32(At(Bytes, 14)) + 4 * index);
  return (uint32_t{q[2]} << 16) | (uint32_t{q[1]} << 8) | q[0];
}

}  // namespace morvane
