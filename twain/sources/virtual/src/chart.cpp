#include "chart.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <string>

namespace korven::virtualds {

namespace {

// Chart colours: indices 0..255 are neutral greys whose raw value is the index; the named colours
// of the colour bars follow.
enum : uint16_t {
  kYellow = 256, kCyan, kGreen, kMagenta, kRed, kBlue, kColourCount
};
constexpr uint16_t kPaper = kRawPaper;
constexpr uint16_t kInk = kRawInk;

Rgb RawColour(uint16_t index) {
  switch (index) {
    case kYellow: return {235, 225, 30};
    case kCyan: return {20, 170, 225};
    case kGreen: return {40, 160, 60};
    case kMagenta: return {210, 40, 140};
    case kRed: return {210, 35, 40};
    case kBlue: return {30, 50, 170};
    default: {
      uint8_t g = static_cast<uint8_t>(index);
      return {g, g, g};
    }
  }
}

enum class Kind { Rect, Ramp, VLines, HLines };

struct Elem {
  Kind kind;
  double x0, y0, x1, y1;  // inches
  uint16_t colour = kInk;
  double period = 0;      // line pairs: one line and one gap per period
};

void AddDigit(std::vector<Elem>& out, int digit, double x, double y, double w, double h, double t) {
  // Segments a..g of a seven-segment digit.
  static const uint8_t kSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
  const double mid = y + h / 2;
  const std::array<Elem, 7> seg = {{
      {Kind::Rect, x, y, x + w, y + t},                        // a
      {Kind::Rect, x + w - t, y, x + w, mid + t / 2},          // b
      {Kind::Rect, x + w - t, mid - t / 2, x + w, y + h},      // c
      {Kind::Rect, x, y + h - t, x + w, y + h},                // d
      {Kind::Rect, x, mid - t / 2, x + t, y + h},              // e
      {Kind::Rect, x, y, x + t, mid + t / 2},                  // f
      {Kind::Rect, x, mid - t / 2, x + w, mid + t / 2},        // g
  }};
  for (int s = 0; s < 7; ++s)
    if (kSegments[digit] & (1 << s)) out.push_back(seg[s]);
}

// The chart, in inches from the platen's top-left corner. Everything lies within 0.3..7.97 x
// 0.3..10.7, so an A4 or Letter frame shows all of it.
std::vector<Elem> BuildChart(int page) {
  std::vector<Elem> e;
  const double left = 0.6, right = 7.67, width = right - left;

  // Border.
  const double b0 = 0.3, b1 = 7.97, bt = 0.3, bb = 10.7, lw = 0.03;
  e.push_back({Kind::Rect, b0, bt, b1, bt + lw});
  e.push_back({Kind::Rect, b0, bb - lw, b1, bb});
  e.push_back({Kind::Rect, b0, bt, b0 + lw, bb});
  e.push_back({Kind::Rect, b1 - lw, bt, b1, bb});

  // Colour bars: white, yellow, cyan, green, magenta, red, blue, black.
  const uint16_t bars[8] = {kPaper, kYellow, kCyan, kGreen, kMagenta, kRed, kBlue, kInk};
  for (int i = 0; i < 8; ++i)
    e.push_back({Kind::Rect, left + width * i / 8, 0.6, left + width * (i + 1) / 8, 1.6, bars[i]});

  // Grey wedge: 16 steps from ink to paper; then a continuous ramp.
  for (int i = 0; i < 16; ++i) {
    uint16_t g = static_cast<uint16_t>(std::lround(kRawInk + (kRawPaper - kRawInk) * i / 15.0));
    e.push_back({Kind::Rect, left + width * i / 16, 1.8, left + width * (i + 1) / 16, 2.5, g});
  }
  e.push_back({Kind::Ramp, left, 2.6, right, 2.9});

  // Fine line groups at 10 to 150 line pairs per inch: vertical ones left, horizontal ones right.
  const double lpi[6] = {10, 20, 40, 60, 100, 150};
  for (int i = 0; i < 6; ++i) {
    double x = left + i * 0.65;
    e.push_back({Kind::VLines, x, 3.2, x + 0.55, 5.0, kInk, 1 / lpi[i]});
  }
  for (int i = 0; i < 6; ++i) {
    double x = 4.7 + i * 0.49;
    e.push_back({Kind::HLines, x, 3.2, x + 0.44, 5.0, kInk, 1 / lpi[i]});
  }

  // The page number, as big as fits between the line groups and the bottom of the border.
  std::string digits = std::to_string(std::max(page, 0));
  const int n = static_cast<int>(digits.size());
  const double gap = 0.2;
  double w = std::min(2.0, (width - 0.2) / (n + (n - 1) * gap));
  double h = std::min(4.0, 2 * w), t = w * 0.18;
  double x = (b0 + b1) / 2 - (n * w + (n - 1) * gap * w) / 2, y = 5.6;
  for (char d : digits) {
    AddDigit(e, d - '0', x, y, w, h, t);
    x += w * (1 + gap);
  }
  return e;
}

// Output for every chart colour: the bytes of a 24-bit pixel, the byte of an 8-bit one, the bit of a
// 1-bit one.
struct OutputTable {
  std::array<std::array<uint8_t, 3>, kColourCount> bgr;
  std::array<uint8_t, kColourCount> byte;
};

int Luma(Rgb c) { return (299 * c.r + 587 * c.g + 114 * c.b + 500) / 1000; }

uint8_t NearestPaletteIndex(const std::vector<Rgb>& table, int r, int g, int b) {
  int best = 0, bestDist = 1 << 30;
  for (size_t i = 0; i < table.size(); ++i) {
    int dr = table[i].r - r, dg = table[i].g - g, db = table[i].b - b;
    int d = dr * dr + dg * dg + db * db;
    if (d < bestDist) bestDist = d, best = static_cast<int>(i);
  }
  return static_cast<uint8_t>(best);
}

OutputTable MakeOutputTable(const RenderJob& job) {
  std::array<uint8_t, 256> lut;
  for (int v = 0; v < 256; ++v) lut[v] = ToneCurve(job.tone, v);
  const std::vector<Rgb> table = ColorTable(job.pixelType, job.shortTable);
  OutputTable out{};
  for (uint16_t i = 0; i < kColourCount; ++i) {
    Rgb raw = RawColour(i);
    uint8_t r = lut[raw.r], g = lut[raw.g], b = lut[raw.b];
    out.bgr[i] = {b, g, r};
    uint8_t grey = lut[Luma(raw)];
    switch (job.pixelType) {
      case TWPT_BW: out.byte[i] = grey >= job.tone.threshold ? 1 : 0; break;
      case TWPT_GRAY: out.byte[i] = job.shortTable ? static_cast<uint8_t>((grey * 15 + 127) / 255) : grey; break;
      case TWPT_PALETTE: out.byte[i] = NearestPaletteIndex(table, r, g, b); break;
      default: out.byte[i] = grey; break;
    }
  }
  return out;
}

// Writes one row from spans; every fill is a memset or a doubling memcpy.
class RowWriter {
 public:
  RowWriter(const RenderJob& job, const OutputTable& out) : out_(out), bpp_(BitsPerPixel(job.pixelType)) {}

