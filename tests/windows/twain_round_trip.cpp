// twain_round_trip: a plain TWAIN application that scans with a named source through whatever
// TWAIN_32.DLL sits in the Windows directory, checks every page and writes it as a BMP file.
//
//   twain_round_trip [--source NAME] [--out DIR]
//
// The same program is built for Linux (run against korven's manager by CTest) and for 32-bit Windows
// (run under Wine against Wine's own twain_32.dll and against korven's TWAIN_32.DLL by
// scripts/test-windows.sh), so the pages of all runs can be compared byte for byte. It lists the
// sources, opens one by name, scans one grey 100 dpi page from the platen and then an RGB feeder
// batch, and checks each DIB against DAT_IMAGEINFO: geometry, bit depth, resolution, a palette for
// grey, and a chart that is not blank. Exit code 0 when everything held, 1 otherwise (each failure is
// written to standard error), 2 for a bad command line.
#include "twain_app.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using korven::test::GlobalBlock;
using korven::test::TwainApp;

int g_failures = 0;

void Fail(const std::string& what) {
  std::fprintf(stderr, "FAILED: %s\n", what.c_str());
  ++g_failures;
}

bool Check(bool ok, const std::string& what) {
  if (!ok) Fail(what);
  return ok;
}

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
void Put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(char(v >> (8 * i)));
}

TW_UINT32 Fix32(int whole) { return TW_UINT32(uint16_t(whole)); }  // Whole in the low half, Frac 0

// Checks one packed DIB against what the source announced and writes it to `path` as a BMP file.
void CheckAndWrite(GlobalBlock& dib, const TW_IMAGEINFO& info, int bitsPerPixel, int dpi, const std::string& path) {
  const auto* p = static_cast<const uint8_t*>(dib.Lock());
  size_t size = dib.Size();
  if (!Check(p && size >= 40, path + ": the DIB is not a lockable block of at least 40 bytes")) return;
  uint32_t headerSize = Le32(p), colours = Le32(p + 32);
  int32_t width = int32_t(Le32(p + 4)), height = int32_t(Le32(p + 8));
  int bits = Le16(p + 14);
  int32_t xPels = int32_t(Le32(p + 24)), yPels = int32_t(Le32(p + 28));
  Check(headerSize == 40, path + ": header size " + std::to_string(headerSize));
  Check(width == info.ImageWidth && height == info.ImageLength,
        path + ": " + std::to_string(width) + " x " + std::to_string(height) + " where the source announced " +
            std::to_string(info.ImageWidth) + " x " + std::to_string(info.ImageLength));
  Check(bits == bitsPerPixel && bits == info.BitsPerPixel, path + ": " + std::to_string(bits) + " bits per pixel");
  const int32_t pels = int32_t(dpi / 0.0254 + 0.5);
  Check(xPels == pels && yPels == pels, path + ": " + std::to_string(xPels) + " x " + std::to_string(yPels) +
                                            " pixels per metre for " + std::to_string(dpi) + " dpi");
  if (bits == 8) Check(colours == 0 || colours == 256, path + ": " + std::to_string(colours) + " palette entries");
  const size_t palette = bits <= 8 ? 4 * (colours ? colours : (1u << bits)) : 0;
  const size_t stride = (size_t(width) * bits + 31) / 32 * 4;
  const size_t pixels = 40 + palette;
  if (!Check(height > 0 && pixels + stride * size_t(height) <= size, path + ": the pixels do not fit the block"))
    return;
  // The chart has marks and tones: a blank page means the pixels never arrived.
  bool varied = false;
  for (size_t i = pixels + 1; i < pixels + stride * size_t(height) && !varied; ++i) varied = p[i] != p[pixels];
  Check(varied, path + ": the page is blank");

  std::string file = "BM";
  Put32(file, uint32_t(14 + size));
  Put32(file, 0);
  Put32(file, uint32_t(14 + pixels));
  file.append(reinterpret_cast<const char*>(p), size);
  std::ofstream out(path, std::ios::binary);
  out.write(file.data(), std::streamsize(file.size()));
  Check(bool(out), path + ": cannot be written");
}

