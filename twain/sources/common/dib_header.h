// The BITMAPINFOHEADER at the start of a packed DIB, as a data source writes it (little-endian,
// 40 bytes). Shared by korven's data sources.
#ifndef KORVEN_DS_DIB_HEADER_H
#define KORVEN_DS_DIB_HEADER_H

#include <cmath>
#include <cstdint>

namespace korven::ds {

#pragma pack(push, 2)
struct InfoHeader {
  uint32_t biSize;
  int32_t biWidth, biHeight;
  uint16_t biPlanes, biBitCount;
  uint32_t biCompression, biSizeImage;
  int32_t biXPelsPerMeter, biYPelsPerMeter;
  uint32_t biClrUsed, biClrImportant;
};
#pragma pack(pop)
static_assert(sizeof(InfoHeader) == 40);

// Pixels per metre for a resolution in dots per inch, rounded.
inline int32_t PelsPerMeter(double dpi) { return static_cast<int32_t>(std::lround(dpi / 0.0254)); }

}  // namespace korven::ds

#endif
