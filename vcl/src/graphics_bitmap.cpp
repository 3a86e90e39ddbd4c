// TGraphic and TBitmap: geometry, pixel formats, palettes, BMP streaming and the bitmap's canvas.
#include <vcl/Graphics.h>
#include <vcl/TypInfo.h>

#include <algorithm>
#include <cstring>

#include "bmp_codec.h"
#include "graphics_store.h"

namespace vcl {

VCL_IMPLEMENT_CLASS(TGraphic, TPersistent)
VCL_IMPLEMENT_CLASS(TBitmap, TGraphic)

// ---- TGraphic -----------------------------------------------------------------------------------

void TGraphic::LoadFromFile(const std::string& FileName) {
  TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&stream);
}

void TGraphic::SaveToFile(const std::string& FileName) {
  TFileStream stream(FileName, fmCreate);
  SaveToStream(&stream);
}

void TGraphic::DefineProperties(TFiler* filer) {
  filer->DefineBinaryProperty(
      "Data", [this](TStream* s) { ReadData(s); }, [this](TStream* s) { WriteData(s); }, !GetEmpty());
}

void TGraphic::SetModified(bool value) {
  if (value)
    Changed();
  else
    modified_ = false;
}

void TGraphic::Changed() {
  modified_ = true;
  if (OnChange) OnChange(this);
}

// ---- Stream adapters for the codec --------------------------------------------------------------

namespace {

// The stream from its position, at most `limit` bytes of it.
class StreamSource : public detail::ByteSource {
 public:
  explicit StreamSource(TStream* s, uint64_t limit = UINT64_MAX) : s_(s), limit_(limit) {}
  uint64_t Remaining() const override {
    const int64_t left = s_->GetSize() - s_->GetPosition();
    const uint64_t inStream = left > 0 ? static_cast<uint64_t>(left) : 0;
    return std::min(inStream, limit_ - consumed_);
  }
  void Read(void* buffer, size_t count) override {
    if (count > Remaining()) detail::ThrowInvalidGraphic("Bitmap data is truncated");
    consumed_ += count;
    auto* p = static_cast<uint8_t*>(buffer);
    while (count) {
      const auto n = static_cast<int64_t>(std::min<size_t>(count, size_t{1} << 30));
      const int64_t got = s_->Read(p, n);
      if (got <= 0) detail::ThrowInvalidGraphic("Bitmap data is truncated");
      p += got;
      count -= static_cast<size_t>(got);
    }
  }
  void Skip(uint64_t count) override {
    if (count > Remaining()) detail::ThrowInvalidGraphic("Bitmap data is truncated");
    consumed_ += count;
    s_->Seek(static_cast<int64_t>(count), soCurrent);
  }
  std::shared_ptr<uint8_t[]> Lend(size_t count) override {
    if (count > Remaining()) return nullptr;
    auto lent = s_->Lend(static_cast<int64_t>(count));
    if (lent) consumed_ += count;
    return lent;
  }

 private:
  TStream* s_;
  uint64_t limit_;
  uint64_t consumed_ = 0;
};

class StreamSink : public detail::ByteSink {
 public:
  explicit StreamSink(TStream* s) : s_(s) {}
  void Write(const void* buffer, size_t count) override {
    auto* p = static_cast<const uint8_t*>(buffer);
    while (count) {
      const auto n = static_cast<int64_t>(std::min<size_t>(count, size_t{1} << 30));
      s_->WriteBuffer(p, n);
      p += n;
      count -= static_cast<size_t>(n);
    }
  }

 private:
  TStream* s_;
};

// A bitmap's canvas draws straight into the bitmap's store.
class TBitmapCanvas : public TCanvas {
 public:
  explicit TBitmapCanvas(TBitmap* owner) : owner_(owner) {}
  detail::PixelStore* Surface() override { return &owner_->Store(); }

 protected:
  void Changed() override {
    owner_->PixelsChanged();
    TCanvas::Changed();
  }