// Enables the source without its dialog and takes every page it delivers; returns their number.
int ScanAll(TwainApp& app, int bitsPerPixel, int dpi, const std::string& prefix) {
  if (!Check(app.Enable(false) == TWRC_SUCCESS, prefix + ": MSG_ENABLEDS refused")) return 0;
  int pages = 0;
  if (Check(app.WaitForSourceEvent() == MSG_XFERREADY, prefix + ": no MSG_XFERREADY")) {
    for (TW_PENDINGXFERS pending{}; pages < 50;) {
      TW_IMAGEINFO info{};
      if (!Check(app.ImageInfo(info) == TWRC_SUCCESS, prefix + ": DAT_IMAGEINFO refused")) break;
      TW_HANDLE handle{};
      if (!Check(app.NativeXfer(handle) == TWRC_XFERDONE, prefix + ": the native transfer did not finish")) break;
      GlobalBlock dib(handle);
      ++pages;
      CheckAndWrite(dib, info, bitsPerPixel, dpi, prefix + "-" + std::to_string(pages) + ".bmp");
      if (!Check(app.EndXfer(pending) == TWRC_SUCCESS, prefix + ": MSG_ENDXFER refused") || pending.Count == 0) break;
    }
  }
  Check(app.Disable() == TWRC_SUCCESS, prefix + ": MSG_DISABLEDS refused");
  return pages;
}

}  // namespace

int main(int argc, char** argv) {
  std::string source = "Virtual Scanner", out = ".";
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--source" && i + 1 < argc) {
      source = argv[++i];
    } else if (arg == "--out" && i + 1 < argc) {
      out = argv[++i];
    } else {
      std::fprintf(stderr, "usage: twain_round_trip [--source NAME] [--out DIR]\n");
      return 2;
    }
  }

  TwainApp app("korven round trip");
  if (!Check(app.Loaded(), "TWAIN_32.DLL in the Windows directory does not load or exports no DSM_Entry")) return 1;
  if (!Check(app.OpenDSM() == TWRC_SUCCESS, "MSG_OPENDSM refused")) return 1;
  bool listed = false;
  for (const std::string& name : app.SourceNames()) {
    std::printf("source: %s\n", name.c_str());
    listed = listed || name == source;
  }
  Check(listed, "\"" + source + "\" is not listed");
  if (Check(app.OpenDS(source) == TWRC_SUCCESS, "MSG_OPENDS \"" + source + "\" refused")) {
    // One grey page from the platen at 100 dpi.
    Check(app.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY) == TWRC_SUCCESS, "ICAP_PIXELTYPE gray refused");
    Check(app.SetOneValue(ICAP_XRESOLUTION, TWTY_FIX32, Fix32(100)) == TWRC_SUCCESS, "ICAP_XRESOLUTION refused");
    Check(app.SetOneValue(ICAP_YRESOLUTION, TWTY_FIX32, Fix32(100)) == TWRC_SUCCESS, "ICAP_YRESOLUTION refused");
    Check(app.SetOneValue(CAP_FEEDERENABLED, TWTY_BOOL, 0) == TWRC_SUCCESS, "CAP_FEEDERENABLED off refused");
    int flatbed = ScanAll(app, 8, 100, out + "/flatbed");
    Check(flatbed == 1, "the platen gave " + std::to_string(flatbed) + " pages, not one");
    // Everything in the feeder, RGB at 50 dpi.
    Check(app.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_RGB) == TWRC_SUCCESS, "ICAP_PIXELTYPE rgb refused");
    Check(app.SetOneValue(ICAP_XRESOLUTION, TWTY_FIX32, Fix32(50)) == TWRC_SUCCESS, "ICAP_XRESOLUTION refused");
    Check(app.SetOneValue(ICAP_YRESOLUTION, TWTY_FIX32, Fix32(50)) == TWRC_SUCCESS, "ICAP_YRESOLUTION refused");
    Check(app.SetOneValue(CAP_FEEDERENABLED, TWTY_BOOL, 1) == TWRC_SUCCESS, "CAP_FEEDERENABLED on refused");
    int fed = ScanAll(app, 24, 50, out + "/feeder");
    Check(fed >= 2, "the feeder gave " + std::to_string(fed) + " pages");
    std::printf("pages: %d from the platen, %d from the feeder\n", flatbed, fed);
    Check(app.CloseDS() == TWRC_SUCCESS, "MSG_CLOSEDS refused");
  }
  Check(app.CloseDSM() == TWRC_SUCCESS, "MSG_CLOSEDSM refused");
  if (g_failures == 0) std::printf("round trip: ok\n");
  return g_failures == 0 ? 0 : 1;
}
