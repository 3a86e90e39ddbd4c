// A packed DIB from a native transfer -> a bitmap file -> TBitmap. Every read is bounded by the
// block's GlobalSize: a source's header is not trusted.
#include "internal.h"

#include <korven/platform.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace korven {

using detail::Peek;
using detail::Poke;

namespace {

constexpr uint32_t InfoHeaderSize = 40;
constexpr uint32_t CoreHeaderSize = 12;
constexpr uint32_t BI_BITFIELDS_ = 3;

// Offsets in BITMAPINFOHEADER.
constexpr size_t oWidth = 4, oHeight = 8, oPlanes = 12, oBitCount = 14, oCompression = 16, oSizeImage = 20,
                 oClrUsed = 32;

// The file layout worked out from a checked header; fault is empty when the DIB can be written.
struct DibLayout {
  std::string fault;
  uint32_t infoSize = 0;   // header, bit field masks and colour table
  uint32_t imageSize = 0;  // pixel bytes
  bool rewriteBitCount16 = false, clearClrUsed = false, writeSizeImage = false;
};

DibLayout Plan(const void* p, uint64_t blockSize) {
  DibLayout d;
  if (blockSize < 4) {
    d.fault = "Illegal DIB: block too short";
    return d;
  }
  uint32_t headerSize = Peek<uint32_t>(p, 0);
  // The short core header has another layout (16-bit sizes, 3-byte colour entries): not taken.
  if (headerSize == CoreHeaderSize) {
    d.fault = "Illegal DIB: BITMAPCOREHEADER not supported";
    return d;
  }
  if (headerSize < InfoHeaderSize || headerSize > blockSize) {
    d.fault = "Illegal DIB: bad header size";
    return d;
  }
  int32_t width = Peek<int32_t>(p, oWidth);
  int32_t height = Peek<int32_t>(p, oHeight);
  uint16_t planes = Peek<uint16_t>(p, oPlanes);
  uint16_t bitCount = Peek<uint16_t>(p, oBitCount);
  uint32_t compression = Peek<uint32_t>(p, oCompression);
  uint32_t sizeImage = Peek<uint32_t>(p, oSizeImage);
  uint32_t clrUsed = Peek<uint32_t>(p, oClrUsed);

  uint32_t entries = 0;
  switch (uint32_t(bitCount) * planes) {
    case 1: entries = 2; break;
    case 2: entries = 16; break;
    case 4: entries = 16; break;
    case 8: entries = 256; break;
    case 15: d.rewriteBitCount16 = true; bitCount = 16; break;
    case 24: d.clearClrUsed = true; break;
    default: break;
  }
  // A table shorter than the full one is announced by biClrUsed; reading the full one would take
  // pixels for colours.
  if (clrUsed != 0 && clrUsed < entries) entries = clrUsed;
  // Bit field masks follow a 40-byte header; later headers hold them inside.
  uint32_t masks = (compression == BI_BITFIELDS_ && headerSize == InfoHeaderSize) ? 12 : 0;
  uint64_t info = uint64_t(headerSize) + masks + 4ull * entries;

  uint64_t image = sizeImage;
  if (sizeImage == 0) {
    if (width <= 0 || height == 0 || bitCount == 0) {
      d.fault = "Illegal DIB: bad image size";
      return d;
    }
    uint64_t rowBytes = (uint64_t(width) * bitCount + 31) / 32 * 4;
    uint64_t rows = height < 0 ? uint64_t(-int64_t(height)) : uint64_t(height);
    image = rowBytes * rows;  // both factors below 2^37 and 2^32: no overflow in 64 bits
    d.writeSizeImage = true;
  }
  if (info + image > blockSize || 14 + info + image > 0xFFFFFFFFull || image > 0xFFFFFFFFull) {
    d.fault = "Illegal DIB: larger than its memory block";
    return d;
  }
  d.infoSize = uint32_t(info);
  d.imageSize = uint32_t(image);
  return d;
}

// The bitmap file as the bitmap's reader sees it: the 14-byte file header followed by the locked DIB
// block itself, read in place. Writing a copy of the block into a memory stream first would cost a
// third DIB-sized allocation and a copy per page; the bytes read are the same. When the DIB is about
// to be freed unread (a transfer's own DIB, handed to the component's bitmap), the stream lends the
// pixel bytes instead: the bitmap takes the block's memory over and nothing is copied at all.
class DibFileStream : public vcl::TStream {
 public:
  DibFileStream(const unsigned char (&header)[14], HGLOBAL hDib, const void* dib, uint64_t dibBytes, bool lend)
      : hDib_(hDib), dib_(static_cast<unsigned char*>(const_cast<void*>(dib))), size_(14 + int64_t(dibBytes)),
        lend_(lend) {
    std::memcpy(header_, header, 14);
  }
  int64_t Read(void* buffer, int64_t count) override {
    int64_t n = std::max<int64_t>(0, std::min(count, size_ - pos_));
    auto* out = static_cast<unsigned char*>(buffer);
    int64_t done = 0;
    if (pos_ < 14 && done < n) {
      int64_t k = std::min<int64_t>(14 - pos_, n);
      std::memcpy(out, header_ + pos_, size_t(k));
      done += k;
    }
    if (done < n) std::memcpy(out + done, dib_ + (pos_ + done - 14), size_t(n - done));
    pos_ += n;
    return n;
  }
  std::shared_ptr<uint8_t[]> Lend(int64_t count) override {
    if (!lend_ || pos_ < 14 || count < 0 || count > size_ - pos_) return nullptr;
    std::shared_ptr<void> memory = korven::platform::GlobalShareMemory(hDib_);
    if (!memory) return nullptr;
    std::shared_ptr<uint8_t[]> lent(memory, dib_ + (pos_ - 14));
    pos_ += count;
    return lent;
  }
  int64_t Write(const void*, int64_t) override { return 0; }  // read-only
  int64_t Seek(int64_t offset, vcl::TSeekOrigin origin) override {
    int64_t base = origin == vcl::soBeginning ? 0 : origin == vcl::soCurrent ? pos_ : size_;
    pos_ = std::max<int64_t>(0, base + offset);
    return pos_;
  }
  int64_t GetSize() override { return size_; }

