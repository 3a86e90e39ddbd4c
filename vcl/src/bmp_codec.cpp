// BMP reading and writing. Every size field is checked against the bytes actually present before
// anything is allocated or read; faults raise EInvalidGraphic naming what is wrong.
#include "bmp_codec.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace vcl::detail {

void MemorySource::Read(void* buffer, size_t count) {
  if (count > left_) ThrowInvalidGraphic("Bitmap data is truncated");
  if (count) std::memcpy(buffer, p_, count);
  p_ += count;
  left_ -= count;
}

void MemorySource::Skip(uint64_t count) {
  if (count > left_) ThrowInvalidGraphic("Bitmap data is truncated");
  p_ += count;
  left_ -= static_cast<size_t>(count);
}

namespace {

constexpr uint32_t BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3, BI_JPEG = 4, BI_PNG = 5;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

template <typename... A>
[[noreturn]] void Fail(const char* fmt, A... args) {
  char buf[320];
  std::snprintf(buf, sizeof buf, fmt, args...);
  ThrowInvalidGraphic(buf);
}

unsigned long long ULL(uint64_t v) { return static_cast<unsigned long long>(v); }

struct Info {
  uint32_t headerSize = 0;
  bool core = false;
  int64_t width = 0;
  int64_t height = 0;  // absolute
  bool topDown = false;
  uint32_t planes = 0;
  uint32_t bitCount = 0;
  uint32_t compression = BI_RGB;
  uint32_t sizeImage = 0;
  int32_t xppm = 0, yppm = 0;
  uint32_t clrUsed = 0;
  uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
  uint32_t offBits = 0;              // from the file header
};

// A mask must be one run of set bits inside the pixel; the colour masks must not overlap.
void CheckMasks(const Info& h) {
  const uint64_t limit = h.bitCount == 16 ? 0xFFFFull : 0xFFFFFFFFull;
  uint32_t seen = 0;
  for (int i = 0; i < 4; ++i) {
    uint32_t m = h.masks[i];
    if (m == 0) {
      if (i < 3) Fail("Invalid bit field masks: the %s mask is zero", i == 0 ? "red" : i == 1 ? "green" : "blue");
      continue;
    }
    uint32_t low = m & (~m + 1u);
    uint64_t run = static_cast<uint64_t>(m) + low;
    if (m > limit || (run & (run - 1)) != 0 || (m & seen) != 0)
      Fail("Invalid bit field masks (%08X %08X %08X)", h.masks[0], h.masks[1], h.masks[2]);
    seen |= m;
  }
}

Info ReadHeaders(ByteSource& src, uint64_t& consumed) {
  uint8_t fh[14];
  if (src.Remaining() < 14)
    Fail("Bitmap file too short: %llu bytes, a file header needs 14", ULL(src.Remaining()));
  src.Read(fh, 14);
  if (fh[0] != 'B' || fh[1] != 'M') ThrowInvalidGraphic("Not a bitmap file: the signature is not \"BM\"");
  uint8_t hb[124];
  if (src.Remaining() < 4) ThrowInvalidGraphic("Bitmap file truncated: the info header is missing");
  src.Read(hb, 4);
  Info h;
  h.offBits = U32(fh + 10);
  h.headerSize = U32(hb);
  switch (h.headerSize) {
    case 12: case 40: case 52: case 56: case 108: case 124: break;
    default: Fail("Unsupported bitmap header size %u", h.headerSize);
  }
  if (src.Remaining() < h.headerSize - 4)
    Fail("Bitmap file truncated: the %u-byte info header has only %llu bytes", h.headerSize,
         ULL(src.Remaining() + 4));
  src.Read(hb + 4, h.headerSize - 4);
  consumed = 14 + h.headerSize;
  if (h.headerSize == 12) {
    h.core = true;
    h.width = U16(hb + 4);
    h.height = U16(hb + 6);
    h.planes = U16(hb + 8);
    h.bitCount = U16(hb + 10);
  } else {
    const int32_t w = static_cast<int32_t>(U32(hb + 4));
    const int32_t ht = static_cast<int32_t>(U32(hb + 8));
    h.width = w;
    h.topDown = ht < 0;
    h.height = ht < 0 ? -static_cast<int64_t>(ht) : ht;
    h.planes = U16(hb + 12);
    h.bitCount = U16(hb + 14);
    h.compression = U32(hb + 16);
    h.sizeImage = U32(hb + 20);
    h.xppm = static_cast<int32_t>(U32(hb + 24));
    h.yppm = static_cast<int32_t>(U32(hb + 28));
    h.clrUsed = U32(hb + 32);
    if (h.headerSize >= 52)
      for (int i = 0; i < 3; ++i) h.masks[i] = U32(hb + 40 + 4 * i);
    if (h.headerSize >= 56) h.masks[3] = U32(hb + 52);
  }

  if (h.width <= 0) Fail("Invalid bitmap width %lld", static_cast<long long>(h.width));
  if (h.height == 0) ThrowInvalidGraphic("Invalid bitmap height 0");
  if (h.height > std::numeric_limits<int32_t>::max()) ThrowInvalidGraphic("Invalid bitmap height");
  if (h.planes != 1) Fail("Invalid number of colour planes %u (must be 1)", h.planes);
  const uint32_t b = h.bitCount;
  const bool bitsOk = h.core ? (b == 1 || b == 4 || b == 8 || b == 24)
                             : (b == 1 || b == 4 || b == 8 || b == 16 || b == 24 || b == 32);
  if (!bitsOk) Fail("Unsupported bit count %u", b);

  switch (h.compression) {
    case BI_RGB: break;
    case BI_RLE8:
      if (b != 8) Fail("RLE8 compression needs 8 bits per pixel, the header says %u", b);
      break;
    case BI_RLE4:
      if (b != 4) Fail("RLE4 compression needs 4 bits per pixel, the header says %u", b);
      break;
    case BI_BITFIELDS:
      if (b != 16 && b != 32) Fail("Bit field compression needs 16 or 32 bits per pixel, the header says %u", b);
      break;
    case BI_JPEG: ThrowInvalidGraphic("JPEG-compressed bitmaps are not supported");
    case BI_PNG: ThrowInvalidGraphic("PNG-compressed bitmaps are not supported");
    default: Fail("Unknown bitmap compression %u", h.compression);
  }
  if ((h.compression == BI_RLE8 || h.compression == BI_RLE4) && h.topDown)
    ThrowInvalidGraphic("A compressed bitmap cannot be top-down (negative height)");

  if (h.compression == BI_BITFIELDS) {
    if (h.headerSize == 40) {  // the three masks follow the header
      uint8_t mb[12];
      if (src.Remaining() < 12) ThrowInvalidGraphic("Bitmap file truncated: the bit field masks are missing");
      src.Read(mb, 12);
      consumed += 12;
      for (int i = 0; i < 3; ++i) h.masks[i] = U32(mb + 4 * i);
    }
    CheckMasks(h);
  }
  return h;
}

// Converts rows whose channels sit at arbitrary bit field masks into 32-bit BGRA.
class MaskConverter {
 public:
  explicit MaskConverter(const uint32_t* masks) {
    for (int i = 0; i < 4; ++i) {
      mask_[i] = masks[i];
      shift_[i] = 0;
      max_[i] = 0;
      if (masks[i]) {
        while (!((masks[i] >> shift_[i]) & 1u)) ++shift_[i];
        max_[i] = masks[i] >> shift_[i];
      }
    }
  }
  void Convert(const uint8_t* in, int bitCount, int64_t width, uint8_t* out) const {
    for (int64_t x = 0; x < width; ++x) {
      const uint32_t v = bitCount == 16 ? U16(in + 2 * x) : U32(in + 4 * x);
      out[4 * x + 2] = Channel(v, 0);
      out[4 * x + 1] = Channel(v, 1);
      out[4 * x + 0] = Channel(v, 2);
      out[4 * x + 3] = mask_[3] ? Channel(v, 3) : 0;
    }
  }