  void Fill(uint8_t* row, int c0, int c1, uint16_t colour) const {
    if (c1 <= c0) return;
    const int n = c1 - c0;
    switch (bpp_) {
      case 8: std::memset(row + c0, out_.byte[colour], n); break;
      case 24: {
        uint8_t* p = row + size_t(c0) * 3;
        std::memcpy(p, out_.bgr[colour].data(), 3);
        size_t done = 1;
        while (done < size_t(n)) {
          size_t k = std::min(done, size_t(n) - done);
          std::memcpy(p + done * 3, p, k * 3);
          done += k;
        }
        break;
      }
      default: FillBits(row, c0, c1, out_.byte[colour] != 0); break;
    }
  }

  void Pixel(uint8_t* row, int c, uint16_t colour) const {
    switch (bpp_) {
      case 8: row[c] = out_.byte[colour]; break;
      case 24: std::memcpy(row + size_t(c) * 3, out_.bgr[colour].data(), 3); break;
      default: FillBits(row, c, c + 1, out_.byte[colour] != 0); break;
    }
  }

 private:
  static void FillBits(uint8_t* row, int c0, int c1, bool on) {
    // Leftmost pixel in the most significant bit.
    int b0 = c0 >> 3, b1 = (c1 - 1) >> 3;
    uint8_t first = static_cast<uint8_t>(0xFF >> (c0 & 7));
    uint8_t last = static_cast<uint8_t>(0xFF << (7 - ((c1 - 1) & 7)));
    auto apply = [&](int i, uint8_t mask) { row[i] = on ? (row[i] | mask) : (row[i] & ~mask); };
    if (b0 == b1) return apply(b0, first & last);
    apply(b0, first);
    if (b1 > b0 + 1) std::memset(row + b0 + 1, on ? 0xFF : 0x00, b1 - b0 - 1);
    apply(b1, last);
  }

  const OutputTable& out_;
  int bpp_;
};

}  // namespace

uint8_t ToneCurve(const Tone& t, int raw) {
  double v = raw;
  if (t.autoBright) v = (v - kRawInk) * 255.0 / (kRawPaper - kRawInk);
  v = (v - t.shadow) * 255.0 / std::max(t.highlight - t.shadow, 1.0);
  v = std::clamp(v, 0.0, 255.0);
  v = 255.0 * std::pow(v / 255.0, 2.2 / std::max(t.gamma, 0.01));
  v = 127.5 + (v - 127.5) * std::exp2(t.contrast / 250.0);
  v += t.brightness * 255.0 / 1000.0;
  return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 255.0)));
}

