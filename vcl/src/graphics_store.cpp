// The pixel store behind TBitmap: geometry, buffer reuse, and whole-row colour conversion.
#include "graphics_store.h"

#include <korven/platform.h>
#include <vcl/SysUtils.h>

#include <cstring>

namespace vcl::detail {

void ThrowInvalidGraphic(const std::string& message) { throw EInvalidGraphic(message); }

int BitsPerPixel(Layout layout) {
  switch (layout) {
    case Layout::Bits1: return 1;
    case Layout::Bits4: return 4;
    case Layout::Bits8: return 8;
    case Layout::Rgb555:
    case Layout::Rgb565: return 16;
    case Layout::Bgr24: return 24;
    case Layout::Bgrx32: return 32;
  }
  return 24;
}

bool IsIndexed(Layout layout) { return BitsPerPixel(layout) <= 8; }

uint64_t RowStride(uint64_t width, int bitsPerPixel) {
  if (width > (uint64_t{1} << 56)) return 0;
  return (width * static_cast<uint64_t>(bitsPerPixel) + 31) / 32 * 4;
}

void PixelStore::Reshape(int32_t w, int32_t h, Layout l, bool zeroed) {
  const uint64_t s = RowStride(static_cast<uint64_t>(w > 0 ? w : 0), BitsPerPixel(l));
  const uint64_t need = s * static_cast<uint64_t>(h > 0 ? h : 0);
  if (zeroed || need > capacity || need < capacity / 2) {
    bits.reset();
    capacity = 0;
    if (need) {
      const auto n = static_cast<size_t>(need);
      auto* p = static_cast<uint8_t*>(korven::platform::AllocateLargeBuffer(n, zeroed));
      if (!p) throw EOutOfMemory("Out of memory for a bitmap of " + std::to_string(w) + "x" + std::to_string(h));
      try {
        bits = std::shared_ptr<uint8_t[]>(p, [n](uint8_t* q) { korven::platform::ReleaseLargeBuffer(q, n); });
      } catch (const std::bad_alloc&) {
        korven::platform::ReleaseLargeBuffer(p, n);
        throw EOutOfMemory("Out of memory for a bitmap of " + std::to_string(w) + "x" + std::to_string(h));
      }
      capacity = n;
    }
  }
  width = w;
  height = h;
  layout = l;
  stride = static_cast<size_t>(s);
}

void PixelStore::Adopt(int32_t w, int32_t h, Layout l, std::shared_ptr<uint8_t[]> rows) {
  const uint64_t s = RowStride(static_cast<uint64_t>(w > 0 ? w : 0), BitsPerPixel(l));
  bits = std::move(rows);
  width = w;
  height = h;
  layout = l;
  stride = static_cast<size_t>(s);
  capacity = ImageBytes();
}

void PixelStore::Clear() {
  width = height = 0;
  stride = 0;
  bits.reset();
  capacity = 0;
  palette.clear();
}

namespace {
inline uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }
inline uint32_t Expand5(uint32_t v) { return (v << 3) | (v >> 2); }
inline uint32_t Expand6(uint32_t v) { return (v << 2) | (v >> 4); }
}  // namespace

void RowToColors(const PixelStore& s, const uint8_t* row, int x0, int count, uint32_t* out) {
  const uint32_t* pal = s.palette.data();
  const size_t palSize = s.palette.size();
  auto lookup = [&](uint32_t i) { return i < palSize ? pal[i] : 0u; };
  switch (s.layout) {
    case Layout::Bits1:
      for (int i = 0; i < count; ++i) {
        const int x = x0 + i;
        out[i] = lookup((row[x >> 3] >> (7 - (x & 7))) & 1u);
      }
      break;
    case Layout::Bits4:
      for (int i = 0; i < count; ++i) {
        const int x = x0 + i;
        out[i] = lookup((x & 1) ? (row[x >> 1] & 0x0Fu) : (row[x >> 1] >> 4));
      }
      break;
    case Layout::Bits8:
      for (int i = 0; i < count; ++i) out[i] = lookup(row[x0 + i]);
      break;
    case Layout::Rgb555:
      for (int i = 0; i < count; ++i) {
        const uint8_t* p = row + 2 * (x0 + i);
        const uint32_t v = p[0] | (p[1] << 8);
        out[i] = Rgb(Expand5((v >> 10) & 31), Expand5((v >> 5) & 31), Expand5(v & 31));
      }
      break;
    case Layout::Rgb565:
      for (int i = 0; i < count; ++i) {
        const uint8_t* p = row + 2 * (x0 + i);
        const uint32_t v = p[0] | (p[1] << 8);
        out[i] = Rgb(Expand5((v >> 11) & 31), Expand6((v >> 5) & 63), Expand5(v & 31));
      }
      break;
    case Layout::Bgr24:
      for (int i = 0; i < count; ++i) {
        const uint8_t* p = row + 3 * (x0 + i);
        out[i] = Rgb(p[2], p[1], p[0]);
      }
      break;
    case Layout::Bgrx32:
      for (int i = 0; i < count; ++i) {
        const uint8_t* p = row + 4 * (x0 + i);
        out[i] = Rgb(p[2], p[1], p[0]);
      }
      break;
  }
}