 private:
  uint8_t Channel(uint32_t v, int i) const {
    const uint64_t c = (v & mask_[i]) >> shift_[i];
    return static_cast<uint8_t>((c * 255 + max_[i] / 2) / max_[i]);
  }
  uint32_t mask_[4];
  int shift_[4];
  uint64_t max_[4];
};

void ReadChunked(ByteSource& src, uint8_t* dst, uint64_t bytes) {
  constexpr uint64_t kChunk = 1ull << 30;
  while (bytes) {
    const size_t n = static_cast<size_t>(std::min(bytes, kChunk));
    src.Read(dst, n);
    dst += n;
    bytes -= n;
  }
}

// RLE8/RLE4 of a width x height image into a zeroed bottom-up store. The store's rows are in file
// order, so row y of the decoder is the y-th row from the bottom. Without a store the data is only
// checked: every fault is raised as the decoding would raise it, and nothing is written.
void DecodeRle(const std::vector<uint8_t>& data, bool rle4, int64_t width, int64_t height, PixelStore* s) {
  const uint8_t* p = data.data();
  const uint8_t* end = p + data.size();
  int64_t x = 0, y = 0;
  auto put = [&](int64_t px, uint8_t v) {
    if (!s) return;
    uint8_t* row = s->bits.get() + static_cast<size_t>(y) * s->stride;
    if (rle4)
      row[px >> 1] |= static_cast<uint8_t>((px & 1) ? (v & 0x0F) : (v << 4));
    else
      row[px] = v;
  };
  auto checkRun = [&](uint32_t count) {
    if (y >= height) Fail("RLE data runs past the last row (a run of %u pixels after row %lld)", count,
                          static_cast<long long>(height));
    if (x + count > width)
      Fail("RLE run of %u pixels at column %lld passes the end of row %lld (width %lld)", count,
           static_cast<long long>(x), static_cast<long long>(y), static_cast<long long>(width));
  };
  for (;;) {
    if (end - p < 2) {
      // Data ending without the end-of-bitmap marker is accepted only once every row was reached.
      if (y >= height || (y == height - 1 && x == width)) return;
      Fail("RLE data ends at row %lld of %lld without an end-of-bitmap marker", static_cast<long long>(y),
           static_cast<long long>(height));
    }
    const uint8_t a = *p++, b = *p++;
    if (a > 0) {  // encoded run
      checkRun(a);
      for (uint32_t i = 0; i < a; ++i) put(x + i, rle4 ? ((i & 1) ? (b & 0x0F) : (b >> 4)) : b);
      x += a;
      continue;
    }
    switch (b) {
      case 0:  // end of line
        x = 0;
        ++y;
        break;
      case 1:  // end of bitmap
        return;
      case 2: {  // delta
        if (end - p < 2) ThrowInvalidGraphic("RLE data truncated inside a delta escape");
        const uint8_t dx = *p++, dy = *p++;
        x += dx;
        y += dy;
        if (x > width || y > height)
          Fail("RLE delta (%u, %u) moves outside the image", dx, dy);
        break;
      }
      default: {  // absolute run of b pixels, padded to a 16-bit boundary
        const size_t bytes = rle4 ? (b + 1u) / 2 : b;
        const size_t padded = (bytes + 1) & ~size_t{1};
        if (static_cast<size_t>(end - p) < bytes) ThrowInvalidGraphic("RLE data truncated inside an absolute run");
        checkRun(b);
        for (uint32_t i = 0; i < b; ++i) put(x + i, rle4 ? ((i & 1) ? (p[i / 2] & 0x0F) : (p[i / 2] >> 4)) : p[i]);
        x += b;
        p += std::min(padded, static_cast<size_t>(end - p));
        break;
      }
    }
  }
}

}  // namespace