 private:
  TBitmap* owner_;
};

detail::Layout LayoutOf(TPixelFormat f) {
  switch (f) {
    case pf1bit: return detail::Layout::Bits1;
    case pf4bit: return detail::Layout::Bits4;
    case pf8bit: return detail::Layout::Bits8;
    case pf15bit: return detail::Layout::Rgb555;
    case pf16bit: return detail::Layout::Rgb565;
    case pf32bit: return detail::Layout::Bgrx32;
    default: return detail::Layout::Bgr24;
  }
}

TPixelFormat FormatOf(detail::Layout l) {
  switch (l) {
    case detail::Layout::Bits1: return pf1bit;
    case detail::Layout::Bits4: return pf4bit;
    case detail::Layout::Bits8: return pf8bit;
    case detail::Layout::Rgb555: return pf15bit;
    case detail::Layout::Rgb565: return pf16bit;
    case detail::Layout::Bgr24: return pf24bit;
    case detail::Layout::Bgrx32: return pf32bit;
  }
  return pf24bit;
}

}  // namespace

// ---- TBitmap ------------------------------------------------------------------------------------

TBitmap::TBitmap() : store_(std::make_unique<detail::PixelStore>()) {}
TBitmap::~TBitmap() = default;

bool TBitmap::GetEmpty() const { return store_->Empty(); }
int TBitmap::GetWidth() const { return store_->width; }
int TBitmap::GetHeight() const { return store_->height; }
void TBitmap::SetWidth(int value) { SetSize(value, store_->height); }
void TBitmap::SetHeight(int value) { SetSize(store_->width, value); }

void TBitmap::SetSize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  detail::PixelStore& s = *store_;
  if (width == s.width && height == s.height) return;
  detail::PixelStore next;
  next.layout = LayoutOf(format_);
  next.palette = s.palette;
  if (detail::IsIndexed(next.layout) && next.palette.size() != (1u << detail::BitsPerPixel(next.layout)))
    next.palette = detail::DefaultPalette(next.layout);
  next.xPelsPerMeter = s.xPelsPerMeter;
  next.yPelsPerMeter = s.yPelsPerMeter;
  next.Reshape(width, height, next.layout);
  if (next.ImageBytes()) std::memset(next.bits.get(), 0, next.ImageBytes());
  // Keep the overlapping top-left part. Rows are stored bottom-up, so copy row by row from the top.
  const int rows = std::min(height, s.height);
  const size_t bytes = std::min(next.stride, static_cast<size_t>(detail::RowStride(
                                                 static_cast<uint64_t>(std::min(width, s.width)),
                                                 detail::BitsPerPixel(next.layout))));
  if (!s.Empty() && s.layout == next.layout)
    for (int y = 0; y < rows; ++y) std::memcpy(next.Row(y), s.Row(y), bytes);
  *store_ = std::move(next);
  Changed();
}

void TBitmap::SetPixelFormat(TPixelFormat value) {
  if (value == pfCustom) throw EInvalidGraphicOperation("Invalid pixel format");
  if (value == format_) return;
  const detail::Layout target = LayoutOf(value);
  detail::PixelStore& s = *store_;
  if (s.Empty() || s.layout == target) {
    format_ = value;
    s.layout = target;
    if (detail::IsIndexed(target) && s.palette.size() != (1u << detail::BitsPerPixel(target)))
      s.palette = detail::DefaultPalette(target);
    if (!detail::IsIndexed(target)) s.palette.clear();
    if (!s.Empty()) Changed();
    return;
  }
  detail::PixelStore next;
  next.xPelsPerMeter = s.xPelsPerMeter;
  next.yPelsPerMeter = s.yPelsPerMeter;
  next.palette = detail::IsIndexed(target) ? detail::DefaultPalette(target) : std::vector<uint32_t>{};
  next.Reshape(s.width, s.height, target);
  std::memset(next.bits.get(), 0, next.ImageBytes());
  std::vector<uint32_t> colors(static_cast<size_t>(s.width));
  for (int y = 0; y < s.height; ++y) {
    detail::RowToColors(s, s.Row(y), 0, s.width, colors.data());
    detail::ColorsToRow(next, colors.data(), 0, s.width, next.Row(y));
  }
  *store_ = std::move(next);
  format_ = value;
  Changed();
}

std::vector<TColor> TBitmap::GetPalette() const {
  if (!detail::IsIndexed(store_->layout)) return {};
  std::vector<TColor> out;
  out.reserve(store_->palette.size());
  for (uint32_t c : store_->palette) out.push_back(static_cast<TColor>(c));
  return out;
}

void TBitmap::SetPalette(const std::vector<TColor>& colors) {
  detail::PixelStore& s = *store_;
  if (!detail::IsIndexed(s.layout)) return;
  const size_t n = size_t{1} << detail::BitsPerPixel(s.layout);
  s.palette.assign(n, 0);
  for (size_t i = 0; i < n && i < colors.size(); ++i) s.palette[i] = ColorToRGB(colors[i]);
  Changed();
}

