// TWAIN_DrawDibToBitmap: packed DIBs as sources deliver them (sizes, colour tables, offsets, 15 bits,
// bit fields, top-down), and DIBs that lie about themselves, which are refused whole.
#include "rt_support.h"

#include <cstring>
#include <functional>
#include <vector>

namespace korven::test {
namespace {

struct Dib {
  int32_t width = 0, height = 0;
  uint16_t bitCount = 8;
  uint32_t compression = 0, sizeImage = 0, clrUsed = 0;
  uint32_t headerSize = 40;
  std::vector<uint32_t> extra;  // colour table entries or bit field masks, as stored
  std::vector<uint8_t> pixels;
  size_t cut = 0;  // bytes left off the end of the block
};

// A Dib from "key = value" style setters, without designated initializers' gaps.
Dib D(int32_t w, int32_t h, uint16_t bits, std::vector<uint8_t> pixels, std::function<void(Dib&)> more = nullptr) {
  Dib d;
  d.width = w, d.height = h, d.bitCount = bits, d.pixels = std::move(pixels);
  if (more) more(d);
  return d;
}

HGLOBAL MakeDib(const Dib& d) {
  std::vector<uint8_t> b(40);
  auto put32 = [&](size_t o, uint32_t v) { std::memcpy(&b[o], &v, 4); };
  auto put16 = [&](size_t o, uint16_t v) { std::memcpy(&b[o], &v, 2); };
  put32(0, d.headerSize);
  put32(4, uint32_t(d.width));
  put32(8, uint32_t(d.height));
  put16(12, 1);
  put16(14, d.bitCount);
  put32(16, d.compression);
  put32(20, d.sizeImage);
  put32(32, d.clrUsed);
  for (uint32_t e : d.extra) b.insert(b.end(), reinterpret_cast<const uint8_t*>(&e), reinterpret_cast<const uint8_t*>(&e) + 4);
  b.insert(b.end(), d.pixels.begin(), d.pixels.end());
  b.resize(b.size() - d.cut);
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, b.size());
  std::memcpy(GlobalLock(h), b.data(), b.size());
  GlobalUnlock(h);
  return h;
}

uint32_t HeaderField(HGLOBAL h, size_t offset, size_t n) {
  uint32_t v = 0;
  std::memcpy(&v, static_cast<char*>(GlobalLock(h)) + offset, n);
  GlobalUnlock(h);
  return v;
}

std::vector<uint8_t> Row(vcl::TBitmap& bmp, int y, size_t n) {
  auto* p = static_cast<const uint8_t*>(bmp.ScanLine(y));
  return std::vector<uint8_t>(p, p + n);
}

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = uint8_t(seed + i * 7);
  return v;
}

using DibTest = RtTest;

TEST_F(DibTest, EightBitsWithoutImageSizeGetsItComputed) {
  TestScanner& s = NewScanner();
  Dib d;
  d.width = 101, d.height = 10, d.bitCount = 8;
  for (uint32_t i = 0; i < 256; ++i) d.extra.push_back(i * 0x010101u);
  d.pixels = Pattern(104 * 10, 1);
  HGLOBAL h = MakeDib(d);
  vcl::TBitmap bmp;
  s.TWAIN_DrawDibToBitmap(&bmp, h);
  EXPECT_EQ(HeaderField(h, 20, 4), 1040u);  // written back into the DIB
  EXPECT_EQ(bmp.GetWidth(), 101);
  EXPECT_EQ(bmp.GetHeight(), 10);
  EXPECT_EQ(bmp.GetPixelFormat(), vcl::pf8bit);
  // The first stored row is the bottom one: right only when bfOffBits is 14 + 40 + 1024.
  EXPECT_EQ(Row(bmp, 9, 101), std::vector<uint8_t>(d.pixels.begin(), d.pixels.begin() + 101));
  EXPECT_EQ(bmp.GetPalette()[200], vcl::TColor(200 * 0x010101));
  GlobalFree(h);
  EXPECT_TRUE(debug->Lines().empty());
}

