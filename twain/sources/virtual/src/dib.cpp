#include "dib.h"

#include "chart.h"
#include "containers.h"
#include "dib_header.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace korven::virtualds {

namespace {

#pragma pack(push, 2)
struct CoreHeader {
  uint32_t bcSize;
  uint16_t bcWidth, bcHeight, bcPlanes, bcBitCount;
};
#pragma pack(pop)
static_assert(sizeof(CoreHeader) == 12);
using ds::InfoHeader;
using ds::PelsPerMeter;

// A frame edge that lies within a quarter pixel below a pixel boundary reaches it, so paper sizes
// given in rounded units (A4 as 21 x 29.7 cm, or in twips) give their usual pixel sizes.
int Pixels(double inches, double dpi, double scaling) {
  double px = std::floor(inches * dpi * scaling + 0.25);
  return px < 1 ? 1 : px > 1e9 ? 1000000000 : static_cast<int>(px);
}


Tone ToneOf(const Settings& s) {
  Tone t;
  t.brightness = s.brightness, t.contrast = s.contrast, t.gamma = s.gamma;
  t.highlight = s.highlight, t.shadow = s.shadow, t.threshold = s.threshold, t.autoBright = s.autoBright;
  return t;
}

}  // namespace

bool ImageSize(const Config& c, const Settings& s, int& width, int& height) {
  width = Pixels(s.frame.Width(), s.xResolution, s.xScaling);
  height = Pixels(s.frame.Height(), s.yResolution, s.yScaling);
  uint64_t bytes = RowBytes(width, BitDepthOf(s.pixelType)) * uint64_t(height) + 40 + 256 * 4;
  return bytes <= c.maxImageBytes && bytes <= 0x7FFFFFFFu;
}

void FillImageInfo(const Settings& s, int width, int height, TW_IMAGEINFO& info) {
  std::memset(&info, 0, sizeof info);
  info.XResolution = ToFix32(s.xResolution);
  info.YResolution = ToFix32(s.yResolution);
  info.ImageWidth = width;
  info.ImageLength = height;
  const bool rgb = s.pixelType == TWPT_RGB;
  info.SamplesPerPixel = rgb ? 3 : 1;
  const int16_t sample = s.pixelType == TWPT_BW ? 1 : 8;
  for (int i = 0; i < info.SamplesPerPixel; ++i) info.BitsPerSample[i] = sample;
  info.BitsPerPixel = static_cast<TW_INT16>(BitDepthOf(s.pixelType));
  info.Planar = TWAIN_FALSE;
  info.PixelType = static_cast<TW_INT16>(s.pixelType);
  info.Compression = TWCP_NONE;
}

HGLOBAL BuildDib(const Config& c, const Settings& s, int page, TW_UINT16& cc) {
  int w = 0, h = 0;
  if (!ImageSize(c, s, w, h)) {
    cc = TWCC_LOWMEMORY;
    return 0;
  }
  const bool core = c.dibHeader == DibHeader::Core;
  if (core && (w > 0xFFFF || h > 0xFFFF)) {
    cc = TWCC_LOWMEMORY;  // a core header cannot describe it
    return 0;
  }
  const int bpp = BitDepthOf(s.pixelType);
  const bool shortTable = c.shortColorTable && !core && bpp == 8;
  const std::vector<Rgb> table = ColorTable(s.pixelType, shortTable);
  const size_t headerBytes = core ? sizeof(CoreHeader) : sizeof(InfoHeader);
  const size_t tableBytes = table.size() * (core ? 3 : 4);
  const uint64_t stride = RowBytes(w, bpp);
  const uint64_t pixelBytes = stride * uint64_t(h);
  const uint64_t total = headerBytes + tableBytes + pixelBytes;
  // The truncation knob hands out a block that ends half-way through the pixels its header announces.
  const uint64_t blockBytes = c.truncateDib ? headerBytes + tableBytes + pixelBytes / 2 : total;

  HGLOBAL hDib = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(blockBytes));
  if (!hDib) {
    cc = TWCC_LOWMEMORY;
    return 0;
  }
  auto* p = static_cast<uint8_t*>(GlobalLock(hDib));
  if (!p) {
    GlobalFree(hDib);
    cc = TWCC_LOWMEMORY;
    return 0;
  }

  if (core) {
    CoreHeader hd{sizeof(CoreHeader), static_cast<uint16_t>(w), static_cast<uint16_t>(h), 1, static_cast<uint16_t>(bpp)};
    std::memcpy(p, &hd, sizeof hd);
  } else {
    InfoHeader hd{};
    hd.biSize = sizeof(InfoHeader);
    hd.biWidth = w;
    hd.biHeight = h;
    hd.biPlanes = 1;
    hd.biBitCount = static_cast<uint16_t>(bpp);
    hd.biCompression = 0;  // BI_RGB
    hd.biSizeImage = c.zeroSizeImage ? 0 : static_cast<uint32_t>(pixelBytes);
    hd.biXPelsPerMeter = PelsPerMeter(s.xResolution);
    hd.biYPelsPerMeter = PelsPerMeter(s.yResolution);
    hd.biClrUsed = static_cast<uint32_t>(table.size());
    std::memcpy(p, &hd, sizeof hd);
  }
  uint8_t* q = p + headerBytes;
  for (const Rgb& e : table) {
    *q++ = e.b;
    *q++ = e.g;
    *q++ = e.r;
    if (!core) *q++ = 0;
  }

  RenderJob job;
  job.frame = s.frame;
  job.width = w;
  job.height = h;
  job.pixelType = s.pixelType;
  job.shortTable = shortTable;
  job.tone = ToneOf(s);
  job.page = page;
  if (blockBytes == total) {
    RenderChart(job, q, stride);
  } else {
    std::vector<uint8_t> whole(pixelBytes);
    RenderChart(job, whole.data(), stride);
    std::memcpy(q, whole.data(), blockBytes - headerBytes - tableBytes);
  }
  GlobalUnlock(hDib);
  cc = TWCC_SUCCESS;
  return hDib;
}

}  // namespace korven::virtualds
