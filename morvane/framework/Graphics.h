// Just enough of the BMP file format for palette bitmaps: a strict reader of the headers.
#pragma once

#include <cstdint>
#include <string_view>

#include "morvane/framework/Exceptions.h"

namespace morvane {

// Bytes that are not a BMP file this reader accepts.
class EInvalidGraphic : public Exception {
  using Exception::Exception;
};

struct TBitmapInfo {
  int32_t Width = 0;
  int32_t Height = 0;  // positive whether the rows are stored bottom-up or top-down
  bool TopDown = false;
  uint16_t BitsPerPixel = 0;
  uint32_t PaletteColors = 0;  // colour table entries (0 for 24 and 32 bits per pixel)
  uint32_t PixelOffset = 0;    // where the pixel rows start in the file
  uint32_t RowStride = 0;      // bytes per stored row, padded to 4
};

// Reads and checks the headers of an uncompressed BMP file (a 14-byte file header, a 40-byte or
// longer info header, 1, 4, 8, 24 or 32 bits per pixel, a colour table that fits the depth) and
// verifies that the colour table and every pixel row lie inside the bytes. Any other input
// raises EInvalidGraphic; nothing is read outside Bytes.
TBitmapInfo ReadBitmapInfo(std::string_view Bytes);

// The colour of a pixel as 0xRRGGBB, x from the left and y from the top; the bitmap must have
// passed ReadBitmapInfo. A colour index past the table raises EInvalidGraphic.
uint32_t BitmapPixel(std::string_view Bytes, const TBitmapInfo& Info, int32_t X, int32_t Y);

}  // namespace morvane