void ReadBmp(ByteSource& src, PixelStore& store) {
  uint64_t consumed = 0;
  const Info h = ReadHeaders(src, consumed);
  const bool indexed = h.bitCount <= 8;
  const bool rle = h.compression == BI_RLE8 || h.compression == BI_RLE4;
  const uint32_t entrySize = h.core ? 3 : 4;
  const uint32_t fullTable = indexed ? (1u << h.bitCount) : 0;

  // Colour table: biClrUsed entries (0 means all 2^n for indexed images; a table before the pixels of
  // a direct-colour image is only skipped). bfOffBits wins over the declared count when it leaves
  // less room; 0 in bfOffBits (careless writers) means the pixels follow the table.
  uint64_t declared = h.clrUsed ? h.clrUsed : fullTable;
  if (h.core) declared = fullTable;
  uint64_t inFile = declared;
  if (h.offBits != 0) {
    if (h.offBits < consumed)
      Fail("Pixel data offset %u points into the headers, which end at byte %llu", h.offBits, ULL(consumed));
    inFile = std::min<uint64_t>(declared, (h.offBits - consumed) / entrySize);
  }
  const uint64_t toRead = std::min<uint64_t>(inFile, fullTable);
  if (src.Remaining() < toRead * entrySize)
    Fail("Bitmap file truncated inside the colour table (%llu entries)", ULL(toRead));
  std::vector<uint32_t> palette;
  if (indexed) {
    palette.assign(fullTable, 0);  // entries a short table lacks are black
    uint8_t e[4];
    for (uint64_t i = 0; i < toRead; ++i) {
      src.Read(e, entrySize);
      palette[i] = static_cast<uint32_t>(e[2]) | (static_cast<uint32_t>(e[1]) << 8) | (static_cast<uint32_t>(e[0]) << 16);
    }
  }
  consumed += toRead * entrySize;
  const uint64_t gap = h.offBits != 0 ? h.offBits - consumed : (inFile - toRead) * entrySize;
  if (gap > src.Remaining())
    Fail("Pixel data offset %llu lies beyond the end of the file (%llu bytes)", ULL(consumed + gap),
         ULL(consumed + src.Remaining()));
  src.Skip(gap);

  // Storage layout: the file's own where the store has it, 32-bit BGRA for other bit field masks.
  Layout layout = Layout::Bgr24;
  bool convertMasks = false;
  switch (h.bitCount) {
    case 1: layout = Layout::Bits1; break;
    case 4: layout = Layout::Bits4; break;
    case 8: layout = Layout::Bits8; break;
    case 16:
      layout = Layout::Rgb555;
      if (h.compression == BI_BITFIELDS) {
        const uint32_t* m = h.masks;
        if (m[0] == 0xF800 && m[1] == 0x07E0 && m[2] == 0x001F)
          layout = Layout::Rgb565;
        else if (!(m[0] == 0x7C00 && m[1] == 0x03E0 && m[2] == 0x001F)) {
          layout = Layout::Bgrx32;
          convertMasks = true;
        }
      }
      break;
    case 24: layout = Layout::Bgr24; break;
    case 32:
      layout = Layout::Bgrx32;
      if (h.compression == BI_BITFIELDS) {
        const uint32_t* m = h.masks;
        convertMasks = !(m[0] == 0xFF0000 && m[1] == 0xFF00 && m[2] == 0xFF && (m[3] == 0 || m[3] == 0xFF000000u));
      }
      break;
  }

  const uint64_t fileStride = RowStride(static_cast<uint64_t>(h.width), static_cast<int>(h.bitCount));
  const uint64_t storeStride = RowStride(static_cast<uint64_t>(h.width), BitsPerPixel(layout));
  if (fileStride == 0 || storeStride == 0) Fail("Bitmap width %lld is absurd", static_cast<long long>(h.width));

  if (!rle) {
    const uint64_t need = fileStride * static_cast<uint64_t>(h.height);
    if (need / fileStride != static_cast<uint64_t>(h.height) || need > src.Remaining())
      Fail("Pixel data truncated: %lld rows of %llu bytes need %llu bytes, the file has %llu",
           static_cast<long long>(h.height), ULL(fileStride), ULL(need), ULL(src.Remaining()));
  } else {
    const uint64_t decoded = storeStride * static_cast<uint64_t>(h.height);
    if (decoded / storeStride != static_cast<uint64_t>(h.height) || decoded > kMaxCompressedImageBytes)
      Fail("Compressed bitmap of %lldx%lld pixels exceeds the limit of %llu MiB", static_cast<long long>(h.width),
           static_cast<long long>(h.height), ULL(kMaxCompressedImageBytes >> 20));
    if (h.sizeImage > src.Remaining())
      Fail("Compressed data size %u exceeds the %llu bytes left in the file", h.sizeImage, ULL(src.Remaining()));
  }

  // A bottom-up page stored as the file stores it can be taken over in place when the source lends
  // its bytes (a DIB nobody reads again): no copy and no fresh memory.
  if (!rle && !convertMasks && !h.topDown && fileStride == storeStride) {
    if (auto lent = src.Lend(static_cast<size_t>(fileStride * static_cast<uint64_t>(h.height)))) {
      store.Adopt(static_cast<int32_t>(h.width), static_cast<int32_t>(h.height), layout, std::move(lent));
      store.palette = std::move(palette);
      store.xPelsPerMeter = h.xppm;
      store.yPelsPerMeter = h.yppm;
      return;
    }
  }

  // From here the previous image is gone; a fault in the pixel data leaves the store empty.
  try {
    // RLE data leaves what it does not reach as background (runs, deltas, an early end-of-bitmap): a
    // few bytes may describe a large image. So the data is checked before the image is allocated,
    // and the rows come zeroed from fresh memory, whose pages cost nothing until the decoder writes
    // them: the work follows the data, not the header.
    std::vector<uint8_t> data;
    if (rle) {
      data.resize(static_cast<size_t>(h.sizeImage ? h.sizeImage : src.Remaining()));
      src.Read(data.data(), data.size());
      DecodeRle(data, h.compression == BI_RLE4, h.width, h.height, nullptr);
    }
    store.Reshape(static_cast<int32_t>(h.width), static_cast<int32_t>(h.height), layout, rle);
    store.palette = std::move(palette);
    store.xPelsPerMeter = h.xppm;
    store.yPelsPerMeter = h.yppm;
    const size_t rows = static_cast<size_t>(h.height);
    if (rle) {
      DecodeRle(data, h.compression == BI_RLE4, h.width, h.height, &store);
    } else if (convertMasks) {
      std::vector<uint8_t> line(static_cast<size_t>(fileStride));
      const MaskConverter conv(h.masks);
      for (size_t i = 0; i < rows; ++i) {
        src.Read(line.data(), line.size());
        const int y = h.topDown ? static_cast<int>(i) : static_cast<int>(rows - 1 - i);
        uint8_t* out = store.Row(y);
        conv.Convert(line.data(), static_cast<int>(h.bitCount), h.width, out);
        std::memset(out + 4 * h.width, 0, store.stride - 4 * static_cast<size_t>(h.width));
      }
    } else if (!h.topDown) {
      ReadChunked(src, store.bits.get(), store.ImageBytes());  // file order is store order
    } else {
      for (size_t y = 0; y < rows; ++y) src.Read(store.Row(static_cast<int>(y)), store.stride);
    }
  } catch (...) {
    store.Clear();
    throw;
  }
}

