// TBitmap reading BMP files: every header, bit count and compression gives the right pixels, and
// every kind of malformed file gives EInvalidGraphic with a message naming the fault.
#include <vcl/Graphics.h>

#include <functional>
#include <string>
#include <vector>

#include "bmp_builder.h"
#include "testsupport.h"

using namespace vcl;
using korven::test::BmpFile;
using korven::test::PadRows;

namespace {

// The test image, top row first: red, lime, blue / white, black, yellow. Colours as 0xRRGGBB.
const std::vector<std::vector<uint32_t>> kImage = {{0xFF0000, 0x00FF00, 0x0000FF}, {0xFFFFFF, 0x000000, 0xFFFF00}};
const std::vector<std::vector<TColor>> kExpected = {{clRed, clLime, clBlue}, {clWhite, clBlack, clYellow}};
// Palette for the indexed variants and the index of each test colour in it.
const std::vector<uint32_t> kPalette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0xFFFF00};
uint8_t IndexOf(uint32_t rgb) {
  for (size_t i = 0; i < kPalette.size(); ++i)
    if (kPalette[i] == rgb) return static_cast<uint8_t>(i);
  return 0;
}

// Rows of kImage encoded per pixel by `enc`, in file order (bottom-up unless topDown).
std::vector<uint8_t> Encode(const std::function<std::vector<uint8_t>(uint32_t)>& enc, bool topDown = false) {
  std::vector<std::vector<uint8_t>> rows;
  for (const auto& row : kImage) {
    std::vector<uint8_t> bytes;
    for (uint32_t c : row) {
      auto px = enc(c);
      bytes.insert(bytes.end(), px.begin(), px.end());
    }
    rows.push_back(bytes);
  }
  if (!topDown) std::reverse(rows.begin(), rows.end());
  return PadRows(rows);
}

uint32_t R(uint32_t c) { return (c >> 16) & 0xFF; }
uint32_t G(uint32_t c) { return (c >> 8) & 0xFF; }
uint32_t B(uint32_t c) { return c & 0xFF; }
std::vector<uint8_t> Le16(uint32_t v) { return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}; }
std::vector<uint8_t> Bgr(uint32_t c) { return {static_cast<uint8_t>(B(c)), static_cast<uint8_t>(G(c)), static_cast<uint8_t>(R(c))}; }

BmpFile Base24() {
  BmpFile f;
  f.width = 3;
  f.height = 2;
  f.bitCount = 24;
  f.pixels = Encode(Bgr);
  return f;
}

BmpFile Indexed8() {
  BmpFile f = Base24();
  f.bitCount = 8;
  f.palette = kPalette;
  f.clrUsed = static_cast<uint32_t>(kPalette.size());
  f.pixels = Encode([](uint32_t c) { return std::vector<uint8_t>{IndexOf(c)}; });
  return f;
}


struct ValidCase {
  const char* name;
  std::function<std::vector<uint8_t>()> make;
  TPixelFormat format;
  std::vector<std::vector<TColor>> expected = kExpected;
};
void PrintTo(const ValidCase& c, std::ostream* os) { *os << c.name; }

std::vector<std::vector<TColor>> BlackWhite() {
  return {{clWhite, clBlack, clWhite}, {clBlack, clBlack, clWhite}};
}