TEST_F(DibTest, TheBitmapIsACopyUnlessTheTransferHandsTheDibOver) {
  TestScanner& s = NewScanner();
  const std::vector<uint8_t> pixels = Pattern(12 * 3, 9);  // 4 x 3 pixels, rows of 12 bytes
  HGLOBAL h = MakeDib(D(4, 3, 24, pixels));
  // The public conversion copies: two bitmaps of one DIB, and the DIB, stay apart.
  vcl::TBitmap a, b;
  s.TWAIN_DrawDibToBitmap(&a, h);
  s.TWAIN_DrawDibToBitmap(&b, h);
  static_cast<uint8_t*>(a.ScanLine(2))[0] = 0xEE;
  EXPECT_EQ(Row(b, 2, 12), std::vector<uint8_t>(pixels.begin(), pixels.begin() + 12));
  EXPECT_EQ(HeaderField(h, 40, 1), pixels[0]);

  // The component's own after-scan handler takes the DIB's memory over: the page stays in Bitmap,
  // intact, once the transfer has freed the DIB.
  bool cancel = false;
  s.TWainAfterScan(&s, h, cancel);
  ASSERT_EQ(GlobalFree(h), 0u);
  EXPECT_EQ(Row(*s.GetBitmap(), 2, 12), std::vector<uint8_t>(pixels.begin(), pixels.begin() + 12));
  EXPECT_EQ(Row(*s.GetBitmap(), 0, 12), std::vector<uint8_t>(pixels.begin() + 24, pixels.end()));
  // And it is the bitmap's own now: drawing on it or loading the next page works as before.
  static_cast<uint8_t*>(s.GetBitmap()->ScanLine(0))[0] = 1;
  HGLOBAL next = MakeDib(D(4, 3, 24, Pattern(12 * 3, 50)));
  s.TWainAfterScan(&s, next, cancel);
  ASSERT_EQ(GlobalFree(next), 0u);
  EXPECT_EQ(Row(*s.GetBitmap(), 2, 12), Pattern(12, 50));
}

TEST_F(DibTest, ColourTablesFollowTheBitCount) {
  struct Case {
    const char* what;
    uint16_t bits;
    uint32_t clrUsed, entries;
    vcl::TPixelFormat format;
    uint32_t clrUsedAfter, bitCountAfter;
  } cases[] = {
      {"1 bit: 2 entries", 1, 0, 2, vcl::pf1bit, 0, 1},
      {"4 bits: 16 entries", 4, 0, 16, vcl::pf4bit, 0, 4},
      {"8 bits, short table announced by biClrUsed", 8, 4, 4, vcl::pf8bit, 4, 8},
      {"24 bits: no table, biClrUsed cleared", 24, 7, 0, vcl::pf24bit, 0, 24},
      {"15 bits: written as 16", 15, 0, 0, vcl::pf15bit, 0, 16},
      {"32 bits: no table", 32, 0, 0, vcl::pf32bit, 0, 32},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    TestScanner& s = NewScanner();
    Dib d;
    d.width = 5, d.height = 3, d.bitCount = c.bits, d.clrUsed = c.clrUsed;
    for (uint32_t i = 0; i < c.entries; ++i) d.extra.push_back(0x00102030u + i);
    uint32_t rowBytes = (5 * (c.bits == 15 ? 16 : c.bits) + 31) / 32 * 4;
    d.pixels = Pattern(rowBytes * 3, 3);
    HGLOBAL h = MakeDib(d);
    vcl::TBitmap bmp;
    s.TWAIN_DrawDibToBitmap(&bmp, h);
    EXPECT_TRUE(debug->Lines().empty()) << debug->All();
    EXPECT_EQ(bmp.GetPixelFormat(), c.format);
    EXPECT_EQ(HeaderField(h, 32, 4), c.clrUsedAfter);
    EXPECT_EQ(HeaderField(h, 14, 2), c.bitCountAfter);
    EXPECT_EQ(HeaderField(h, 20, 4), rowBytes * 3);
    size_t used = (5 * (c.bits == 15 ? 16 : c.bits) + 7) / 8;
    if (c.bits >= 8) {
      EXPECT_EQ(Row(bmp, 2, used), std::vector<uint8_t>(d.pixels.begin(), d.pixels.begin() + used));
    }
    if (c.entries) {
      EXPECT_EQ(bmp.GetPalette()[1] & 0xFFFFFF, vcl::TColor(0x312010));  // stored 31 20 10 00 (blue, green, red)
    }
    GlobalFree(h);
  }
}

TEST_F(DibTest, BitFieldMasksAndTopDownRows) {
  TestScanner& s = NewScanner();
  Dib d;
  d.width = 2, d.height = -2, d.bitCount = 16, d.compression = 3;
  d.extra = {0xF800, 0x07E0, 0x001F};
  d.pixels = {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0xFF, 0xFF};
  HGLOBAL h = MakeDib(d);
  vcl::TBitmap bmp;
  s.TWAIN_DrawDibToBitmap(&bmp, h);
  EXPECT_TRUE(debug->Lines().empty()) << debug->All();
  EXPECT_EQ(bmp.GetPixelFormat(), vcl::pf16bit);
  EXPECT_EQ(Row(bmp, 0, 4), (std::vector<uint8_t>{0x00, 0xF8, 0xE0, 0x07}));  // top row first
  EXPECT_EQ(Row(bmp, 1, 4), (std::vector<uint8_t>{0x1F, 0x00, 0xFF, 0xFF}));
  GlobalFree(h);
}

