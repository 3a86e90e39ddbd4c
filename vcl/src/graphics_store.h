// Internal: the pixel store behind TBitmap and the row converters the canvas and the BMP codec share.
//
// Rows are kept exactly as a bottom-up DIB lays them out (last row first, each padded to 4 bytes), so a
// bottom-up BMP file is read and written with a single block transfer and a DIB can be copied straight
// in. The store never interprets pixels through virtual calls: whole rows are converted by the
// functions below.
#ifndef KORVEN_VCL_GRAPHICS_STORE_H
#define KORVEN_VCL_GRAPHICS_STORE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vcl {
struct TRect;
}

namespace vcl::detail {

// Storage layouts. 16-bit rows are either 5-5-5 (the BI_RGB meaning) or 5-6-5.
enum class Layout : uint8_t { Bits1, Bits4, Bits8, Rgb555, Rgb565, Bgr24, Bgrx32 };

int BitsPerPixel(Layout layout);
bool IsIndexed(Layout layout);
// Bytes of one row of `width` pixels, padded to a multiple of 4; 0 when it would not fit in 2^62.
uint64_t RowStride(uint64_t width, int bitsPerPixel);

// Colours are TColor values: 0x00BBGGRR (red in the low byte).
struct PixelStore {
  int32_t width = 0;
  int32_t height = 0;
  Layout layout = Layout::Bgr24;
  size_t stride = 0;
  std::vector<uint32_t> palette;  // TColor values (0x00BBGGRR); indexed layouts only
  int32_t xPelsPerMeter = 0;
  int32_t yPelsPerMeter = 0;
  // The rows; shared only when the memory was lent by the stream a page was read from (a DIB the
  // component takes over), otherwise this store's own. Large buffers come from the platform's
  // page-sized buffers (huge pages, a freed page reused warm).
  std::shared_ptr<uint8_t[]> bits;
  size_t capacity = 0;

  bool Empty() const { return width <= 0 || height <= 0; }
  size_t ImageBytes() const { return stride * static_cast<size_t>(height > 0 ? height : 0); }
  // Row y counted from the top.
  uint8_t* Row(int y) { return bits.get() + static_cast<size_t>(height - 1 - y) * stride; }
  const uint8_t* Row(int y) const { return bits.get() + static_cast<size_t>(height - 1 - y) * stride; }

  // Sets the geometry and makes room for it without clearing (the caller overwrites every row).
  // Keeps the current buffer when it is large enough, so reloading a page of the same size neither
  // frees nor touches fresh memory. With `zeroed` the rows are zeros, always in a fresh buffer (a
  // large one is then touched only where it is written).
  void Reshape(int32_t w, int32_t h, Layout l, bool zeroed = false);
  // Sets the geometry and takes `rows` (at least ImageBytes of the new geometry) as the buffer.
  void Adopt(int32_t w, int32_t h, Layout l, std::shared_ptr<uint8_t[]> rows);
  void Clear();
};

// Row conversion: `count` pixels of a row in `layout` to/from TColor values.
void RowToColors(const PixelStore& s, const uint8_t* row, int x0, int count, uint32_t* out);
void ColorsToRow(PixelStore& s, const uint32_t* colors, int x0, int count, uint8_t* row);

// The palette entry nearest to a colour (squared distance in RGB); 0 for an empty palette.
int NearestIndex(const std::vector<uint32_t>& palette, uint32_t color);

// Default colour tables for indexed layouts: black and white; the 16 VGA colours; a 6x6x6 colour
// cube followed by 40 greys.
std::vector<uint32_t> DefaultPalette(Layout layout);

// Draws `src` scaled into `rect` of `dst`, clipped to dst (see TCanvas::StretchDraw).
void Resample(const PixelStore& src, PixelStore& dst, const TRect& rect);

[[noreturn]] void ThrowInvalidGraphic(const std::string& message);

}  // namespace vcl::detail

#endif