 private:
  unsigned char header_[14];
  HGLOBAL hDib_;
  unsigned char* dib_;
  int64_t size_;
  int64_t pos_ = 0;
  bool lend_;
};

}  // namespace

void TScanner::TWAIN_DrawDibToBitmap(vcl::TBitmap* Bitmap, HGLOBAL hDib) { DrawDib(Bitmap, hDib, false); }

bool TScanner::DrawDib(vcl::TBitmap* Bitmap, HGLOBAL hDib, bool takeOver) {
  uint64_t blockSize = GlobalSize(hDib);
  void* p = GlobalLock(hDib);
  if (!p) {
    TWAIN_ErrorBox("Illegal DIB: can not lock the handle");
    return false;
  }
  std::string fault;
  // The block stays locked while the bitmap reads it; unlocked on every path.
  detail::TryFinally(
      [&] {
        DibLayout d = Plan(p, blockSize);
        if (!d.fault.empty()) {
          fault = d.fault;
          return;
        }
        if (d.rewriteBitCount16) Poke<uint16_t>(p, oBitCount, 16);
        if (d.clearClrUsed) Poke<uint32_t>(p, oClrUsed, 0);
        if (d.writeSizeImage) Poke<uint32_t>(p, oSizeImage, d.imageSize);

        unsigned char fh[14];
        Poke<uint16_t>(fh, 0, 0x4D42);
        Poke<uint32_t>(fh, 2, 14 + d.infoSize + d.imageSize);
        Poke<uint16_t>(fh, 6, 0);
        Poke<uint16_t>(fh, 8, 0);
        Poke<uint32_t>(fh, 10, 14 + d.infoSize);
        // Only info size + image size bytes of the block belong to the file.
        DibFileStream stream(fh, hDib, p, uint64_t(d.infoSize) + d.imageSize, takeOver);
        Bitmap->LoadFromStream(&stream);
      },
      [&] { GlobalUnlock(hDib); });
  if (fault.empty()) return true;
  TWAIN_ErrorBox(fault);
  return false;
}

}  // namespace korven