const ValidCase kValid[] = {
    {"Info24BottomUp", [] { return Base24().Build(); }, pf24bit},
    {"Info24TopDown",
     [] {
       BmpFile f = Base24();
       f.height = -2;
       f.pixels = Encode(Bgr, true);
       return f.Build();
     },
     pf24bit},
    {"Info24SizeImageZero",
     [] {
       BmpFile f = Base24();
       f.sizeImage = 0;
       return f.Build();
     },
     pf24bit},
    {"Info24OffsetWithGap",
     [] {
       BmpFile f = Base24();
       f.gap = std::vector<uint8_t>(10, 0xEE);
       return f.Build();
     },
     pf24bit},
    {"Core24", [] {
       BmpFile f = Base24();
       f.headerSize = 12;
       return f.Build();
     },
     pf24bit},
    {"Core8ShortTableByOffset",
     [] {
       BmpFile f = Indexed8();
       f.headerSize = 12;  // RGBTRIPLE entries; the offset leaves room for 6 of the 256
       return f.Build();
     },
     pf8bit},
    {"V4Header24", [] {
       BmpFile f = Base24();
       f.headerSize = 108;
       return f.Build();
     },
     pf24bit},
    {"V5Header16Bitfields565",
     [] {
       BmpFile f = Base24();
       f.headerSize = 124;
       f.bitCount = 16;
       f.compression = 3;
       f.masks = {0xF800, 0x07E0, 0x001F, 0};
       f.pixels = Encode([](uint32_t c) { return Le16(((R(c) >> 3) << 11) | ((G(c) >> 2) << 5) | (B(c) >> 3)); });
       return f.Build();
     },
     pf16bit},
    {"Info32Rgb",
     [] {
       BmpFile f = Base24();
       f.bitCount = 32;
       f.pixels = Encode([](uint32_t c) { auto v = Bgr(c); v.push_back(0); return v; });
       return f.Build();
     },
     pf32bit},
    {"Info32BitfieldsStandardMasksAfterHeader",
     [] {
       BmpFile f = Base24();
       f.bitCount = 32;
       f.compression = 3;
       f.masks = {0xFF0000, 0x00FF00, 0x0000FF};
       f.pixels = Encode([](uint32_t c) { auto v = Bgr(c); v.push_back(0); return v; });
       return f.Build();
     },
     pf32bit},
    {"Info32BitfieldsRgbxMasks",
     [] {
       BmpFile f = Base24();
       f.bitCount = 32;
       f.compression = 3;
       f.masks = {0x000000FF, 0x0000FF00, 0x00FF0000};
       f.pixels = Encode([](uint32_t c) {
         return std::vector<uint8_t>{static_cast<uint8_t>(R(c)), static_cast<uint8_t>(G(c)), static_cast<uint8_t>(B(c)), 0};
       });
       return f.Build();
     },
     pf32bit},
    {"Info16Rgb555",
     [] {
       BmpFile f = Base24();
       f.bitCount = 16;
       f.pixels = Encode([](uint32_t c) { return Le16(((R(c) >> 3) << 10) | ((G(c) >> 3) << 5) | (B(c) >> 3)); });
       return f.Build();
     },
     pf15bit},
    {"Info16Bitfields565AfterHeader",
     [] {
       BmpFile f = Base24();
       f.bitCount = 16;
       f.compression = 3;
       f.masks = {0xF800, 0x07E0, 0x001F};
       f.pixels = Encode([](uint32_t c) { return Le16(((R(c) >> 3) << 11) | ((G(c) >> 2) << 5) | (B(c) >> 3)); });
       return f.Build();
     },
     pf16bit},
    {"Info16Bitfields444",
     [] {
       BmpFile f = Base24();
       f.bitCount = 16;
       f.compression = 3;
       f.masks = {0x0F00, 0x00F0, 0x000F};
       f.pixels = Encode([](uint32_t c) { return Le16(((R(c) >> 4) << 8) | ((G(c) >> 4) << 4) | (B(c) >> 4)); });
       return f.Build();
     },
     pf32bit},
    {"Info8FullTable",
     [] {
       BmpFile f = Indexed8();
       f.clrUsed = 0;
       f.palette.resize(256, 0x123456);
       return f.Build();
     },
     pf8bit},
    {"Info8ShortTable", [] { return Indexed8().Build(); }, pf8bit},
    {"Info8OffsetZero",
     [] {
       BmpFile f = Indexed8();
       f.offBits = 0;
       return f.Build();
     },
     pf8bit},
    {"Info4",
     [] {
       BmpFile f = Indexed8();
       f.bitCount = 4;
       std::vector<std::vector<uint8_t>> rows;
       for (auto it = kImage.rbegin(); it != kImage.rend(); ++it) {
         const auto& r = *it;
         rows.push_back({static_cast<uint8_t>((IndexOf(r[0]) << 4) | IndexOf(r[1])), static_cast<uint8_t>(IndexOf(r[2]) << 4)});
       }
       f.pixels = PadRows(rows);
       return f.Build();
     },
     pf4bit},
    {"Info1",
     [] {
       BmpFile f = Base24();
       f.bitCount = 1;
       f.palette = {0x000000, 0xFFFFFF};
       f.pixels = PadRows({{0b00100000}, {0b10100000}});  // bottom row first
       return f.Build();
     },
     pf1bit, BlackWhite()},
    {"Rle8RunsAbsoluteDeltaEol",
     [] {
       BmpFile f = Indexed8();
       f.compression = 1;
       f.width = 4;
       f.height = 3;
       f.pixels = {4, 1, 0, 0,                     // bottom row: 4 x red, end of line
                   0, 3, 2, 3, 4, 0, 1, 5, 0, 0,   // absolute lime blue white (padded), 1 x yellow, end of line
                   0, 2, 2, 0, 2, 4, 0, 1};        // delta +2, 2 x white, end of bitmap
       return f.Build();
     },
     pf8bit,
     {{clBlack, clBlack, clWhite, clWhite}, {clLime, clBlue, clWhite, clYellow}, {clRed, clRed, clRed, clRed}}},
    {"Rle4RunsAndAbsolute",
     [] {
       BmpFile f = Indexed8();
       f.bitCount = 4;
       f.compression = 2;
       f.width = 5;
       f.height = 2;
       f.pixels = {5, 0x12, 0, 0,                 // red lime red lime red, end of line
                   0, 5, 0x34, 0x51, 0x20, 0,     // absolute blue white yellow red lime (padded)
                   0, 1};
       return f.Build();
     },
     pf4bit,
     {{clBlue, clWhite, clYellow, clRed, clLime}, {clRed, clLime, clRed, clLime, clRed}}},
};

