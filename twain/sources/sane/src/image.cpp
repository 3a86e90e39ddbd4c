#include "image.h"

#include "containers.h"
#include "dib_header.h"
#include "sane_api.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace korven::saneds {

namespace {

enum class Kind { Bilevel, Gray, Rgb };

Kind KindOf(const SANE_Parameters& p) {
  if (p.format == SANE_FRAME_GRAY) return p.depth == 1 ? Kind::Bilevel : Kind::Gray;
  return Kind::Rgb;
}

int BitsOf(Kind k) { return k == Kind::Bilevel ? 1 : k == Kind::Gray ? 8 : 24; }
int ColoursOf(Kind k) { return k == Kind::Bilevel ? 2 : k == Kind::Gray ? 256 : 0; }
size_t StrideOf(int width, Kind k) { return (size_t(width) * size_t(BitsOf(k)) + 31) / 32 * 4; }

bool IsChannel(SANE_Frame f) { return f == SANE_FRAME_RED || f == SANE_FRAME_GREEN || f == SANE_FRAME_BLUE; }

void WriteHeader(unsigned char* p, Kind k, int width, int height, double xdpi, double ydpi) {
  ds::InfoHeader h{};
  h.biSize = sizeof h;
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = uint16_t(BitsOf(k));
  h.biCompression = 0;  // BI_RGB
  h.biSizeImage = uint32_t(StrideOf(width, k) * size_t(height));
  h.biXPelsPerMeter = ds::PelsPerMeter(xdpi);
  h.biYPelsPerMeter = ds::PelsPerMeter(ydpi);
  h.biClrUsed = uint32_t(ColoursOf(k));
  std::memcpy(p, &h, sizeof h);
  unsigned char* table = p + sizeof h;
  for (int i = 0; i < ColoursOf(k); ++i) {
    unsigned char v = k == Kind::Bilevel ? (i ? 255 : 0) : static_cast<unsigned char>(i);
    table[4 * i] = table[4 * i + 1] = table[4 * i + 2] = v;
    table[4 * i + 3] = 0;
  }
}

size_t HeaderSize(Kind k) { return sizeof(ds::InfoHeader) + 4 * size_t(ColoursOf(k)); }

// Where converted lines go: straight into the DIB when the height is known (bottom-up), into a
// growing buffer (top-down) when it is not.
class Rows {
 public:
  Rows(Kind kind, int width, int lines, double xdpi, double ydpi)
      : kind_(kind), width_(width), lines_(lines), stride_(StrideOf(width, kind)), xdpi_(xdpi), ydpi_(ydpi) {
    if (lines_ < 0) return;
    const size_t size = HeaderSize(kind_) + stride_ * size_t(lines_);
    if (stride_ * size_t(lines_) > size_t(INT_MAX)) return;  // beyond what a DIB describes
    block_ = GlobalAlloc(GMEM_MOVEABLE, size);
    if (block_) bits_ = static_cast<unsigned char*>(GlobalLock(block_));
    if (!bits_ && block_) block_ = GlobalFree(block_);
  }
  ~Rows() {
    if (bits_) GlobalUnlock(block_);
    if (block_) GlobalFree(block_);
  }
  bool Ok() const { return lines_ < 0 || bits_ != nullptr; }
  size_t Stride() const { return stride_; }

  // Row y from the top; nullptr when no memory is left for it.
  unsigned char* Row(int y) {
    if (lines_ >= 0) return bits_ + HeaderSize(kind_) + size_t(lines_ - 1 - y) * stride_;
    const size_t need = (size_t(y) + 1) * stride_;
    if (need > size_t(INT_MAX)) return nullptr;
    if (grown_.size() < need) {
      try {
        grown_.resize(std::max(need, grown_.size() * 3 / 2));
      } catch (const std::bad_alloc&) {
        return nullptr;
      }
    }
    return grown_.data() + size_t(y) * stride_;
  }

  // The DIB of the first `height` rows (the caller owns it), or 0 when no memory is left.
  HGLOBAL Finish(int height) {
    if (lines_ >= 0) {
      unsigned char* pixels = bits_ + HeaderSize(kind_);
      // Fewer lines than announced: the rows received are the top of the block; move them down.
      if (height < lines_) std::memmove(pixels, pixels + size_t(lines_ - height) * stride_, size_t(height) * stride_);
      WriteHeader(bits_, kind_, width_, height, xdpi_, ydpi_);
      GlobalUnlock(block_);
      bits_ = nullptr;
      HGLOBAL out = block_;
      block_ = 0;
      return out;
    }
    HGLOBAL out = GlobalAlloc(GMEM_MOVEABLE, HeaderSize(kind_) + stride_ * size_t(height));
    auto* p = out ? static_cast<unsigned char*>(GlobalLock(out)) : nullptr;
    if (!p) return out ? GlobalFree(out) : 0;
    WriteHeader(p, kind_, width_, height, xdpi_, ydpi_);
    for (int y = 0; y < height; ++y)
      std::memcpy(p + HeaderSize(kind_) + size_t(height - 1 - y) * stride_, grown_.data() + size_t(y) * stride_, stride_);
    GlobalUnlock(out);
    return out;
  }

