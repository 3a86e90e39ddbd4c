#include "capabilities.h"

#include <algorithm>
#include <cmath>

namespace korven::virtualds {

namespace {

struct RangeLimits {
  double min, max, step, deflt;
};

// The usual limits of the tone settings. Brightness and contrast follow the standard's -1000..1000.
constexpr RangeLimits kBrightness{-1000, 1000, 1, 0};
constexpr RangeLimits kContrast{-1000, 1000, 1, 0};
constexpr RangeLimits kGamma{0.1, 10, 0.1, 2.2};
constexpr RangeLimits kHighlight{0, 255, 1, 255};
constexpr RangeLimits kShadow{0, 255, 1, 0};
constexpr RangeLimits kThreshold{0, 255, 1, 128};
constexpr RangeLimits kScaling{0.1, 10, 0.01, 1};

constexpr double kEpsilon = 1.0 / 65536;

bool IsIntegerType(TW_UINT16 t) { return t <= TWTY_UINT32; }

CapValue Range(const RangeLimits& r, double current) {
  CapValue v;
  v.itemType = TWTY_FIX32;
  v.conType = TWON_RANGE;
  v.min = r.min, v.max = r.max, v.step = r.step, v.deflt = r.deflt, v.current = current;
  return v;
}

CapValue Resolution(const Config& c, double current) {
  if (c.resolutionIsList) return ds::Enumeration(TWTY_FIX32, c.resolutionList, current, c.defaultResolution);
  return Range({c.resolutionMin, c.resolutionMax, c.resolutionStep, c.defaultResolution}, current);
}

// Brings a value into a range: clamped to the limits, rounded to the grid when the step is whole.
Outcome FitRange(const RangeLimits& r, double value, double& field) {
  double v = std::clamp(value, r.min, r.max);
  if (r.step >= 1 && std::floor(r.step) == r.step) v = r.min + std::round((v - r.min) / r.step) * r.step;
  field = v;
  if (std::fabs(v - value) > kEpsilon) return {TWRC_CHECKSTATUS, TWCC_SUCCESS};
  return {};
}

Outcome FitResolution(const Config& c, double value, double& field) {
  if (!c.resolutionIsList)
    return FitRange({c.resolutionMin, c.resolutionMax, c.resolutionStep, c.defaultResolution}, value, field);
  double best = c.resolutionList.front();
  for (double r : c.resolutionList)
    if (std::fabs(r - value) < std::fabs(best - value)) best = r;
  field = best;
  if (std::fabs(best - value) > kEpsilon) return {TWRC_CHECKSTATUS, TWCC_SUCCESS};
  return {};
}

constexpr Outcome kBadValue{TWRC_FAILURE, TWCC_BADVALUE};
constexpr Outcome kReadOnly{TWRC_FAILURE, TWCC_CAPBADOPERATION};

}  // namespace

std::vector<TW_UINT16> SupportedSizes(const Config& c) { return ds::SizesThatFit(c.platenWidth, c.platenHeight); }

namespace {

const TW_UINT16 kAllCaps[] = {
    CAP_XFERCOUNT,       ICAP_PIXELTYPE,         ICAP_UNITS,           ICAP_XFERMECH,
    CAP_FEEDERENABLED,   CAP_FEEDERLOADED,       CAP_SUPPORTEDCAPS,    CAP_AUTOFEED,
    CAP_INDICATORS,      CAP_UICONTROLLABLE,     ICAP_AUTOBRIGHT,      ICAP_BRIGHTNESS,
    ICAP_CONTRAST,       ICAP_GAMMA,             ICAP_HIGHLIGHT,       ICAP_PHYSICALWIDTH,
    ICAP_PHYSICALHEIGHT, ICAP_SHADOW,            ICAP_XNATIVERESOLUTION, ICAP_YNATIVERESOLUTION,
    ICAP_XRESOLUTION,    ICAP_YRESOLUTION,       ICAP_SUPPORTEDSIZES,  ICAP_THRESHOLD,
    ICAP_XSCALING,       ICAP_YSCALING,          ICAP_BITDEPTH};

// Whether this device has `cap`, given that the source knows it at all (one of kAllCaps).
bool Offered(const Config& c, TW_UINT16 cap) {
  if (c.unsupported.count(cap)) return false;
  if (!c.feeder && (cap == CAP_FEEDERENABLED || cap == CAP_FEEDERLOADED || cap == CAP_AUTOFEED)) return false;
  if (!c.physicalSize && (cap == ICAP_PHYSICALWIDTH || cap == ICAP_PHYSICALHEIGHT)) return false;
  return true;
}

}  // namespace

std::vector<TW_UINT16> SupportedCaps(const Config& c) {
  std::vector<TW_UINT16> out;
  for (TW_UINT16 cap : kAllCaps)
    if (Offered(c, cap)) out.push_back(cap);
  std::sort(out.begin(), out.end());
  return out;
}

bool IsSupported(const Config& c, TW_UINT16 cap) {
  // Asked on every capability call: no list is built for it.
  return std::find(std::begin(kAllCaps), std::end(kAllCaps), cap) != std::end(kAllCaps) && Offered(c, cap);
}

bool DescribeCap(const Config& c, const Settings& s, TW_UINT16 cap, CapValue& out) {
  if (!IsSupported(c, cap)) return false;
  const Settings d = DefaultSettings(c);
  switch (cap) {
    case ICAP_XFERMECH: out = ds::Enumeration(TWTY_UINT16, {TWSX_NATIVE}, s.xferMech, TWSX_NATIVE); break;
    case ICAP_PIXELTYPE:
      out = ds::Enumeration(TWTY_UINT16, {TWPT_BW, TWPT_GRAY, TWPT_RGB, TWPT_PALETTE}, s.pixelType, d.pixelType);
      break;
    case ICAP_BITDEPTH: {
      // The depths on offer depend on the pixel type, as the standard has it.
      double depth = BitDepthOf(s.pixelType);
      out = ds::Enumeration(TWTY_UINT16, {depth}, depth, depth);
      break;
    }
    case ICAP_UNITS:
      out = ds::Enumeration(TWTY_UINT16, {TWUN_INCHES, TWUN_CENTIMETERS, TWUN_PICAS, TWUN_POINTS, TWUN_TWIPS, TWUN_PIXELS},
                 s.units, d.units);
      break;
    case ICAP_XRESOLUTION: out = Resolution(c, s.xResolution); break;
    case ICAP_YRESOLUTION: out = Resolution(c, s.yResolution); break;
    case ICAP_XSCALING: out = Range(kScaling, s.xScaling); break;
    case ICAP_YSCALING: out = Range(kScaling, s.yScaling); break;
    case ICAP_BRIGHTNESS: out = Range(kBrightness, s.brightness); break;
    case ICAP_CONTRAST: out = Range(kContrast, s.contrast); break;
    case ICAP_GAMMA: out = Range(kGamma, s.gamma); break;
    case ICAP_HIGHLIGHT: out = Range(kHighlight, s.highlight); break;
    case ICAP_SHADOW: out = Range(kShadow, s.shadow); break;
    case ICAP_THRESHOLD: out = Range(kThreshold, s.threshold); break;
    case ICAP_PHYSICALWIDTH: {
      double w = c.platenWidth * UnitsPerInch(s.units, true, s);
      out = ds::OneValue(TWTY_FIX32, w, w);
      break;
    }
    case ICAP_PHYSICALHEIGHT: {
      double h = c.platenHeight * UnitsPerInch(s.units, false, s);
      out = ds::OneValue(TWTY_FIX32, h, h);
      break;
    }
    case ICAP_XNATIVERESOLUTION: out = ds::OneValue(TWTY_FIX32, c.nativeXResolution, c.nativeXResolution); break;
    case ICAP_YNATIVERESOLUTION: out = ds::OneValue(TWTY_FIX32, c.nativeYResolution, c.nativeYResolution); break;
    case ICAP_SUPPORTEDSIZES: {
      auto sizes = SupportedSizes(c);
      out = ds::Enumeration(TWTY_UINT16, std::vector<double>(sizes.begin(), sizes.end()), s.supportedSize, TWSS_NONE);
      break;
    }
    case ICAP_AUTOBRIGHT: out = ds::OneValue(TWTY_BOOL, s.autoBright, d.autoBright); break;
    case CAP_INDICATORS: out = ds::OneValue(TWTY_BOOL, s.indicators, d.indicators); break;
    case CAP_FEEDERENABLED: out = ds::OneValue(TWTY_BOOL, s.feederEnabled, d.feederEnabled); break;
    case CAP_FEEDERLOADED: {
      bool loaded = s.feederPagesLeft >= 0 ? s.feederPagesLeft > 0 : c.pagesLoaded > 0;
      out = ds::OneValue(TWTY_BOOL, loaded, loaded);
      break;
    }
    case CAP_AUTOFEED: out = ds::OneValue(TWTY_BOOL, s.autoFeed, d.autoFeed); break;
    case CAP_XFERCOUNT: out = ds::OneValue(TWTY_INT16, s.xferCount, d.xferCount); break;
    case CAP_UICONTROLLABLE: out = ds::OneValue(TWTY_BOOL, 1, 1); break;
    case CAP_SUPPORTEDCAPS: {
      auto caps = SupportedCaps(c);
      out.itemType = TWTY_UINT16;
      out.conType = TWON_ARRAY;
      out.items.assign(caps.begin(), caps.end());
      break;
    }
    default: return false;
  }
  return true;
}

Outcome SetCap(const Config& c, Settings& s, TW_UINT16 cap, TW_UINT16 itemType, double value) {
  // The item must be of the capability's kind: numbers for numbers, booleans or numbers for booleans.
  CapValue described;
  if (!DescribeCap(c, s, cap, described)) return {TWRC_FAILURE, TWCC_CAPUNSUPPORTED};
  const TW_UINT16 want = described.itemType;
  const bool typeOk = want == TWTY_FIX32 ? (itemType == TWTY_FIX32 || IsIntegerType(itemType))
                      : want == TWTY_BOOL ? (itemType == TWTY_BOOL || IsIntegerType(itemType))
                                          : (IsIntegerType(itemType) || itemType == TWTY_FIX32);
  if (!typeOk) return kBadValue;
  const bool whole = std::floor(value) == value;
  const bool flag = value != 0;

  switch (cap) {
    case ICAP_XFERMECH:
      if (!whole || value != TWSX_NATIVE || c.refuseNative) return kBadValue;
      s.xferMech = TWSX_NATIVE;
      return {};
    case ICAP_PIXELTYPE:
      if (!whole || value < TWPT_BW || value > TWPT_PALETTE) return kBadValue;
      s.pixelType = static_cast<TW_UINT16>(value);
      return {};
    case ICAP_BITDEPTH:
      if (value != BitDepthOf(s.pixelType)) return kBadValue;
      return {};
    case ICAP_UNITS:
      if (!whole || value < TWUN_INCHES || value > TWUN_PIXELS) return kBadValue;
      s.units = static_cast<TW_UINT16>(value);
      return {};
    case ICAP_XRESOLUTION: return FitResolution(c, value, s.xResolution);
    case ICAP_YRESOLUTION: return FitResolution(c, value, s.yResolution);
    case ICAP_XSCALING: return FitRange(kScaling, value, s.xScaling);
    case ICAP_YSCALING: return FitRange(kScaling, value, s.yScaling);
    case ICAP_BRIGHTNESS: return FitRange(kBrightness, value, s.brightness);
    case ICAP_CONTRAST: return FitRange(kContrast, value, s.contrast);
    case ICAP_GAMMA: return FitRange(kGamma, value, s.gamma);
    case ICAP_HIGHLIGHT: return FitRange(kHighlight, value, s.highlight);
    case ICAP_SHADOW: return FitRange(kShadow, value, s.shadow);
    case ICAP_THRESHOLD: return FitRange(kThreshold, value, s.threshold);
    case ICAP_SUPPORTEDSIZES: {
      auto sizes = SupportedSizes(c);
      if (!whole || std::find(sizes.begin(), sizes.end(), value) == sizes.end()) return kBadValue;
      s.supportedSize = static_cast<TW_UINT16>(value);
      double w = 0, h = 0;
      if (PaperSize(s.supportedSize, w, h)) s.frame = Frame{0, 0, w, h};
      return {};
    }
    case ICAP_AUTOBRIGHT: s.autoBright = flag; return {};
    case CAP_INDICATORS: s.indicators = flag; return {};
    case CAP_FEEDERENABLED: s.feederEnabled = flag; return {};
    case CAP_AUTOFEED: s.autoFeed = flag; return {};
    case CAP_XFERCOUNT: {
      // -1 asks for every image the device has; 65535 is the same bits sent as an unsigned item.
      if (value == 65535) value = -1;
      if (!whole || value == 0 || value < -1 || value > 32767) return kBadValue;
      s.xferCount = static_cast<int>(value);
      return {};
    }
    default: return kReadOnly;
  }
}

void ResetCap(const Config& c, Settings& s, TW_UINT16 cap) {
  const Settings d = DefaultSettings(c);
  switch (cap) {
    case ICAP_XFERMECH: s.xferMech = d.xferMech; break;
    case ICAP_PIXELTYPE: s.pixelType = d.pixelType; break;
    case ICAP_UNITS: s.units = d.units; break;
    case ICAP_XRESOLUTION: s.xResolution = d.xResolution; break;
    case ICAP_YRESOLUTION: s.yResolution = d.yResolution; break;
    case ICAP_XSCALING: s.xScaling = d.xScaling; break;
    case ICAP_YSCALING: s.yScaling = d.yScaling; break;
    case ICAP_BRIGHTNESS: s.brightness = d.brightness; break;
    case ICAP_CONTRAST: s.contrast = d.contrast; break;
    case ICAP_GAMMA: s.gamma = d.gamma; break;
    case ICAP_HIGHLIGHT: s.highlight = d.highlight; break;
    case ICAP_SHADOW: s.shadow = d.shadow; break;
    case ICAP_THRESHOLD: s.threshold = d.threshold; break;
    case ICAP_SUPPORTEDSIZES: s.supportedSize = d.supportedSize; break;
    case ICAP_AUTOBRIGHT: s.autoBright = d.autoBright; break;
    case CAP_INDICATORS: s.indicators = d.indicators; break;
    case CAP_FEEDERENABLED: s.feederEnabled = d.feederEnabled; break;
    case CAP_AUTOFEED: s.autoFeed = d.autoFeed; break;
    case CAP_XFERCOUNT: s.xferCount = d.xferCount; break;
    default: break;  // read-only ones have nothing to reset; ICAP_BITDEPTH follows the pixel type
  }
}

}  // namespace korven::virtualds