void ColorsToRow(PixelStore& s, const uint32_t* colors, int x0, int count, uint8_t* row) {
  // Indexed rows: neighbouring pixels often share a colour, so remember the last match.
  uint32_t lastColor = 0xFFFFFFFFu;
  int lastIndex = 0;
  auto index = [&](uint32_t c) {
    if (c != lastColor) {
      lastColor = c;
      lastIndex = NearestIndex(s.palette, c);
    }
    return static_cast<uint32_t>(lastIndex);
  };
  for (int i = 0; i < count; ++i) {
    const int x = x0 + i;
    const uint32_t c = colors[i] & 0xFFFFFFu;
    const uint32_t r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
    switch (s.layout) {
      case Layout::Bits1: {
        const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
        if (index(c)) row[x >> 3] |= bit; else row[x >> 3] &= static_cast<uint8_t>(~bit);
        break;
      }
      case Layout::Bits4: {
        const uint32_t v = index(c);
        uint8_t& byte = row[x >> 1];
        byte = (x & 1) ? static_cast<uint8_t>((byte & 0xF0) | v) : static_cast<uint8_t>((byte & 0x0F) | (v << 4));
        break;
      }
      case Layout::Bits8: row[x] = static_cast<uint8_t>(index(c)); break;
      case Layout::Rgb555: {
        const uint32_t v = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
        row[2 * x] = static_cast<uint8_t>(v);
        row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
        break;
      }
      case Layout::Rgb565: {
        const uint32_t v = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
        row[2 * x] = static_cast<uint8_t>(v);
        row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
        break;
      }
      case Layout::Bgr24:
        row[3 * x] = static_cast<uint8_t>(b);
        row[3 * x + 1] = static_cast<uint8_t>(g);
        row[3 * x + 2] = static_cast<uint8_t>(r);
        break;
      case Layout::Bgrx32:
        row[4 * x] = static_cast<uint8_t>(b);
        row[4 * x + 1] = static_cast<uint8_t>(g);
        row[4 * x + 2] = static_cast<uint8_t>(r);
        row[4 * x + 3] = 0;
        break;
    }
  }
}

int NearestIndex(const std::vector<uint32_t>& palette, uint32_t color) {
  int best = 0;
  int64_t bestDist = INT64_MAX;
  const int r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF;
  for (size_t i = 0; i < palette.size(); ++i) {
    const uint32_t p = palette[i];
    const int dr = static_cast<int>(p & 0xFF) - r, dg = static_cast<int>((p >> 8) & 0xFF) - g,
              db = static_cast<int>((p >> 16) & 0xFF) - b;
    const int64_t d = int64_t{dr} * dr + int64_t{dg} * dg + int64_t{db} * db;
    if (d < bestDist) {
      bestDist = d;
      best = static_cast<int>(i);
      if (d == 0) break;
    }
  }
  return best;
}

std::vector<uint32_t> DefaultPalette(Layout layout) {
  switch (layout) {
    case Layout::Bits1: return {Rgb(0, 0, 0), Rgb(255, 255, 255)};
    case Layout::Bits4:
      return {Rgb(0, 0, 0),     Rgb(128, 0, 0),   Rgb(0, 128, 0),   Rgb(128, 128, 0),
              Rgb(0, 0, 128),   Rgb(128, 0, 128), Rgb(0, 128, 128), Rgb(192, 192, 192),
              Rgb(128, 128, 128), Rgb(255, 0, 0), Rgb(0, 255, 0),   Rgb(255, 255, 0),
              Rgb(0, 0, 255),   Rgb(255, 0, 255), Rgb(0, 255, 255), Rgb(255, 255, 255)};
    case Layout::Bits8: {
      std::vector<uint32_t> p;
      p.reserve(256);
      for (uint32_t r = 0; r < 6; ++r)
        for (uint32_t g = 0; g < 6; ++g)
          for (uint32_t b = 0; b < 6; ++b) p.push_back(Rgb(r * 51, g * 51, b * 51));
      for (uint32_t i = 0; i < 40; ++i) {  // greys between the cube's levels
        const uint32_t v = (i + 1) * 255 / 41;
        p.push_back(Rgb(v, v, v));
      }
      return p;
    }
    default: return {};
  }
}

}  // namespace vcl::detail
