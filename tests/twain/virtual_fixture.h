// Shared by the virtual scanner's tests: a private Windows directory with the scanner installed
// under a chosen configuration, a plain TWAIN application (twain_app.h) opened on it, a scripted
// desktop that fails a test instead of letting it hang, and readers for the containers and DIBs the
// source hands out.
#ifndef KORVEN_TEST_VIRTUAL_FIXTURE_H
#define KORVEN_TEST_VIRTUAL_FIXTURE_H

#include "testsupport.h"
#include "twain_app.h"

#include <korven/desktop.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace korven::test {

inline TW_UINT32 Fix32Item(double v) {
  int32_t raw = static_cast<int32_t>(std::floor(v * 65536.0 + 0.5));
  TW_FIX32 f{static_cast<TW_INT16>(raw >> 16), static_cast<TW_UINT16>(raw & 0xFFFF)};
  TW_UINT32 item = 0;
  std::memcpy(&item, &f, 4);
  return item;
}

inline double Fix32Value(TW_FIX32 f) { return f.Whole + f.Frac / 65536.0; }

inline double ItemValue(TW_UINT16 itemType, const unsigned char* p) {
  int16_t i16;
  uint16_t u16;
  int32_t i32;
  uint32_t u32;
  TW_FIX32 f;
  switch (itemType) {
    case TWTY_INT8: return static_cast<int8_t>(p[0]);
    case TWTY_UINT8: return p[0];
    case TWTY_INT16: std::memcpy(&i16, p, 2); return i16;
    case TWTY_UINT16:
    case TWTY_BOOL: std::memcpy(&u16, p, 2); return u16;
    case TWTY_INT32: std::memcpy(&i32, p, 4); return i32;
    case TWTY_UINT32: std::memcpy(&u32, p, 4); return u32;
    case TWTY_FIX32: std::memcpy(&f, p, 4); return Fix32Value(f);
    default: return NAN;
  }
}

inline size_t ItemBytes(TW_UINT16 t) {
  return t == TWTY_INT8 || t == TWTY_UINT8 ? 1 : t == TWTY_INT16 || t == TWTY_UINT16 || t == TWTY_BOOL ? 2 : 4;
}

// A capability answer, read out of its container (which is freed).
struct CapReading {
  TW_UINT16 rc = TWRC_FAILURE;
  TW_UINT16 conType = 0, itemType = 0;
  std::vector<double> items;  // enumeration / array
  double min = 0, max = 0, step = 0, deflt = 0, current = 0;  // range; current also of one-value
  uint32_t currentIndex = 0, defaultIndex = 0;
};

inline CapReading ReadCap(TwainApp& app, TW_UINT16 msg, TW_UINT16 capId) {
  CapReading r;
  TW_CAPABILITY cap{};
  r.rc = app.Capability(msg, capId, cap);
  if (r.rc != TWRC_SUCCESS && r.rc != TWRC_CHECKSTATUS) {
    EXPECT_EQ(cap.hContainer, 0u) << "a refused request left a container";
    return r;
  }
  GlobalBlock block(cap.hContainer);
  const size_t size = block.Size();
  auto* p = static_cast<const unsigned char*>(block.Lock());
  if (!p || size < 2) {
    ADD_FAILURE() << "no container";
    return r;
  }
  r.conType = cap.ConType;
  std::memcpy(&r.itemType, p, 2);
  const size_t isz = ItemBytes(r.itemType);
  uint32_t n = 0;
  switch (cap.ConType) {
    case TWON_ONEVALUE:
      EXPECT_GE(size, 2 + isz);
      r.current = ItemValue(r.itemType, p + 2);
      break;
    case TWON_RANGE:
      EXPECT_GE(size, 22u);
      r.min = ItemValue(r.itemType, p + 2);
      r.max = ItemValue(r.itemType, p + 6);
      r.step = ItemValue(r.itemType, p + 10);
      r.deflt = ItemValue(r.itemType, p + 14);
      r.current = ItemValue(r.itemType, p + 18);
      break;
    case TWON_ENUMERATION:
      std::memcpy(&n, p + 2, 4);
      std::memcpy(&r.currentIndex, p + 6, 4);
      std::memcpy(&r.defaultIndex, p + 10, 4);
      EXPECT_EQ(size, 14 + n * isz);
      for (uint32_t i = 0; i < n && 14 + (i + 1) * isz <= size; ++i) r.items.push_back(ItemValue(r.itemType, p + 14 + i * isz));
      if (r.currentIndex < r.items.size()) r.current = r.items[r.currentIndex];
      if (r.defaultIndex < r.items.size()) r.deflt = r.items[r.defaultIndex];
      break;
    case TWON_ARRAY:
      std::memcpy(&n, p + 2, 4);
      EXPECT_EQ(size, 6 + n * isz);
      for (uint32_t i = 0; i < n && 6 + (i + 1) * isz <= size; ++i) r.items.push_back(ItemValue(r.itemType, p + 6 + i * isz));
      break;
    default: ADD_FAILURE() << "container type " << cap.ConType;
  }
  return r;
}

inline TW_UINT16 SetFix32(TwainApp& app, TW_UINT16 cap, double v) { return app.SetOneValue(cap, TWTY_FIX32, Fix32Item(v)); }