std::vector<Rgb> ColorTable(TW_UINT16 pixelType, bool shortTable) {
  std::vector<Rgb> t;
  switch (pixelType) {
    case TWPT_BW: t = {{0, 0, 0}, {255, 255, 255}}; break;
    case TWPT_GRAY:
      for (int i = 0, n = shortTable ? 16 : 256; i < n; ++i) {
        uint8_t g = static_cast<uint8_t>(i * 255 / (n - 1));
        t.push_back({g, g, g});
      }
      break;
    case TWPT_PALETTE:
      // A 6x6x6 colour cube, then 40 greys between its levels.
      for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
          for (int b = 0; b < 6; ++b)
            t.push_back({static_cast<uint8_t>(r * 51), static_cast<uint8_t>(g * 51), static_cast<uint8_t>(b * 51)});
      if (!shortTable)
        for (int i = 1; i <= 40; ++i) {
          uint8_t g = static_cast<uint8_t>(std::lround(i * 255.0 / 41));
          t.push_back({g, g, g});
        }
      break;
    default: break;
  }
  return t;
}

int BitsPerPixel(TW_UINT16 pixelType) { return BitDepthOf(pixelType); }

uint64_t RowBytes(int width, int bitsPerPixel) { return ((uint64_t(width) * bitsPerPixel + 31) / 32) * 4; }

void RenderChart(const RenderJob& job, uint8_t* bits, size_t stride) {
  const std::vector<Elem> chart = BuildChart(job.page);
  const OutputTable out = MakeOutputTable(job);
  const RowWriter writer(job, out);
  const int w = job.width, h = job.height;
  const double fx = job.frame.left, fy = job.frame.top;
  const double fw = std::max(job.frame.Width(), 1e-9), fh = std::max(job.frame.Height(), 1e-9);
  const uint64_t used = (uint64_t(w) * BitsPerPixel(job.pixelType) + 7) / 8;

  // Pixel c covers the platen around its centre fx + (c + 0.5) * fw / w; a span [x0, x1) covers the
  // pixels whose centres lie in it.
  auto col = [&](double x) {
    double c = std::ceil((x - fx) * w / fw - 0.5);
    return static_cast<int>(std::clamp(c, 0.0, double(w)));
  };
  auto centreX = [&](int c) { return fx + (c + 0.5) * fw / w; };

  // The rows each element spans, by the same centre rule as the columns; then a sweep down the
  // rows keeps the few elements under the current row in `live` (in chart order, which is paint order).
  auto firstRow = [&](double y) {
    double r = std::ceil((y - fy) * h / fh - 0.5);
    return static_cast<int>(std::clamp(r, 0.0, double(h)));
  };
  std::vector<int> r0(chart.size()), r1(chart.size());
  std::vector<uint16_t> order(chart.size());
  for (uint16_t i = 0; i < chart.size(); ++i) {
    r0[i] = firstRow(chart[i].y0), r1[i] = firstRow(chart[i].y1), order[i] = i;
  }
  std::sort(order.begin(), order.end(), [&](uint16_t a, uint16_t b) { return r0[a] < r0[b]; });
  std::vector<uint16_t> live;
  size_t next = 0;

  // Rows are identified by the elements that ink them; identical rows are copied, not drawn.
  std::map<std::vector<uint16_t>, const uint8_t*> drawn;
  std::vector<uint16_t> active, previous;
  const uint8_t* previousRow = nullptr;

  for (int r = 0; r < h; ++r) {
    uint8_t* row = bits + size_t(h - 1 - r) * stride;
    for (; next < order.size() && r0[order[next]] <= r; ++next)
      if (r1[order[next]] > r) live.insert(std::lower_bound(live.begin(), live.end(), order[next]), order[next]);
    std::erase_if(live, [&](uint16_t i) { return r1[i] <= r; });
    active.clear();
    for (uint16_t i : live) {
      const Elem& el = chart[i];
      if (el.kind == Kind::HLines) {
        const double t = (fy + (r + 0.5) * fh / h - el.y0) / el.period;
        if (t - std::floor(t) >= 0.5) continue;  // in the gap between two lines
      }
      active.push_back(i);
    }
    if (previousRow && active == previous) {
      std::memcpy(row, previousRow, stride);
      previousRow = row;
      continue;
    }
    if (auto it = drawn.find(active); it != drawn.end()) {
      std::memcpy(row, it->second, stride);
    } else {
      // Padding and the unused bits of a last partial byte stay zero.
      std::memset(row + used - 1, 0, stride - used + 1);
      writer.Fill(row, 0, w, kPaper);
      for (uint16_t i : active) {
        const Elem& el = chart[i];
        switch (el.kind) {
          case Kind::Rect:
          case Kind::HLines: writer.Fill(row, col(el.x0), col(el.x1), el.colour); break;
          case Kind::Ramp:
            for (int c = col(el.x0), end = col(el.x1); c < end; ++c) {
              double f = (centreX(c) - el.x0) / (el.x1 - el.x0);
              writer.Pixel(row, c, static_cast<uint16_t>(std::lround(kRawInk + f * (kRawPaper - kRawInk))));
            }
            break;
          case Kind::VLines:
            for (double x = el.x0; x < el.x1; x += el.period)
              writer.Fill(row, col(x), col(std::min(x + el.period / 2, el.x1)), el.colour);
            break;
        }
      }
      if (drawn.size() < 4096) drawn.emplace(active, row);
    }
    previous = active;
    previousRow = row;
  }
}

}  // namespace korven::virtualds
