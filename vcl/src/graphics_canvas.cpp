// TCanvas: filling, pixels, resampled drawing and deterministic text metrics.
#include <vcl/Graphics.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <vector>

#include "graphics_store.h"

namespace vcl {

VCL_IMPLEMENT_CLASS(TCanvas, TPersistent)

TRect IntersectRect(const TRect& a, const TRect& b) {
  TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right), std::min(a.Bottom, b.Bottom)};
  if (r.IsEmpty()) return {};
  return r;
}

TCanvas::TCanvas() : brush_(std::make_unique<TBrush>()), font_(std::make_unique<TFont>()) {}
TCanvas::~TCanvas() = default;

void TCanvas::Changed() {
  if (OnChange) OnChange(this);
}

TRect TCanvas::GetClipRect() {
  detail::PixelStore* s = Surface();
  if (!s || s->Empty()) return {};
  return {0, 0, s->width, s->height};
}

TColor TCanvas::GetPixels(int x, int y) {
  detail::PixelStore* s = Surface();
  if (!s || s->Empty() || x < 0 || y < 0 || x >= s->width || y >= s->height) return clNone;
  uint32_t c = 0;
  detail::RowToColors(*s, s->Row(y), x, 1, &c);
  return static_cast<TColor>(c);
}

void TCanvas::SetPixels(int x, int y, TColor color) {
  detail::PixelStore* s = Surface();
  if (!s || s->Empty() || x < 0 || y < 0 || x >= s->width || y >= s->height) return;
  Changing();
  const uint32_t c = ColorToRGB(color);
  detail::ColorsToRow(*s, &c, x, 1, s->Row(y));
  Changed();
}

namespace {

bool HatchHit(TBrushStyle style, int x, int y) {
  switch (style) {
    case bsHorizontal: return (y & 7) == 0;
    case bsVertical: return (x & 7) == 0;
    case bsFDiagonal: return ((x - y) & 7) == 0;
    case bsBDiagonal: return ((x + y) & 7) == 0;
    case bsCross: return (x & 7) == 0 || (y & 7) == 0;
    case bsDiagCross: return ((x - y) & 7) == 0 || ((x + y) & 7) == 0;
    default: return true;
  }
}

}  // namespace

void TCanvas::FillRect(const TRect& rect) {
  detail::PixelStore* s = Surface();
  if (!s || s->Empty() || brush_->GetStyle() == bsClear) return;
  const TRect r = IntersectRect(rect, {0, 0, s->width, s->height});
  if (r.IsEmpty()) return;
  Changing();
  const uint32_t c = ColorToRGB(brush_->GetColor());
  const TBrushStyle style = brush_->GetStyle();
  if (style == bsSolid) {
    std::vector<uint32_t> line(static_cast<size_t>(r.Width()), c);
    for (int y = r.Top; y < r.Bottom; ++y) detail::ColorsToRow(*s, line.data(), r.Left, r.Width(), s->Row(y));
  } else {
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x)
        if (HatchHit(style, x, y)) detail::ColorsToRow(*s, &c, x, 1, s->Row(y));
  }
  Changed();
}

void TCanvas::Draw(int x, int y, TGraphic* graphic) {
  if (!graphic || graphic->GetEmpty()) return;
  StretchDraw(Bounds(x, y, graphic->GetWidth(), graphic->GetHeight()), graphic);
}

void TCanvas::StretchDraw(const TRect& rect, TGraphic* graphic) {
  if (!graphic || graphic->GetEmpty() || rect.IsEmpty()) return;
  detail::PixelStore* s = Surface();
  if (!s || s->Empty()) return;
  Changing();
  graphic->Draw(this, rect);
  Changed();
}

// ---- Resampling ---------------------------------------------------------------------------------

