#include "console.h"

#include <korven/platform.h>
#include <unistd.h>

#include <chrono>
#include <cmath>

namespace korven::scan {

namespace {

// Diagnostics arrive with Windows line ends; the terminal gets one prefixed line each.
void ForEachLine(const std::string& text, const auto& fn) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty()) fn(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
}

std::string Dpi(double v) {
  char buf[32];
  if (std::fabs(v - std::round(v)) < 0.005) std::snprintf(buf, sizeof buf, "%.0f", v);
  else std::snprintf(buf, sizeof buf, "%.2f", v);
  return buf;
}

}  // namespace

Console::Console(bool quiet, bool verbose, bool meter, std::FILE* err)
    : quiet_(quiet), verbose_(verbose), meter_(meter), err_(err) {
  terminal_ = isatty(fileno(err));
}

void Console::Meter(const std::string& text, bool force) {
  if (!meter_) return;
  double now = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
  if (!force && lastMeter_ >= 0 && now - lastMeter_ < (terminal_ ? 0.2 : 1.0)) return;
  lastMeter_ = now;
  if (terminal_) {
    std::fprintf(err_, "\r\033[Kkorven-scan: %s", text.c_str());
    meterShowing_ = true;
  } else {
    std::fprintf(err_, "korven-scan: %s\n", text.c_str());
  }
  std::fflush(err_);
}

void Console::EndMeterLine() {
  if (!meterShowing_) return;
  std::fprintf(err_, "\r\033[K");
  meterShowing_ = false;
}

Console::~Console() {
  if (capturing_) korven::platform::SetDebugSink(nullptr);
}

void Console::Progress(const std::string& line) {
  if (quiet_) return;
  EndMeterLine();
  std::fprintf(err_, "korven-scan: %s\n", line.c_str());
  std::fflush(err_);
}

void Console::Warning(const std::string& line) {
  EndMeterLine();
  std::fprintf(err_, "korven-scan: warning: %s\n", line.c_str());
}

void Console::Note(const std::string& line) {
  EndMeterLine();
  std::fprintf(err_, "korven-scan: %s\n", line.c_str());
}

void Console::Error(const std::string& line) {
  EndMeterLine();
  std::fprintf(err_, "korven-scan: %s\n", line.c_str());
}

void Console::CaptureDiagnostics() {
  capturing_ = true;
  korven::platform::SetDebugSink([this](const std::string& text) {
    bool first = true;
    ForEachLine(text, [&](const std::string& line) {
      if (first) last_ = line;
      first = false;
      if (verbose_) std::fprintf(err_, "korven-scan: [component] %s\n", line.c_str());
    });
  });
}

bool PersonAtTerminal() { return isatty(STDIN_FILENO) && isatty(STDERR_FILENO); }

std::string DescribePixels(const vcl::TBitmap& bitmap) {
  try {
    PageView page(bitmap);
    switch (page.Kind()) {
      case PageKind::Bilevel: return "1-bit black and white";
      case PageKind::Gray: return std::to_string(page.IndexBits()) + "-bit gray";
      case PageKind::Palette: return std::to_string(page.IndexBits()) + "-bit palette";
      case PageKind::Rgb: break;
    }
  } catch (const OutputError&) {
    return "no pixels";
  }
  switch (bitmap.GetPixelFormat()) {
    case vcl::pf15bit:
    case vcl::pf16bit: return "16-bit RGB";
    case vcl::pf32bit: return "32-bit RGB";
    default: return "24-bit RGB";
  }
}

std::string PageLine(int page, const vcl::TBitmap& bitmap, double seconds) {
  std::string line = "page " + std::to_string(page) + ": " + std::to_string(bitmap.GetWidth()) + " x " +
                     std::to_string(bitmap.GetHeight()) + " px, ";
  Resolution res = ResolutionOf(bitmap);
  if (res.Known()) line += (std::fabs(res.x - res.y) < 0.005 ? Dpi(res.x) : Dpi(res.x) + " x " + Dpi(res.y)) + " dpi, ";
  char secs[32];
  std::snprintf(secs, sizeof secs, "%.2f s", seconds);
  return line + DescribePixels(bitmap) + ", " + secs;
}

}  // namespace korven::scan
