// One open SANE device seen as a TWAIN source's capabilities: what each capability offers, mapped
// from the device's options by their well-known names, and how MSG_SET / MSG_RESET change those
// options. Sequence checks and the containers' memory live in connection.cpp and the shared
// containers; this layer only knows values.
//
// Mapping (README.md tells the details): ICAP_XRESOLUTION/YRESOLUTION from `x-resolution`,
// `y-resolution` or `resolution`; ICAP_PIXELTYPE from `mode` (lineart and halftone are BW, grey is
// GRAY, colour is RGB, matched without regard to case or wording; a grey mode with depth 1 stands in
// for BW when the device has no lineart mode); ICAP_BITDEPTH from `depth` (bits per pixel: the depth
// times three in colour); the frame from `tl-x tl-y br-x br-y` in millimetres or pixels; brightness,
// contrast, threshold, gamma, highlight and shadow from the options of those names, their ranges
// scaled linearly onto TWAIN's; the feeder from `source`.
#ifndef KORVEN_SANE_DEVICE_H
#define KORVEN_SANE_DEVICE_H

#include "containers.h"
#include "options.h"
#include "sane_api.h"

#include <korven/twainh.h>

#include <map>
#include <string>
#include <vector>

namespace korven::saneds {

using ds::CapValue;

struct Outcome {
  TW_UINT16 rc = TWRC_SUCCESS;
  TW_UINT16 cc = TWCC_SUCCESS;
};

// A frame in inches from the top-left corner of the scan area.
struct Frame {
  double left = 0, top = 0, right = 0, bottom = 0;
};

class Device {
 public:
  // Takes over an open handle (closed by the destructor). Remembers the options' values as the
  // defaults, and settles the quirks that make a device's state undefined (an "Auto" source, a
  // value outside its own constraint).
  Device(SANE_Handle handle, std::string name);
  ~Device();
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  SANE_Handle Handle() const { return options_.Handle(); }
  const std::string& Name() const { return name_; }

  // Every capability the device answers, ascending (CAP_SUPPORTEDCAPS).
  std::vector<TW_UINT16> SupportedCaps();
  // The capability's answer now; a failure carries TWCC_CAPUNSUPPORTED (the device lacks it) or
  // TWCC_CAPSEQERROR (its option is inactive in the current settings).
  Outcome Describe(TW_UINT16 cap, CapValue& out);
  // MSG_SET: the value is brought within the device's range and read back; TWRC_CHECKSTATUS when
  // what the device holds differs from what was asked.
  Outcome Set(TW_UINT16 cap, TW_UINT16 itemType, double value);
  // MSG_RESET: back to the value the device had when it was opened.
  Outcome Reset(TW_UINT16 cap);

  // The scan frame in the current unit (DAT_IMAGELAYOUT, ICAP_FRAMES).
  Outcome GetFrame(TW_FRAME& frame, bool deflt);
  Outcome SetFrame(const TW_FRAME& frame);
  Outcome ResetFrame();

  bool HasFeeder();
  bool FeederEnabled();
  long XferCount() const { return xferCount_; }
  // X and Y resolution in dots per inch now (0 when the device has none).
  double Resolution(bool xAxis);
  // A few lines for the source's dialog: mode, depth, resolution, source, area.
  std::string Summary();

 private:
  struct Scale;
  int Option(const char* name);
  int ResolutionOption(bool xAxis);
  int ToneOption(TW_UINT16 cap, Scale& scale);
  TW_UINT16 PixelType();
  std::vector<TW_UINT16> PixelTypes();
  std::vector<int> Depths();  // the `depth` values the device offers now (all when it has no list)
  std::vector<double> BitDepths();
  int BitDepth();
  Outcome SetPixelType(TW_UINT16 type);
  Outcome SetBitDepth(int bits);
  Outcome SetFeeder(bool on);
  std::string ModeFor(TW_UINT16 type);
  bool SyntheticBw();
  double UnitsPerInch(bool xAxis);
  double OptionUnitsPerInch(int option, bool xAxis);
  bool Platen(double& width, double& height);
  Outcome SetFrameInches(const Frame& f);
  bool GetFrameInches(Frame& f, bool deflt);

  OptionSet options_;
  std::string name_;
  std::map<std::string, double> defaultNumbers_;
  std::map<std::string, std::string> defaultStrings_;
  TW_UINT16 units_ = TWUN_INCHES;
  long xferCount_ = -1;
  bool indicators_ = true, autoFeed_ = false;
  TW_UINT16 supportedSize_ = TWSS_NONE;
};

// "lineart", "Halftone", "Black & White" -> TWPT_BW; "Gray", "True Grey" -> TWPT_GRAY; "Color",
// "24bit Colour", "RGB" -> TWPT_RGB; 0xFFFF for anything else.
TW_UINT16 ClassifyMode(const std::string& mode);
enum class SourceKind { Flatbed, Feeder, Auto, Other };
// "ADF", "ADF Duplex", "Automatic Document Feeder" -> Feeder; "Auto", "Automatic" -> Auto (it picks
// a source by itself, undefined); "Flatbed", "Platen", "Normal" -> Flatbed.
SourceKind ClassifySource(const std::string& source);

}  // namespace korven::saneds

#endif