class BmpValid : public korven::test::KorvenTest, public ::testing::WithParamInterface<ValidCase> {};

TEST_P(BmpValid, GivesThePixels) {
  const ValidCase& c = GetParam();
  const std::vector<uint8_t> bytes = c.make();
  TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  stream.SetPosition(0);
  TBitmap bitmap;
  bitmap.LoadFromStream(&stream);
  EXPECT_EQ(bitmap.GetPixelFormat(), c.format);
  ASSERT_EQ(bitmap.GetHeight(), static_cast<int>(c.expected.size()));
  ASSERT_EQ(bitmap.GetWidth(), static_cast<int>(c.expected[0].size()));
  for (int y = 0; y < bitmap.GetHeight(); ++y)
    for (int x = 0; x < bitmap.GetWidth(); ++x)
      EXPECT_EQ(bitmap.GetCanvas()->GetPixels(x, y), c.expected[static_cast<size_t>(y)][static_cast<size_t>(x)])
          << "pixel " << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Variants, BmpValid, ::testing::ValuesIn(kValid),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Malformed files ----------------------------------------------------------------------------

struct BadCase {
  const char* name;
  std::function<std::vector<uint8_t>()> make;
  const char* message;  // a part of the EInvalidGraphic message
};
void PrintTo(const BadCase& c, std::ostream* os) { *os << c.name; }

std::vector<uint8_t> Cut(std::vector<uint8_t> v, size_t n) {
  v.resize(std::min(v.size(), n));
  return v;
}

BmpFile Rle8(std::vector<uint8_t> data, int width = 4, int height = 2) {
  BmpFile f = Indexed8();
  f.compression = 1;
  f.width = width;
  f.height = height;
  f.pixels = std::move(data);
  return f;
}

const BadCase kBad[] = {
    {"Signature", [] { BmpFile f = Base24(); f.sig0 = 'P'; return f.Build(); }, "signature"},
    {"ShorterThanFileHeader", [] { return Cut(Base24().Build(), 10); }, "too short"},
    {"NoInfoHeader", [] { return Cut(Base24().Build(), 15); }, "info header is missing"},
    {"TruncatedInfoHeader", [] { return Cut(Base24().Build(), 30); }, "40-byte info header"},
    {"UnknownHeaderSize", [] { BmpFile f = Base24(); f.headerSize = 20; return f.Build(); }, "header size 20"},
    {"ZeroWidth", [] { BmpFile f = Base24(); f.width = 0; return f.Build(); }, "width 0"},
    {"NegativeWidth", [] { BmpFile f = Base24(); f.width = -3; return f.Build(); }, "width -3"},
    {"ZeroHeight", [] { BmpFile f = Base24(); f.height = 0; return f.Build(); }, "height 0"},
    {"ZeroPlanes", [] { BmpFile f = Base24(); f.planes = 0; return f.Build(); }, "colour planes 0"},
    {"BitCount7", [] { BmpFile f = Base24(); f.bitCount = 7; return f.Build(); }, "bit count 7"},
    {"Core16Bit", [] { BmpFile f = Base24(); f.headerSize = 12; f.bitCount = 16; return f.Build(); }, "bit count 16"},
    {"UnknownCompression", [] { BmpFile f = Base24(); f.compression = 9; return f.Build(); }, "compression 9"},
    {"Jpeg", [] { BmpFile f = Base24(); f.compression = 4; return f.Build(); }, "JPEG"},
    {"Rle8With4Bits", [] { BmpFile f = Rle8({0, 1}); f.bitCount = 4; return f.Build(); }, "RLE8 compression needs 8"},
    {"BitfieldsWith24Bits", [] { BmpFile f = Base24(); f.compression = 3; f.masks = {0xFF0000, 0xFF00, 0xFF}; return f.Build(); }, "16 or 32"},
    {"BitfieldMasksMissing", [] { BmpFile f = Base24(); f.bitCount = 32; f.compression = 3; auto v = f.Build(); return Cut(v, 56); }, "masks are missing"},
    {"BitfieldMaskZero", [] { BmpFile f = Base24(); f.bitCount = 16; f.compression = 3; f.masks = {0xF800, 0, 0x1F}; return f.Build(); }, "green mask is zero"},
    {"BitfieldMasksOverlap", [] { BmpFile f = Base24(); f.bitCount = 16; f.compression = 3; f.masks = {0xFC00, 0x07E0, 0x1F}; return f.Build(); }, "Invalid bit field masks"},
    {"BitfieldMaskNotContiguous", [] { BmpFile f = Base24(); f.bitCount = 32; f.compression = 3; f.masks = {0xFF00FF, 0xFF00, 0xFF000000}; return f.Build(); }, "Invalid bit field masks"},
    {"BitfieldMaskWiderThanPixel", [] { BmpFile f = Base24(); f.bitCount = 16; f.compression = 3; f.masks = {0x1F0000, 0x07E0, 0x1F}; return f.Build(); }, "Invalid bit field masks"},
    {"TopDownRle", [] { BmpFile f = Rle8({0, 1}); f.height = -2; return f.Build(); }, "top-down"},
    {"OffsetIntoHeader", [] { BmpFile f = Base24(); f.offBits = 20; return f.Build(); }, "points into the headers"},
    {"OffsetBeyondEnd", [] { BmpFile f = Base24(); f.offBits = 100000; return f.Build(); }, "beyond the end of the file"},
    {"TruncatedColourTable", [] { BmpFile f = Indexed8(); f.offBits = 0; return Cut(f.Build(), 14 + 40 + 10); }, "colour table"},
    {"TruncatedPixels", [] { return Cut(Base24().Build(), 54 + 10); }, "Pixel data truncated"},
    {"AbsurdDimensions", [] { BmpFile f = Base24(); f.width = 100000; f.height = 100000; return f.Build(); }, "Pixel data truncated"},
    {"AbsurdTopDownHeight", [] { BmpFile f = Base24(); f.height = INT32_MIN; return f.Build(); }, "height"},
    {"RleAbsurdDimensions", [] { return Rle8({0, 1}, 60000, 60000).Build(); }, "exceeds the limit"},
    {"RleSizeImageBeyondFile", [] { BmpFile f = Rle8({0, 1}); f.sizeImage = 5000; return f.Build(); }, "exceeds the"},
    {"RleRunPastRowEnd", [] { return Rle8({5, 1, 0, 1}).Build(); }, "passes the end of row"},
    {"RleAbsolutePastRowEnd", [] { return Rle8({2, 1, 0, 3, 1, 2, 3, 0, 0, 1}).Build(); }, "passes the end of row"},
    {"RleRunBelowLastRow", [] { return Rle8({0, 0, 0, 0, 2, 1, 0, 1}).Build(); }, "past the last row"},
    {"RleDeltaOutside", [] { return Rle8({0, 2, 9, 0, 0, 1}).Build(); }, "delta"},
    {"RleTruncatedDelta", [] { return Rle8({0, 2, 1}).Build(); }, "inside a delta"},
    {"RleTruncatedAbsoluteRun", [] { return Rle8({0, 4, 1, 2}).Build(); }, "inside an absolute run"},
    {"RleEndsEarly", [] { return Rle8({4, 1, 0, 0}).Build(); }, "without an end-of-bitmap"},
};

class BmpMalformed : public korven::test::KorvenTest, public ::testing::WithParamInterface<BadCase> {};

TEST_P(BmpMalformed, RaisesInvalidGraphicNamingTheFault) {
  const BadCase& c = GetParam();
  const std::vector<uint8_t> bytes = c.make();
  TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  stream.SetPosition(0);
  TBitmap bitmap;
  try {
    bitmap.LoadFromStream(&stream);
    FAIL() << "no exception";
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(e.Message().find(c.message), std::string::npos) << e.Message();
  }
}

INSTANTIATE_TEST_SUITE_P(Faults, BmpMalformed, ::testing::ValuesIn(kBad),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BmpReader, AHeaderFaultKeepsTheImageAndAPixelFaultEmptiesIt) {
  TBitmap bitmap;
  auto load = [&](const std::vector<uint8_t>& bytes) {
    TMemoryStream s;
    s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    s.SetPosition(0);
    bitmap.LoadFromStream(&s);
  };
  load(Base24().Build());
  BmpFile badHeader = Base24();
  badHeader.planes = 2;
  EXPECT_THROW(load(badHeader.Build()), EInvalidGraphic);
  EXPECT_EQ(bitmap.GetWidth(), 3);
  EXPECT_EQ(bitmap.GetCanvas()->GetPixels(0, 0), clRed);

  EXPECT_THROW(load(Rle8({9, 1, 0, 1}).Build()), EInvalidGraphic);
  EXPECT_TRUE(bitmap.GetEmpty());
}

TEST(BmpReader, WhatRleDataDoesNotReachIsBackgroundEvenOverAnEarlierImage) {
  // The bitmap first holds an uncompressed image of the same size and layout, every pixel white, so
  // a reused buffer would show through wherever the runs leave pixels alone.
  BmpFile white = Indexed8();
  white.width = 4;
  white.height = 3;
  white.pixels.assign(12, 4);
  BmpFile rle = Rle8({2, 3, 0, 0,    // bottom row: 2 x blue, end of line
                      0, 2, 1, 1,    // delta (+1, +1): the middle row stays background
                      1, 5,          // 1 x yellow at column 1 of the top row
                      0, 1},         // end of bitmap
                     4, 3);
  TBitmap bitmap;
  for (const BmpFile* f : {&white, &rle}) {
    const std::vector<uint8_t> bytes = f->Build();
    TMemoryStream s;
    s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    s.SetPosition(0);
    bitmap.LoadFromStream(&s);
  }
  const std::vector<std::vector<TColor>> expected = {
      {clBlack, clYellow, clBlack, clBlack}, {clBlack, clBlack, clBlack, clBlack}, {clBlue, clBlue, clBlack, clBlack}};
  ASSERT_EQ(bitmap.GetWidth(), 4);
  ASSERT_EQ(bitmap.GetHeight(), 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(bitmap.GetCanvas()->GetPixels(x, y), expected[size_t(y)][size_t(x)]) << "pixel " << x << "," << y;
}

TEST(BmpReader, AnEmptyStreamGivesAnEmptyBitmapAndTheReadStopsAfterThePixels) {
  TBitmap bitmap;
  TMemoryStream empty;
  bitmap.LoadFromStream(&empty);
  EXPECT_TRUE(bitmap.GetEmpty());

  // A bitmap inside a larger stream: reading leaves the position right after its pixels.
  const std::vector<uint8_t> bytes = Base24().Build();
  TMemoryStream s;
  s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  s.WriteBuffer("tail", 4);
  s.SetPosition(0);
  bitmap.LoadFromStream(&s);
  EXPECT_EQ(s.GetPosition(), static_cast<int64_t>(bytes.size()));
  EXPECT_EQ(bitmap.GetXPelsPerMeter(), 3780);
}

}  // namespace
