// Formats by extension, page-number names, resolutions and the normalised rows of a page.
#include "image_writer.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

namespace korven::scan {

namespace {

std::string LowerExtension(const std::string& path) {
  size_t slash = path.find_last_of('/');
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

// Finds the page-number conversion: its position and length, or npos. Fills reason when the name
// holds a conversion that is not allowed.
size_t FindConversion(const std::string& name, size_t& length, std::string* reason) {
  size_t found = std::string::npos;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] != '%') continue;
    if (i + 1 < name.size() && name[i + 1] == '%') {
      ++i;
      continue;
    }
    size_t j = i + 1;
    if (j < name.size() && name[j] == '0') {
      ++j;
      if (j < name.size() && name[j] >= '1' && name[j] <= '9') ++j;
      else j = std::string::npos;
    }
    if (j == std::string::npos || j >= name.size() || name[j] != 'd') {
      if (reason) *reason = "only %d or %0Nd (N from 1 to 9) may stand for the page number; write %% for a '%'";
      return std::string::npos;
    }
    if (found != std::string::npos) {
      if (reason) *reason = "the name holds more than one page number";
      return std::string::npos;
    }
    found = i;
    length = j + 1 - i;
    i = j;
  }
  return found;
}

bool IsGrey(vcl::TColor c) { return vcl::GetRValue(c) == vcl::GetGValue(c) && vcl::GetGValue(c) == vcl::GetBValue(c); }

}  // namespace

std::optional<ImageFormat> FormatForPath(const std::string& path) {
  std::string ext = LowerExtension(path);
  if (ext == "bmp") return ImageFormat::Bmp;
  if (ext == "png") return ImageFormat::Png;
  if (ext == "jpg" || ext == "jpeg") return ImageFormat::Jpeg;
  if (ext == "tif" || ext == "tiff") return ImageFormat::Tiff;
  if (ext == "pdf") return ImageFormat::Pdf;
  if (ext == "pnm" || ext == "pgm" || ext == "ppm" || ext == "pbm") return ImageFormat::Pnm;
  return std::nullopt;
}

const char* FormatName(ImageFormat format) {
  switch (format) {
    case ImageFormat::Bmp: return "BMP";
    case ImageFormat::Png: return "PNG";
    case ImageFormat::Jpeg: return "JPEG";
    case ImageFormat::Tiff: return "TIFF";
    case ImageFormat::Pdf: return "PDF";
    case ImageFormat::Pnm: return "PNM";
  }
  return "?";
}

bool HoldsManyPages(ImageFormat format) { return format == ImageFormat::Tiff || format == ImageFormat::Pdf; }

std::string CheckNamePattern(const std::string& name) {
  std::string reason;
  size_t length = 0;
  FindConversion(name, length, &reason);
  return reason;
}

bool HasPageNumber(const std::string& name) {
  size_t length = 0;
  return FindConversion(name, length, nullptr) != std::string::npos;
}

