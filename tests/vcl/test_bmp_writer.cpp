// TBitmap writing BMP files: what is written is a plain BMP other readers accept, and every pixel
// format survives a save and a load with its pixels, palette and resolution.
#include <vcl/Graphics.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "testsupport.h"

using namespace vcl;

namespace {

uint32_t U32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// A 5 x 3 picture in colours every format can hold exactly.
const TColor kColours[] = {clBlack, clWhite, clRed, clLime, clBlue};
TColor ColourAt(int x, int y, TPixelFormat f) {
  if (f == pf1bit) return ((x + y) & 1) ? clWhite : clBlack;
  return kColours[(x + 2 * y) % 5];
}

struct FormatCase {
  TPixelFormat format;
  int bitCount;
  uint32_t compression;
  uint32_t paletteEntries;
};
void PrintTo(const FormatCase& c, std::ostream* os) { *os << "pixel format " << c.format; }

class BmpRoundTrip : public korven::test::KorvenTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(BmpRoundTrip, KeepsPixelsPaletteAndResolution) {
  const FormatCase c = GetParam();
  TBitmap bitmap;
  bitmap.SetPixelFormat(c.format);
  if (c.paletteEntries == 16) bitmap.SetPalette({clBlack, clWhite, clRed, clLime, clBlue});
  bitmap.SetSize(5, 3);
  bitmap.SetPelsPerMeter(23622, 11811);  // 600 x 300 dpi
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) bitmap.GetCanvas()->SetPixels(x, y, ColourAt(x, y, c.format));

  TMemoryStream stream;
  bitmap.SaveToStream(&stream);
  const auto* p = static_cast<const uint8_t*>(stream.Memory());
  const uint32_t rowBytes = ((5 * c.bitCount + 31) / 32) * 4;
  const uint32_t offBits = 14 + 40 + (c.compression == 3 ? 12 : 0) + 4 * c.paletteEntries;
  ASSERT_EQ(stream.GetSize(), static_cast<int64_t>(offBits + 3 * rowBytes));
  EXPECT_EQ(p[0], 'B');
  EXPECT_EQ(p[1], 'M');
  EXPECT_EQ(U32(p + 2), offBits + 3 * rowBytes);  // bfSize
  EXPECT_EQ(U32(p + 10), offBits);
  EXPECT_EQ(U32(p + 14), 40u);
  EXPECT_EQ(static_cast<int32_t>(U32(p + 22)), 3);  // bottom-up
  EXPECT_EQ(U16(p + 26), 1u);
  EXPECT_EQ(U16(p + 28), c.bitCount);
  EXPECT_EQ(U32(p + 30), c.compression);
  EXPECT_EQ(U32(p + 34), 3 * rowBytes);
  EXPECT_EQ(U32(p + 38), 23622u);
  EXPECT_EQ(U32(p + 42), 11811u);
  EXPECT_EQ(U32(p + 46), c.paletteEntries);

  stream.SetPosition(0);
  TBitmap back;
  back.LoadFromStream(&stream);
  EXPECT_EQ(back.GetPixelFormat(), c.format == pfDevice ? pf24bit : c.format);
  EXPECT_EQ(back.GetPalette(), bitmap.GetPalette());
  EXPECT_EQ(back.GetXPelsPerMeter(), 23622);
  EXPECT_EQ(back.GetYPelsPerMeter(), 11811);
  for (int y = 0; y < 3; ++y) {
    EXPECT_EQ(std::memcmp(back.ScanLine(y), bitmap.ScanLine(y), rowBytes), 0) << "row " << y;
    for (int x = 0; x < 5; ++x) EXPECT_EQ(back.GetCanvas()->GetPixels(x, y), ColourAt(x, y, c.format));
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, BmpRoundTrip,
                         ::testing::Values(FormatCase{pf1bit, 1, 0, 2}, FormatCase{pf4bit, 4, 0, 16},
                                           FormatCase{pf8bit, 8, 0, 256}, FormatCase{pf15bit, 16, 0, 0},
                                           FormatCase{pf16bit, 16, 3, 0}, FormatCase{pf24bit, 24, 0, 0},
                                           FormatCase{pf32bit, 32, 0, 0}, FormatCase{pfDevice, 24, 0, 0}),
                         [](const auto& info) { return "pf" + std::to_string(info.param.format); });

TEST(BmpWriter, FilesRoundTripAndAnEmptyBitmapWritesNothing) {
  const auto dir = korven::test::MakeTempDir("bmpwriter");
  const std::string path = (dir / "page.bmp").string();
  TBitmap bitmap;
  bitmap.SetSize(7, 2);
  bitmap.GetCanvas()->SetPixels(6, 1, clFuchsia);
  bitmap.SaveToFile(path);
  EXPECT_EQ(std::filesystem::file_size(path), 14u + 40u + 2u * 24u);

  TBitmap back;
  back.LoadFromFile(path);
  EXPECT_EQ(back.GetCanvas()->GetPixels(6, 1), clFuchsia);
  EXPECT_EQ(back.GetCanvas()->GetPixels(0, 0), clBlack);

  TBitmap empty;
  TMemoryStream s;
  empty.SaveToStream(&s);
  EXPECT_EQ(s.GetSize(), 0);
  EXPECT_THROW(back.LoadFromFile((dir / "missing.bmp").string()), EFOpenError);
  std::filesystem::remove_all(dir);
}

}  // namespace