TEST_F(DibTest, DibsThatLieAreReportedAndLeaveTheBitmapAlone) {
  struct Case {
    const char* what;
    Dib dib;
    const char* text;
  } cases[] = {
      {"core header", D(2, 2, 24, Pattern(16, 0), [](Dib& d) { d.headerSize = 12; }),
       "Illegal DIB: BITMAPCOREHEADER not supported"},
      {"header size beyond the block", D(2, 2, 24, {}, [](Dib& d) { d.headerSize = 4000; }),
       "Illegal DIB: bad header size"},
      {"pixels cut short", D(4, 4, 24, Pattern(48, 0), [](Dib& d) { d.cut = 1; }),
       "Illegal DIB: larger than its memory block"},
      {"colour table cut short", D(4, 1, 8, Pattern(4, 0), [](Dib& d) { d.extra = {1, 2, 3}; }),
       "Illegal DIB: larger than its memory block"},
      {"image size larger than the block",
       D(2, 2, 24, Pattern(16, 0), [](Dib& d) { d.sizeImage = 0x7FFFFFF0; }),
       "Illegal DIB: larger than its memory block"},
      {"sizes that overflow 32 bits",
       D(0x7FFFFFFF, -0x7FFFFFFF, 32, Pattern(16, 0)),
       "Illegal DIB: larger than its memory block"},
      {"no width", D(0, 2, 24, Pattern(16, 0)),
       "Illegal DIB: bad image size"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    TestScanner& s = NewScanner();
    vcl::TBitmap bmp;
    bmp.SetSize(3, 3);
    HGLOBAL h = MakeDib(c.dib);
    std::vector<uint8_t> before(GlobalSize(h));
    std::memcpy(before.data(), GlobalLock(h), before.size());
    GlobalUnlock(h);
    debug->Clear();
    s.TWAIN_DrawDibToBitmap(&bmp, h);
    EXPECT_EQ(debug->All(), ErrorText(c.text, "TWRC_SUCCESS", "TWCC_BUMMER") + "\n");
    EXPECT_EQ(bmp.GetWidth(), 3);
    EXPECT_EQ(0, std::memcmp(before.data(), GlobalLock(h), before.size())) << "a refused DIB is not rewritten";
    GlobalUnlock(h);
    GlobalFree(h);
  }
}

TEST_F(DibTest, HandlesThatCannotBeLockedAreNotRead) {
  TestScanner& s = NewScanner();
  vcl::TBitmap bmp;
  bmp.SetSize(3, 3);
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 64);
  GlobalFree(h);
  s.TWAIN_DrawDibToBitmap(&bmp, h);
  s.TWAIN_DrawDibToBitmap(&bmp, 0);
  HGLOBAL tiny = GlobalAlloc(GMEM_MOVEABLE, 2);
  s.TWAIN_DrawDibToBitmap(&bmp, tiny);
  GlobalFree(tiny);
  ASSERT_EQ(debug->Lines().size(), 3u);
  EXPECT_EQ(debug->Lines()[0], ErrorText("Illegal DIB: can not lock the handle", "TWRC_SUCCESS", "TWCC_BUMMER"));
  EXPECT_EQ(debug->Lines()[1], debug->Lines()[0]);
  EXPECT_EQ(debug->Lines()[2], ErrorText("Illegal DIB: block too short", "TWRC_SUCCESS", "TWCC_BUMMER"));
  EXPECT_EQ(bmp.GetWidth(), 3);
}

TEST_F(DibTest, TheVirtualScannersUnusualDibs) {
  struct Case {
    const char* ini;
    bool loads;
  } cases[] = {
      {"DibSizeImage = zero\n", true},
      {"DibColorTable = short\n", true},
      {"DibHeader = core\n", false},
      {"DibTruncate = yes\n", false},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.ini);
    PrivateWindowsDir dir;
    dir.AddSource("virtual", "v", VirtualIni("Scanner A", c.ini));
    TestScanner& s = NewScanner();
    vcl::TBitmap bmp;
    s.TWAIN_SetAfterScanEvent(&s, [&](vcl::TObject*, HGLOBAL dib, bool&) { s.TWAIN_DrawDibToBitmap(&bmp, dib); });
    debug->Clear();
    EXPECT_TRUE(s.TWAIN_AcquireNative(AppWindow()));
    EXPECT_EQ(!bmp.GetEmpty(), c.loads) << debug->All();
    EXPECT_EQ(debug->Contains("Illegal DIB"), !c.loads);
  }
}

}  // namespace
}  // namespace korven::test