int TBitmap::GetXPelsPerMeter() const { return store_->xPelsPerMeter; }
int TBitmap::GetYPelsPerMeter() const { return store_->yPelsPerMeter; }
void TBitmap::SetPelsPerMeter(int x, int y) {
  store_->xPelsPerMeter = x;
  store_->yPelsPerMeter = y;
}

void* TBitmap::ScanLine(int y) {
  if (y < 0 || y >= store_->height) throw EInvalidGraphicOperation("Scan line index out of range");
  return store_->Row(y);
}

const void* TBitmap::ScanLine(int y) const {
  if (y < 0 || y >= store_->height) throw EInvalidGraphicOperation("Scan line index out of range");
  return store_->Row(y);
}

size_t TBitmap::BytesPerScanLine() const { return store_->stride; }

TCanvas* TBitmap::GetCanvas() {
  if (!canvas_) canvas_ = std::make_unique<TBitmapCanvas>(this);
  return canvas_.get();
}

void TBitmap::Assign(TPersistent* Source) {
  if (Source == this) return;
  if (!Source) {
    store_->Clear();
    Changed();
    return;
  }
  if (auto* b = dynamic_cast<TBitmap*>(Source)) {
    const detail::PixelStore& from = *b->store_;
    detail::PixelStore& to = *store_;
    to.Reshape(from.width, from.height, from.layout);
    if (from.ImageBytes()) std::memcpy(to.bits.get(), from.bits.get(), from.ImageBytes());
    to.palette = from.palette;
    to.xPelsPerMeter = from.xPelsPerMeter;
    to.yPelsPerMeter = from.yPelsPerMeter;
    format_ = b->format_;
    if (canvas_ && b->canvas_) {
      canvas_->GetBrush()->Assign(b->canvas_->GetBrush());
      canvas_->GetFont()->Assign(b->canvas_->GetFont());
    }
    Changed();
    return;
  }
  inherited::Assign(Source);
}

void TBitmap::LoadFromStream(TStream* Stream) { ReadBmp(Stream, UINT64_MAX); }

void TBitmap::ReadBmp(TStream* Stream, uint64_t limit) {
  StreamSource src(Stream, limit);
  if (src.Remaining() == 0) {  // nothing to read: an empty bitmap, as an empty bitmap saves
    store_->Clear();
    Changed();
    return;
  }
  try {
    detail::ReadBmp(src, *store_);
  } catch (...) {
    if (store_->Empty()) format_ = pfDevice;
    throw;
  }
  format_ = FormatOf(store_->layout);
  Changed();
}

void TBitmap::ReadData(TStream* Stream) {
  uint8_t size[4];
  if (Stream->Read(size, 4) != 4) throw EInvalidGraphic("Bitmap data is truncated");
  const uint32_t n = size[0] | (size[1] << 8) | (size[2] << 16) | (static_cast<uint32_t>(size[3]) << 24);
  if (n > static_cast<uint64_t>(std::max<int64_t>(Stream->Remaining(), 0)))
    throw EInvalidGraphic("Bitmap data of " + std::to_string(n) + " bytes exceeds the stream");
  ReadBmp(Stream, n);
}

void TBitmap::WriteData(TStream* Stream) {
  const int64_t at = Stream->GetPosition();
  Stream->WriteBuffer("\0\0\0\0", 4);
  SaveToStream(Stream);
  const int64_t end = Stream->GetPosition();
  const auto n = static_cast<uint32_t>(end - at - 4);
  const uint8_t size[4] = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
                           static_cast<uint8_t>(n >> 24)};
  Stream->SetPosition(at);
  Stream->WriteBuffer(size, 4);
  Stream->SetPosition(end);
}

void TBitmap::SaveToStream(TStream* Stream) {
  StreamSink sink(Stream);
  detail::WriteBmp(*store_, sink);
}

void TBitmap::Draw(TCanvas* ACanvas, const TRect& rect) {
  detail::PixelStore* dst = ACanvas ? ACanvas->Surface() : nullptr;
  if (!dst || dst->Empty() || store_->Empty()) return;
  if (dst == store_.get()) {  // drawing a bitmap onto itself: read from a copy
    TBitmap copy;
    copy.Assign(this);
    detail::Resample(*copy.store_, *dst, rect);
    return;
  }
  detail::Resample(*store_, *dst, rect);
}

}  // namespace vcl