std::string PageFileName(const std::string& pattern, int page) {
  size_t length = 0;
  size_t at = FindConversion(pattern, length, nullptr);
  std::string out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (i == at) {
      int width = length == 4 ? pattern[i + 2] - '0' : 0;
      std::string digits = std::to_string(page);
      if (static_cast<int>(digits.size()) < width) digits.insert(0, width - digits.size(), '0');
      out += digits;
      i += length - 1;
    } else if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == '%') {
      out += '%';
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

Resolution ResolutionOf(const vcl::TBitmap& bitmap) {
  auto dpi = [](int ppm) {
    if (ppm <= 0) return 0.0;
    double d = ppm * 0.0254;
    double whole = std::round(d);
    return std::fabs(d - whole) < 0.02 ? whole : d;
  };
  return {dpi(bitmap.GetXPelsPerMeter()), dpi(bitmap.GetYPelsPerMeter())};
}

// ---- PageView -----------------------------------------------------------------------------------

PageView::PageView(const vcl::TBitmap& bitmap) : bitmap_(&bitmap) {
  if (bitmap.GetEmpty() || bitmap.GetWidth() <= 0 || bitmap.GetHeight() <= 0)
    throw OutputError("the page is empty");
  width_ = bitmap.GetWidth();
  height_ = bitmap.GetHeight();
  switch (bitmap.GetPixelFormat()) {
    case vcl::pf1bit: indexBits_ = 1; break;
    case vcl::pf4bit: indexBits_ = 4; break;
    case vcl::pf8bit: indexBits_ = 8; break;
    case vcl::pfDevice:
    case vcl::pf24bit: kind_ = PageKind::Rgb; return;
    case vcl::pf15bit:
    case vcl::pf16bit:
    case vcl::pf32bit:
      // Rare from a scanner; RgbRow converts each row as it is asked for, so no copy is made.
      directFormat_ = bitmap.GetPixelFormat();
      kind_ = PageKind::Rgb;
      return;
    default: throw OutputError("the page has a pixel format no file format can take");
  }
  palette_ = bitmap.GetPalette();
  palette_.resize(size_t(1) << indexBits_, vcl::clBlack);
  bool allGrey = std::all_of(palette_.begin(), palette_.end(), IsGrey);
  auto bw = [](vcl::TColor c) { return vcl::ColorToRGB(c) == 0 || vcl::ColorToRGB(c) == 0xFFFFFF; };
  if (indexBits_ == 1 && bw(palette_[0]) && bw(palette_[1]) && palette_[0] != palette_[1]) {
    kind_ = PageKind::Bilevel;
    whiteIsZero_ = vcl::ColorToRGB(palette_[0]) == 0xFFFFFF;
    grey_[0] = whiteIsZero_ ? 255 : 0;
    grey_[1] = whiteIsZero_ ? 0 : 255;
  } else if (allGrey) {
    kind_ = PageKind::Gray;
    for (size_t i = 0; i < palette_.size(); ++i) grey_[i] = vcl::GetRValue(palette_[i]);
  } else {
    kind_ = PageKind::Palette;
  }
}

void PageView::BilevelRow(int y, uint8_t* out) const {
  Taken(y);
  const auto* row = static_cast<const uint8_t*>(bitmap_->ScanLine(y));
  size_t bytes = (size_t(width_) + 7) / 8;
  for (size_t i = 0; i < bytes; ++i) out[i] = whiteIsZero_ ? uint8_t(~row[i]) : row[i];
  if (width_ % 8) out[bytes - 1] &= uint8_t(0xFF << (8 - width_ % 8));
}

void PageView::GrayRow(int y, uint8_t* out) const {
  Taken(y);
  const auto* row = static_cast<const uint8_t*>(bitmap_->ScanLine(y));
  switch (indexBits_) {
    case 1:
      for (int x = 0; x < width_; ++x) out[x] = grey_[(row[x >> 3] >> (7 - (x & 7))) & 1];
      break;
    case 4:
      for (int x = 0; x < width_; ++x) out[x] = grey_[(row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15];
      break;
    default:
      for (int x = 0; x < width_; ++x) out[x] = grey_[row[x]];
  }
}

void PageView::IndexRow(int y, uint8_t* out) const {
  Taken(y);
  const auto* row = static_cast<const uint8_t*>(bitmap_->ScanLine(y));
  std::memcpy(out, row, (size_t(width_) * indexBits_ + 7) / 8);
}

void PageView::RgbRow(int y, uint8_t* out) const {
  Taken(y);
  const auto* row = static_cast<const uint8_t*>(bitmap_->ScanLine(y));
  if (directFormat_ == vcl::pf32bit) {
    for (int x = 0; x < width_; ++x) {
      out[3 * x] = row[4 * x + 2];
      out[3 * x + 1] = row[4 * x + 1];
      out[3 * x + 2] = row[4 * x];
    }
    return;
  }
  if (directFormat_ == vcl::pf15bit || directFormat_ == vcl::pf16bit) {
    // 5-5-5 or 5-6-5, little-endian; each field widened to 8 bits with its top bits repeated.
    const bool six = directFormat_ == vcl::pf16bit;
    for (int x = 0; x < width_; ++x) {
      unsigned v = unsigned(row[2 * x]) | (unsigned(row[2 * x + 1]) << 8);
      unsigned r = six ? (v >> 11) & 31 : (v >> 10) & 31;
      unsigned g = six ? (v >> 5) & 63 : (v >> 5) & 31;
      unsigned b = v & 31;
      out[3 * x] = uint8_t((r << 3) | (r >> 2));
      out[3 * x + 1] = six ? uint8_t((g << 2) | (g >> 4)) : uint8_t((g << 3) | (g >> 2));
      out[3 * x + 2] = uint8_t((b << 3) | (b >> 2));
    }
    return;
  }
  if (indexBits_ == 0) {
    for (int x = 0; x < width_; ++x) {
      out[3 * x] = row[3 * x + 2];
      out[3 * x + 1] = row[3 * x + 1];
      out[3 * x + 2] = row[3 * x];
    }
    return;
  }
  for (int x = 0; x < width_; ++x) {
    unsigned index = indexBits_ == 8   ? row[x]
                     : indexBits_ == 4 ? (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15
                                       : (row[x >> 3] >> (7 - (x & 7))) & 1;
    vcl::TColor c = palette_[index];
    out[3 * x] = vcl::GetRValue(c);
    out[3 * x + 1] = vcl::GetGValue(c);
    out[3 * x + 2] = vcl::GetBValue(c);
  }
}

}  // namespace korven::scan