void WriteBmp(const PixelStore& s, ByteSink& sink) {
  if (s.Empty()) return;  // an empty bitmap writes nothing and reads back empty
  const int bpp = BitsPerPixel(s.layout);
  const bool masks = s.layout == Layout::Rgb565;
  const uint32_t entries = IsIndexed(s.layout) ? (1u << bpp) : 0;
  const uint64_t offBits = 14 + 40 + (masks ? 12 : 0) + 4ull * entries;
  const uint64_t imageBytes = s.ImageBytes();
  const uint64_t fileSize = offBits + imageBytes;
  if (fileSize > 0xFFFFFFFFull) Fail("Bitmap too large for a BMP file (%llu bytes)", ULL(fileSize));

  std::vector<uint8_t> head(static_cast<size_t>(offBits), 0);
  uint8_t* p = head.data();
  p[0] = 'B';
  p[1] = 'M';
  Put32(p + 2, static_cast<uint32_t>(fileSize));
  Put32(p + 10, static_cast<uint32_t>(offBits));
  p += 14;
  Put32(p, 40);
  Put32(p + 4, static_cast<uint32_t>(s.width));
  Put32(p + 8, static_cast<uint32_t>(s.height));  // bottom-up, as stored
  Put16(p + 12, 1);
  Put16(p + 14, static_cast<uint32_t>(bpp));
  Put32(p + 16, masks ? BI_BITFIELDS : BI_RGB);
  Put32(p + 20, static_cast<uint32_t>(imageBytes));
  Put32(p + 24, static_cast<uint32_t>(s.xPelsPerMeter));
  Put32(p + 28, static_cast<uint32_t>(s.yPelsPerMeter));
  Put32(p + 32, entries);
  p += 40;
  if (masks) {
    Put32(p, 0xF800);
    Put32(p + 4, 0x07E0);
    Put32(p + 8, 0x001F);
    p += 12;
  }
  for (uint32_t i = 0; i < entries; ++i, p += 4) {
    const uint32_t c = i < s.palette.size() ? s.palette[i] : 0;
    p[0] = static_cast<uint8_t>(c >> 16);
    p[1] = static_cast<uint8_t>(c >> 8);
    p[2] = static_cast<uint8_t>(c);
  }
  sink.Write(head.data(), head.size());
  constexpr uint64_t kChunk = 1ull << 30;
  const uint8_t* bits = s.bits.get();
  for (uint64_t left = imageBytes; left;) {
    const size_t n = static_cast<size_t>(std::min(left, kChunk));
    sink.Write(bits, n);
    bits += n;
    left -= n;
  }
}

}  // namespace vcl::detail