 private:
  Kind kind_;
  int width_, lines_;
  size_t stride_;
  double xdpi_, ydpi_;
  HGLOBAL block_ = 0;
  unsigned char* bits_ = nullptr;
  std::vector<unsigned char> grown_;
};

inline unsigned Sample16(const unsigned char* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);  // SANE's 16-bit samples are in the host's byte order
  return v >> 8;
}

inline bool Bit(const unsigned char* p, size_t k) { return (p[k / 8] >> (7 - k % 8)) & 1; }

// One line of a frame into a DIB row (the row's padding is zeroed by the caller).
void Convert(const SANE_Parameters& p, const unsigned char* src, unsigned char* dst, int width) {
  const size_t w = size_t(width);
  switch (p.format) {
    case SANE_FRAME_GRAY:
      if (p.depth == 1) {
        // SANE's 1 is black; the DIB's colour 0 is black.
        for (size_t i = 0; i < (w + 7) / 8; ++i) dst[i] = static_cast<unsigned char>(~src[i]);
      } else if (p.depth == 8) {
        std::memcpy(dst, src, w);
      } else {
        for (size_t i = 0; i < w; ++i) dst[i] = static_cast<unsigned char>(Sample16(src + 2 * i));
      }
      break;
    case SANE_FRAME_RGB:
      if (p.depth == 8) {
        for (size_t i = 0; i < w; ++i) dst[3 * i] = src[3 * i + 2], dst[3 * i + 1] = src[3 * i + 1], dst[3 * i + 2] = src[3 * i];
      } else if (p.depth == 16) {
        for (size_t i = 0; i < w; ++i) {
          dst[3 * i] = static_cast<unsigned char>(Sample16(src + 6 * i + 4));
          dst[3 * i + 1] = static_cast<unsigned char>(Sample16(src + 6 * i + 2));
          dst[3 * i + 2] = static_cast<unsigned char>(Sample16(src + 6 * i));
        }
      } else {
        // Three bits a pixel, red first; 1 is full intensity.
        for (size_t i = 0; i < w; ++i)
          for (size_t c = 0; c < 3; ++c) dst[3 * i + 2 - c] = Bit(src, 3 * i + c) ? 255 : 0;
      }
      break;
    default: {
      const size_t c = p.format == SANE_FRAME_RED ? 2 : p.format == SANE_FRAME_GREEN ? 1 : 0;
      for (size_t i = 0; i < w; ++i) {
        unsigned v = p.depth == 8 ? src[i] : p.depth == 16 ? Sample16(src + 2 * i) : (Bit(src, i) ? 255 : 0);
        dst[3 * i + c] = static_cast<unsigned char>(v);
      }
      break;
    }
  }
}

size_t BytesNeeded(const SANE_Parameters& p) {
  const size_t w = size_t(p.pixels_per_line);
  const size_t channels = p.format == SANE_FRAME_RGB ? 3 : 1;
  return p.depth == 1 ? (channels * w + 7) / 8 : channels * w * size_t(p.depth / 8);
}

}  // namespace

std::string CheckParameters(const SANE_Parameters& p) {
  if (p.format != SANE_FRAME_GRAY && p.format != SANE_FRAME_RGB && !IsChannel(p.format))
    return "a frame format this source does not know (" + std::to_string(int(p.format)) + ")";
  if (p.depth != 1 && p.depth != 8 && p.depth != 16) return std::to_string(p.depth) + " bits per sample";
  if (p.pixels_per_line <= 0 || p.lines == 0 || p.lines < -1 || p.bytes_per_line <= 0)
    return "an image of " + std::to_string(p.pixels_per_line) + " x " + std::to_string(p.lines) + " pixels with " +
           std::to_string(p.bytes_per_line) + " bytes per line";
  if (size_t(p.bytes_per_line) < BytesNeeded(p))
    return std::to_string(p.bytes_per_line) + " bytes per line for " + std::to_string(p.pixels_per_line) + " pixels";
  return "";
}

void FillImageInfo(const SANE_Parameters& p, double xdpi, double ydpi, int height, TW_IMAGEINFO& info) {
  const Kind k = KindOf(p);
  std::memset(&info, 0, sizeof info);
  info.XResolution = ds::ToFix32(xdpi);
  info.YResolution = ds::ToFix32(ydpi);
  info.ImageWidth = p.pixels_per_line;
  info.ImageLength = height >= 0 ? height : p.lines;
  info.SamplesPerPixel = k == Kind::Rgb ? 3 : 1;
  for (int i = 0; i < info.SamplesPerPixel; ++i) info.BitsPerSample[i] = k == Kind::Bilevel ? 1 : 8;
  info.BitsPerPixel = TW_INT16(BitsOf(k));
  info.Planar = FALSE;
  info.PixelType = k == Kind::Bilevel ? TWPT_BW : k == Kind::Gray ? TWPT_GRAY : TWPT_RGB;
  info.Compression = TWCP_NONE;
}