// A packed DIB as the source delivered it, with pixel access by image row (0 = top).
struct Dib {
  explicit Dib(TW_HANDLE h) : block(h) {
    size = block.Size();
    p = static_cast<const uint8_t*>(block.Lock());
    if (!p || size < 12) return;
    std::memcpy(&headerSize, p, 4);
    if (headerSize == 12) {
      uint16_t w16, h16, planes, bits;
      std::memcpy(&w16, p + 4, 2), std::memcpy(&h16, p + 6, 2), std::memcpy(&planes, p + 8, 2), std::memcpy(&bits, p + 10, 2);
      width = w16, height = h16, bitCount = bits;
      tableEntries = bits <= 8 ? (1u << bits) : 0;
      entryBytes = 3;
    } else if (size >= 40) {
      std::memcpy(&width, p + 4, 4), std::memcpy(&height, p + 8, 4), std::memcpy(&bitCount, p + 14, 2);
      std::memcpy(&sizeImage, p + 20, 4), std::memcpy(&xPelsPerMeter, p + 24, 4), std::memcpy(&yPelsPerMeter, p + 28, 4);
      std::memcpy(&clrUsed, p + 32, 4);
      tableEntries = clrUsed ? clrUsed : bitCount <= 8 ? (1u << bitCount) : 0;
      entryBytes = 4;
    }
    stride = ((uint64_t(width) * bitCount + 31) / 32) * 4;
    bitsOffset = headerSize + tableEntries * entryBytes;
  }
  bool Valid() const { return p && width > 0 && height > 0 && bitsOffset + stride * uint64_t(height) <= size; }
  const uint8_t* Row(int y) const { return p + bitsOffset + size_t(height - 1 - y) * stride; }
  // Table entry as 0xRRGGBB.
  uint32_t Entry(uint32_t i) const {
    const uint8_t* e = p + headerSize + i * entryBytes;
    return (uint32_t(e[2]) << 16) | (uint32_t(e[1]) << 8) | e[0];
  }
  // The pixel as 0xRRGGBB, through the colour table where there is one.
  uint32_t Pixel(int x, int y) const {
    const uint8_t* r = Row(y);
    switch (bitCount) {
      case 1: return Entry((r[x / 8] >> (7 - x % 8)) & 1);
      case 8: return Entry(r[x]);
      default: return (uint32_t(r[x * 3 + 2]) << 16) | (uint32_t(r[x * 3 + 1]) << 8) | r[x * 3];
    }
  }
  static int Grey(uint32_t rgb) { return ((rgb >> 16 & 255) * 299 + (rgb >> 8 & 255) * 587 + (rgb & 255) * 114) / 1000; }
  double MeanGrey() const {
    double sum = 0;
    for (int y = 0; y < height; y += 7)
      for (int x = 0; x < width; x += 5) sum += Grey(Pixel(x, y));
    return sum / ((height + 6) / 7 * ((width + 4) / 5));
  }

  GlobalBlock block;
  size_t size = 0;
  const uint8_t* p = nullptr;
  uint32_t headerSize = 0, sizeImage = 0, clrUsed = 0, tableEntries = 0, entryBytes = 4;
  int32_t width = 0, height = 0, xPelsPerMeter = 0, yPelsPerMeter = 0;
  uint16_t bitCount = 0;
  uint64_t stride = 0, bitsOffset = 0;
};

// Enables without the source's dialog and waits for its announcement.
inline void EnableAndWait(TwainApp& app) {
  ASSERT_TRUE(app.Enable(false) == TWRC_SUCCESS);
  ASSERT_EQ(app.WaitForSourceEvent(), MSG_XFERREADY);
}

// One whole transfer from state 4: enable, wait, transfer, end, disable. The DIB belongs to the caller.
inline TW_HANDLE ScanOne(TwainApp& app) {
  TW_HANDLE dib = 0;
  EnableAndWait(app);
  EXPECT_EQ(app.NativeXfer(dib), TWRC_XFERDONE);
  TW_PENDINGXFERS pending{};
  EXPECT_EQ(app.EndXfer(pending), TWRC_SUCCESS);
  EXPECT_EQ(pending.Count, 0);
  EXPECT_EQ(app.Disable(), TWRC_SUCCESS);
  return dib;
}

class VirtualTest : public KorvenTest {
 protected:
  VirtualTest() : scoped_(desktop_) {}

  void TearDown() override {
    apps_.clear();
    KorvenTest::TearDown();
  }

  // Installs the scanner as twain_32/<file>.ds with the configuration `ini`.
  void Install(const std::string& ini, const std::string& file = "virtual") { windows_.AddSource("virtual", file, ini); }

  // A new application with the manager open and the default (or named) source open.
  TwainApp& OpenApp(const std::string& product = "") {
    apps_.push_back(std::make_unique<TwainApp>("virtual test " + std::to_string(apps_.size())));
    TwainApp& app = *apps_.back();
    EXPECT_TRUE(app.Loaded());
    EXPECT_EQ(app.OpenDSM(), TWRC_SUCCESS);
    EXPECT_EQ(app.OpenDS(product), TWRC_SUCCESS);
    return app;
  }

  // Installs a scanner configured by `ini` and opens it.
  TwainApp& Open(const std::string& ini = "") {
    Install(ini);
    return OpenApp();
  }

  korven::platform::ScriptedDesktop desktop_;
  PrivateWindowsDir windows_;

 private:
  korven::platform::ScopedDesktop scoped_;
  std::vector<std::unique_ptr<TwainApp>> apps_;
};

}  // namespace korven::test

#endif