namespace detail {
namespace {

// The source pixels one destination pixel takes along one axis, with their weights (summing to 1).
struct Taps {
  int first = 0;
  std::vector<float> weights;
};

Taps AxisTaps(int u, int srcLen, int dstLen) {
  Taps t;
  if (srcLen == dstLen) {
    t.first = u;
    t.weights = {1.0f};
  } else if (srcLen > dstLen) {  // shrinking: average the covered source span
    const double scale = static_cast<double>(srcLen) / dstLen;
    const double a = u * scale, b = (u + 1) * scale;
    const int i0 = static_cast<int>(std::floor(a));
    const int i1 = std::min(srcLen, static_cast<int>(std::ceil(b)));
    t.first = i0;
    for (int i = i0; i < i1; ++i)
      t.weights.push_back(static_cast<float>((std::min(b, i + 1.0) - std::max(a, static_cast<double>(i))) / scale));
  } else {  // enlarging: bilinear between the two nearest pixel centres
    const double c = (u + 0.5) * srcLen / dstLen - 0.5;
    int i0 = static_cast<int>(std::floor(c));
    double f = c - i0;
    if (i0 < 0) {
      i0 = 0;
      f = 0;
    }
    if (i0 >= srcLen - 1) {
      i0 = srcLen - 1;
      f = 0;
    }
    t.first = i0;
    t.weights = {static_cast<float>(1 - f)};
    if (f > 0) t.weights.push_back(static_cast<float>(f));
  }
  return t;
}

inline uint32_t Pack(float r, float g, float b) {
  auto q = [](float v) { return static_cast<uint32_t>(std::clamp(v + 0.5f, 0.0f, 255.0f)); };
  return q(r) | (q(g) << 8) | (q(b) << 16);
}

}  // namespace

// Draws `src` scaled into `rect` of `dst` (clipped to dst). Source rows are converted and
// resampled horizontally once each, then combined vertically.
void Resample(const PixelStore& src, PixelStore& dst, const TRect& rect) {
  const int sw = src.width, sh = src.height, dw = rect.Width(), dh = rect.Height();
  const TRect vis = IntersectRect(rect, {0, 0, dst.width, dst.height});
  if (vis.IsEmpty() || sw <= 0 || sh <= 0) return;
  const int vw = vis.Width();

  std::vector<Taps> cols(static_cast<size_t>(vw));
  for (int i = 0; i < vw; ++i) cols[static_cast<size_t>(i)] = AxisTaps(vis.Left + i - rect.Left, sw, dw);

  std::vector<uint32_t> srcColors(static_cast<size_t>(sw));
  std::deque<std::pair<int, std::vector<float>>> cache;  // horizontally resampled rows, ascending
  auto row = [&](int sy) -> const std::vector<float>& {
    for (auto& e : cache)
      if (e.first == sy) return e.second;
    RowToColors(src, src.Row(sy), 0, sw, srcColors.data());
    std::vector<float> out(static_cast<size_t>(3 * vw));
    for (int i = 0; i < vw; ++i) {
      const Taps& t = cols[static_cast<size_t>(i)];
      float r = 0, g = 0, b = 0;
      for (size_t k = 0; k < t.weights.size(); ++k) {
        const uint32_t c = srcColors[static_cast<size_t>(t.first) + k];
        const float w = t.weights[k];
        r += w * static_cast<float>(c & 0xFF);
        g += w * static_cast<float>((c >> 8) & 0xFF);
        b += w * static_cast<float>((c >> 16) & 0xFF);
      }
      out[3 * static_cast<size_t>(i)] = r;
      out[3 * static_cast<size_t>(i) + 1] = g;
      out[3 * static_cast<size_t>(i) + 2] = b;
    }
    cache.emplace_back(sy, std::move(out));
    return cache.back().second;
  };

  std::vector<float> acc(static_cast<size_t>(3 * vw));
  std::vector<uint32_t> outColors(static_cast<size_t>(vw));
  for (int y = vis.Top; y < vis.Bottom; ++y) {
    const Taps t = AxisTaps(y - rect.Top, sh, dh);
    while (!cache.empty() && cache.front().first < t.first) cache.pop_front();
    std::fill(acc.begin(), acc.end(), 0.0f);
    for (size_t k = 0; k < t.weights.size(); ++k) {
      const std::vector<float>& h = row(t.first + static_cast<int>(k));
      const float w = t.weights[k];
      for (size_t i = 0; i < acc.size(); ++i) acc[i] += w * h[i];
    }
    for (int i = 0; i < vw; ++i)
      outColors[static_cast<size_t>(i)] =
          Pack(acc[3 * static_cast<size_t>(i)], acc[3 * static_cast<size_t>(i) + 1], acc[3 * static_cast<size_t>(i) + 2]);
    ColorsToRow(dst, outColors.data(), vis.Left, vw, dst.Row(y));
  }
}

}  // namespace detail

// ---- Text ---------------------------------------------------------------------------------------

namespace {

int CharUnits(unsigned char c) {  // twentieths of an em
  if (std::strchr("ijlI!|.,:;' ftr", c) && c) return 6;
  if (std::strchr("mwMW@%", c) && c) return 16;
  if (c >= 'A' && c <= 'Z') return 13;
  if (c >= '0' && c <= '9') return 11;
  return 10;
}

}  // namespace

TSize TCanvas::TextExtent(const std::string& text) {
  const int em = std::abs(font_->GetHeight());
  const bool bold = font_->GetStyle().Contains(fsBold);
  int64_t units = 0, chars = 0;
  const char* p = text.c_str();
  const char* end = p + text.size();
  while (p < end) {
    const char* next = *p ? CharNextA(p) : p + 1;
    if (next <= p) next = p + 1;
    if (next > end) next = end;
    units += (next - p) > 1 ? 20 : CharUnits(static_cast<unsigned char>(*p));
    ++chars;
    p = next;
  }
  TSize size;
  size.cx = static_cast<int32_t>((units * em + 10) / 20 + (bold ? chars : 0));
  size.cy = (6 * em + 2) / 5;
  return size;
}

void TCanvas::TextOut(int x, int y, const std::string& text) {
  const TSize e = TextExtent(text);
  FillRect(Bounds(x, y, e.cx, e.cy));
  penPos_ = {x + e.cx, y};
}

}  // namespace vcl