Page ReadPage(SANE_Handle handle, const SANE_Parameters& first, double xdpi, double ydpi,
              std::chrono::milliseconds timeout) {
  Page page;
  auto fail = [&](SANE_Status s, const std::string& why) {
    sane_cancel(handle);
    page.status = s;
    page.error = why;
    return page;
  };
  if (std::string why = CheckParameters(first); !why.empty())
    return fail(SANE_STATUS_INVAL, "the scanner announced " + why);

  const Kind kind = KindOf(first);
  const int width = first.pixels_per_line;
  Rows rows(kind, width, first.lines, xdpi, ydpi);
  if (!rows.Ok()) return fail(SANE_STATUS_NO_MEM, "no memory for a page of " + std::to_string(width) + " x " + std::to_string(first.lines) + " pixels");
  std::unique_ptr<Watchdog> dog;
  if (timeout.count() > 0) dog = std::make_unique<Watchdog>(handle, timeout);
  auto timedOut = [&] {
    page.timedOut = true;
    char text[100];
    std::snprintf(text, sizeof text, "the scanner delivered no data for %g s and was cancelled", double(timeout.count()) / 1000);
    return fail(SANE_STATUS_IO_ERROR, text);
  };

  SANE_Parameters p = first;
  const size_t used = StrideOf(width, kind);
  const size_t payload = kind == Kind::Rgb ? size_t(width) * 3 : kind == Kind::Gray ? size_t(width) : (size_t(width) + 7) / 8;
  int height = -1;
  std::vector<unsigned char> buf(64 * 1024), line(size_t(p.bytes_per_line));
  for (bool firstFrame = true;; firstFrame = false) {
    const int maxLines = p.lines >= 0 ? p.lines : firstFrame ? INT_MAX : height;
    int y = 0;
    size_t fill = 0;
    auto idleSince = std::chrono::steady_clock::now();
    for (;;) {
      SANE_Int n = 0;
      if (dog) dog->Arm();
      SANE_Status s = sane_read(handle, buf.data(), SANE_Int(buf.size()), &n);
      if (dog) dog->Disarm();
      if (dog && dog->Fired()) return timedOut();
      if (s == SANE_STATUS_EOF) break;
      if (s != SANE_STATUS_GOOD) return fail(s, "scanning failed: " + StatusText(s));
      if (n <= 0) {
        // Nothing yet (a backend in non-blocking mode): wait a little, but not for ever.
        if (timeout.count() > 0 && std::chrono::steady_clock::now() - idleSince > timeout) return timedOut();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        continue;
      }
      idleSince = std::chrono::steady_clock::now();
      for (size_t at = 0; at < size_t(std::min<SANE_Int>(n, SANE_Int(buf.size())));) {
        const size_t take = std::min(line.size() - fill, size_t(n) - at);
        std::memcpy(line.data() + fill, buf.data() + at, take);
        fill += take, at += take;
        if (fill < line.size()) break;
        fill = 0;
        if (y < maxLines) {
          unsigned char* row = rows.Row(y);
          if (!row) return fail(SANE_STATUS_NO_MEM, "no memory for line " + std::to_string(y + 1) + " of the page");
          if (firstFrame) std::memset(row + payload, 0, used - payload);  // the row's padding
          Convert(p, line.data(), row, width);
        }
        ++y;  // lines beyond those announced are read and dropped
      }
    }
    const int got = std::min(y, maxLines);
    height = firstFrame ? got : std::min(height, got);
    if (p.last_frame || !IsChannel(p.format)) break;
    // The next colour of a three-pass scan.
    if (dog) dog->Arm();
    SANE_Status s = sane_start(handle);
    if (dog) dog->Disarm();
    if (dog && dog->Fired()) return timedOut();
    if (s != SANE_STATUS_GOOD) return fail(s, "the next colour pass did not start: " + StatusText(s));
    SANE_Parameters next{};
    if (sane_get_parameters(handle, &next) != SANE_STATUS_GOOD || !IsChannel(next.format) ||
        next.pixels_per_line != width || !CheckParameters(next).empty())
      return fail(SANE_STATUS_INVAL, "the next colour pass does not match the first");
    p = next;
    line.assign(size_t(p.bytes_per_line), 0);
  }
  if (height <= 0) return fail(SANE_STATUS_EOF, "the scanner ended the page before its first line");
  page.dib = rows.Finish(height);
  if (!page.dib) return fail(SANE_STATUS_NO_MEM, "no memory for the page");
  page.width = width;
  page.height = height;
  return page;
}

}  // namespace korven::saneds
