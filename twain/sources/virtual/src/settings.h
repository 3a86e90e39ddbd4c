// What one connection has negotiated: the values behind the capabilities and the image layout.
// Lengths are kept in inches and resolutions in dots per inch, whatever ICAP_UNITS says; the current
// unit only matters where a length crosses the interface (UnitsPerInch).
#ifndef KORVEN_VIRTUAL_SETTINGS_H
#define KORVEN_VIRTUAL_SETTINGS_H

#include "config.h"

namespace korven::virtualds {

struct Frame {
  double left = 0, top = 0, right = 0, bottom = 0;  // inches from the platen's top-left corner
  double Width() const { return right - left; }
  double Height() const { return bottom - top; }
};

struct Settings {
  TW_UINT16 xferMech = TWSX_NATIVE;
  TW_UINT16 pixelType = TWPT_RGB;
  TW_UINT16 units = TWUN_INCHES;
  double xResolution = 300, yResolution = 300;
  double xScaling = 1, yScaling = 1;
  double brightness = 0, contrast = 0, gamma = 2.2, highlight = 255, shadow = 0, threshold = 128;
  bool autoBright = false, indicators = true, feederEnabled = false, autoFeed = false;
  int xferCount = -1;  // -1: as many as the device has
  TW_UINT16 supportedSize = TWSS_NONE;
  Frame frame;
  // Pages still in the feeder while enabled with the feeder on; -1 otherwise (a full stack waits).
  int feederPagesLeft = -1;
};

// The settings a fresh connection starts with (and MSG_RESET returns to).
inline Settings DefaultSettings(const Config& c) {
  Settings s;
  s.xResolution = s.yResolution = c.defaultResolution;
  s.frame = Frame{0, 0, c.platenWidth, c.platenHeight};
  return s;
}

inline int BitDepthOf(TW_UINT16 pixelType) {
  switch (pixelType) {
    case TWPT_BW: return 1;
    case TWPT_GRAY: return 8;
    case TWPT_PALETTE: return 8;
    default: return 24;
  }
}

// How many of the unit make one inch along an axis; the pixel unit follows that axis's resolution.
inline double UnitsPerInch(TW_UINT16 units, bool xAxis, const Settings& s) {
  switch (units) {
    case TWUN_CENTIMETERS: return 2.54;
    case TWUN_PICAS: return 6;
    case TWUN_POINTS: return 72;
    case TWUN_TWIPS: return 1440;
    case TWUN_PIXELS: return xAxis ? s.xResolution : s.yResolution;
    default: return 1;
  }
}

}  // namespace korven::virtualds

#endif
