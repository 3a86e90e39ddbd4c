// Builds BMP files byte by byte for the graphics tests, so that every header field can be set to a
// valid or a broken value.
#ifndef KORVEN_TESTS_BMP_BUILDER_H
#define KORVEN_TESTS_BMP_BUILDER_H

#include <cstdint>
#include <vector>

namespace korven::test {

struct BmpFile {
  char sig0 = 'B', sig1 = 'M';
  uint32_t headerSize = 40;
  int32_t width = 0;
  int32_t height = 0;
  uint16_t planes = 1;
  uint16_t bitCount = 24;
  uint32_t compression = 0;
  int64_t sizeImage = -1;  // -1: the length of `pixels`
  int32_t xppm = 3780, yppm = 3780;
  uint32_t clrUsed = 0;
  std::vector<uint32_t> palette;  // 0x00RRGGBB, written as RGBQUAD (RGBTRIPLE for the core header)
  std::vector<uint32_t> masks;    // after a 40-byte header, or inside a 52+ byte header
  std::vector<uint8_t> gap;       // bytes between the colour table and the pixels
  std::vector<uint8_t> pixels;    // file order
  int64_t offBits = -1;           // -1: computed

  std::vector<uint8_t> Build() const {
    std::vector<uint8_t> out;
    auto u8 = [&](uint32_t v) { out.push_back(static_cast<uint8_t>(v)); };
    auto u16 = [&](uint32_t v) { u8(v); u8(v >> 8); };
    auto u32 = [&](uint32_t v) { u16(v); u16(v >> 16); };
    const bool core = headerSize == 12;
    const size_t entry = core ? 3 : 4;
    const bool masksInHeader = headerSize >= 52;
    const size_t masksAfter = (!masksInHeader && headerSize == 40) ? masks.size() * 4 : 0;
    const size_t computedOff = 14 + headerSize + masksAfter + palette.size() * entry + gap.size();
    u8(static_cast<uint8_t>(sig0));
    u8(static_cast<uint8_t>(sig1));
    u32(static_cast<uint32_t>(computedOff + pixels.size()));
    u32(0);
    u32(offBits < 0 ? static_cast<uint32_t>(computedOff) : static_cast<uint32_t>(offBits));
    const size_t headerStart = out.size();
    u32(headerSize);
    if (core) {
      u16(static_cast<uint32_t>(width));
      u16(static_cast<uint32_t>(height));
      u16(planes);
      u16(bitCount);
    } else if (headerSize >= 40) {
      u32(static_cast<uint32_t>(width));
      u32(static_cast<uint32_t>(height));
      u16(planes);
      u16(bitCount);
      u32(compression);
      u32(sizeImage < 0 ? static_cast<uint32_t>(pixels.size()) : static_cast<uint32_t>(sizeImage));
      u32(static_cast<uint32_t>(xppm));
      u32(static_cast<uint32_t>(yppm));
      u32(clrUsed);
      u32(0);
      if (masksInHeader)
        for (size_t i = 0; i < 4 && (40 + 4 * i) < headerSize; ++i) u32(i < masks.size() ? masks[i] : 0);
    }
    while (out.size() < headerStart + headerSize) u8(0);  // rest of a V4/V5 header, or a bogus size
    if (masksAfter)
      for (uint32_t m : masks) u32(m);
    for (uint32_t c : palette) {
      u8(c);
      u8(c >> 8);
      u8(c >> 16);
      if (!core) u8(0);
    }
    out.insert(out.end(), gap.begin(), gap.end());
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
  }
};

// Rows padded to 4 bytes each, in the order given.
inline std::vector<uint8_t> PadRows(const std::vector<std::vector<uint8_t>>& rows) {
  std::vector<uint8_t> out;
  for (const auto& r : rows) {
    out.insert(out.end(), r.begin(), r.end());
    for (size_t n = r.size(); n % 4; ++n) out.push_back(0);
  }
  return out;
}

}  // namespace korven::test

#endif
