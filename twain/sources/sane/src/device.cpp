#include "device.h"

#include "papers.h"

#include <sane/saneopts.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace korven::saneds {

namespace {

constexpr double kTolerance = 2.0 / 65536;  // within TW_FIX32 rounding, a value is what was asked

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return s;
}

bool Has(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

bool IsToneCap(TW_UINT16 cap) {
  switch (cap) {
    case ICAP_BRIGHTNESS:
    case ICAP_CONTRAST:
    case ICAP_THRESHOLD:
    case ICAP_GAMMA:
    case ICAP_HIGHLIGHT:
    case ICAP_SHADOW: return true;
    default: return false;
  }
}

bool IsReadOnly(TW_UINT16 cap) {
  return cap == CAP_SUPPORTEDCAPS || cap == CAP_UICONTROLLABLE || cap == CAP_FEEDERLOADED ||
         cap == ICAP_PHYSICALWIDTH || cap == ICAP_PHYSICALHEIGHT;
}

Outcome Fail(TW_UINT16 cc) { return {TWRC_FAILURE, cc}; }
Outcome Checked(bool exact) { return {exact ? TW_UINT16(TWRC_SUCCESS) : TW_UINT16(TWRC_CHECKSTATUS), TWCC_SUCCESS}; }

}  // namespace

TW_UINT16 ClassifyMode(const std::string& mode) {
  const std::string m = Lower(mode);
  if (Has(m, "color") || Has(m, "colour") || Has(m, "rgb")) return TWPT_RGB;
  if (Has(m, "gray") || Has(m, "grey")) return TWPT_GRAY;
  for (const char* bw : {"lineart", "line art", "halftone", "binary", "black", "mono", "bw", "threshold", "dither", "bilevel"})
    if (Has(m, bw)) return TWPT_BW;
  return 0xFFFF;
}

SourceKind ClassifySource(const std::string& source) {
  const std::string s = Lower(source);
  if (Has(s, "adf") || Has(s, "feeder") || Has(s, "document")) return SourceKind::Feeder;
  if (s == "auto" || s == "automatic" || Has(s, "auto select") || Has(s, "autoselect")) return SourceKind::Auto;
  if (Has(s, "flatbed") || Has(s, "platen") || s == "normal") return SourceKind::Flatbed;
  return SourceKind::Other;
}

// A tone setting's values on TWAIN's scale: linear from the option's limits onto TWAIN's (identity
// for gamma, or when the option has no limits).
struct Device::Scale {
  double smin = 0, smax = 1, tmin = 0, tmax = 1;
  bool identity = true;
  double ToTwain(double v) const { return identity ? v : tmin + (v - smin) * (tmax - tmin) / (smax - smin); }
  double ToSane(double t) const { return identity ? t : smin + (t - tmin) * (smax - smin) / (tmax - tmin); }
};

Device::Device(SANE_Handle handle, std::string name) : options_(handle), name_(std::move(name)) {
  // A source that picks itself ("Auto") makes the feeder's state undefined: start from the flatbed
  // (or the feeder when there is no flatbed), which the application may then change.
  int src = Option(SANE_NAME_SCAN_SOURCE);
  std::string current;
  if (src >= 0 && options_.GetString(src, current) && ClassifySource(current) == SourceKind::Auto) SetFeeder(false);
  // A value outside the option's own constraint (a backend's slip) is brought within it.
  for (const char* n : {SANE_NAME_SCAN_RESOLUTION, SANE_NAME_SCAN_X_RESOLUTION, SANE_NAME_SCAN_Y_RESOLUTION,
                        SANE_NAME_SCAN_TL_X, SANE_NAME_SCAN_TL_Y, SANE_NAME_SCAN_BR_X, SANE_NAME_SCAN_BR_Y}) {
    int o = Option(n);
    double v = 0, got = 0;
    if (o >= 0 && options_.GetNumber(o, v) && std::fabs(options_.Fit(o, v) - v) > 1e-9) options_.SetNumber(o, v, got);
  }
  // Defaults are what the device holds once opened; MSG_RESET and MSG_GETDEFAULT go back to them.
  for (const char* n : {SANE_NAME_SCAN_RESOLUTION, SANE_NAME_SCAN_X_RESOLUTION, SANE_NAME_SCAN_Y_RESOLUTION,
                        SANE_NAME_BIT_DEPTH, SANE_NAME_SCAN_TL_X, SANE_NAME_SCAN_TL_Y, SANE_NAME_SCAN_BR_X,
                        SANE_NAME_SCAN_BR_Y, SANE_NAME_BRIGHTNESS, SANE_NAME_CONTRAST, SANE_NAME_THRESHOLD,
                        SANE_NAME_ANALOG_GAMMA, "gamma", SANE_NAME_HIGHLIGHT, SANE_NAME_SHADOW}) {
    double v = 0;
    if (options_.GetNumber(Option(n), v)) defaultNumbers_[n] = v;
  }
  for (const char* n : {SANE_NAME_SCAN_MODE, SANE_NAME_SCAN_SOURCE}) {
    std::string s;
    if (options_.GetString(Option(n), s)) defaultStrings_[n] = s;
  }
}

Device::~Device() {
  ForeignAllocations foreign;
  sane_cancel(Handle());
  sane_close(Handle());
}

int Device::Option(const char* name) { return options_.Find(name); }

// ---- Resolution and tone ------------------------------------------------------------------------

int Device::ResolutionOption(bool xAxis) {
  int o = Option(xAxis ? SANE_NAME_SCAN_X_RESOLUTION : SANE_NAME_SCAN_Y_RESOLUTION);
  if (o >= 0 && options_.IsActive(o) && options_.IsNumber(o)) return o;
  o = Option(SANE_NAME_SCAN_RESOLUTION);
  return o >= 0 && options_.IsNumber(o) ? o : -1;
}

double Device::Resolution(bool xAxis) {
  double v = 0;
  options_.GetNumber(ResolutionOption(xAxis), v);
  return v;
}

int Device::ToneOption(TW_UINT16 cap, Scale& scale) {
  int o = -1;
  switch (cap) {
    case ICAP_BRIGHTNESS: o = Option(SANE_NAME_BRIGHTNESS), scale.tmin = -1000, scale.tmax = 1000; break;
    case ICAP_CONTRAST: o = Option(SANE_NAME_CONTRAST), scale.tmin = -1000, scale.tmax = 1000; break;
    case ICAP_THRESHOLD: o = Option(SANE_NAME_THRESHOLD), scale.tmin = 0, scale.tmax = 255; break;
    case ICAP_HIGHLIGHT: o = Option(SANE_NAME_HIGHLIGHT), scale.tmin = 0, scale.tmax = 255; break;
    case ICAP_SHADOW: o = Option(SANE_NAME_SHADOW), scale.tmin = 0, scale.tmax = 255; break;
    case ICAP_GAMMA:
      o = Option(SANE_NAME_ANALOG_GAMMA);
      if (o < 0 || !options_.IsNumber(o)) o = Option("gamma");
      break;
    default: return -1;
  }
  if (o < 0 || !options_.IsNumber(o)) return -1;
  Constraint c = options_.NumberConstraint(o);
  double lo = 0, hi = 0;
  if (c.kind == Constraint::Range) lo = c.min, hi = c.max;
  if (c.kind == Constraint::List) lo = *std::min_element(c.list.begin(), c.list.end()), hi = *std::max_element(c.list.begin(), c.list.end());
  scale.identity = cap == ICAP_GAMMA || c.kind == Constraint::None || hi <= lo;
  scale.smin = lo, scale.smax = hi;
  return o;
}

// ---- Pixel type and bit depth -------------------------------------------------------------------

std::vector<int> Device::Depths() {
  std::vector<int> out;
  int o = Option(SANE_NAME_BIT_DEPTH);
  if (o < 0 || !options_.IsActive(o)) return out;
  Constraint c = options_.NumberConstraint(o);
  if (c.kind == Constraint::List)
    for (double d : c.list) out.push_back(int(d));
  else if (c.kind == Constraint::Range)
    for (int d : {1, 8, 16})
      if (d >= c.min && d <= c.max) out.push_back(d);
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

bool Device::SyntheticBw() {
  // No lineart mode of its own, but a grey mode that scans one bit deep.
  int mode = Option(SANE_NAME_SCAN_MODE);
  bool grey = false, bw = false;
  for (const std::string& m : options_.Strings(mode)) {
    grey |= ClassifyMode(m) == TWPT_GRAY;
    bw |= ClassifyMode(m) == TWPT_BW;
  }
  if (!grey || bw) return false;
  std::vector<int> d = Depths();
  return std::find(d.begin(), d.end(), 1) != d.end();
}

std::vector<TW_UINT16> Device::PixelTypes() {
  std::vector<TW_UINT16> out;
  for (const std::string& m : options_.Strings(Option(SANE_NAME_SCAN_MODE)))
    if (TW_UINT16 t = ClassifyMode(m); t != 0xFFFF) out.push_back(t);
  if (SyntheticBw()) out.push_back(TWPT_BW);
  if (out.empty()) out.push_back(PixelType());  // no mode option: whatever the device delivers
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

TW_UINT16 Device::PixelType() {
  std::string mode;
  TW_UINT16 t = 0xFFFF;
  if (options_.GetString(Option(SANE_NAME_SCAN_MODE), mode)) t = ClassifyMode(mode);
  SANE_Parameters p{};
  if (t == 0xFFFF) {
    // A mode of unknown wording: what it delivers tells.
    if (sane_get_parameters(Handle(), &p) == SANE_STATUS_GOOD)
      t = p.format == SANE_FRAME_GRAY ? (p.depth == 1 ? TWPT_BW : TWPT_GRAY) : TWPT_RGB;
    else
      t = TWPT_RGB;
  }
  double depth = 0;
  if (t == TWPT_GRAY && options_.GetNumber(Option(SANE_NAME_BIT_DEPTH), depth) && depth == 1) t = TWPT_BW;
  return t;
}

std::string Device::ModeFor(TW_UINT16 type) {
  const TW_UINT16 want = type == TWPT_BW && SyntheticBw() ? TWPT_GRAY : type;
  for (const std::string& m : options_.Strings(Option(SANE_NAME_SCAN_MODE)))
    if (ClassifyMode(m) == want) return m;
  return "";
}

std::vector<double> Device::BitDepths() {
  const TW_UINT16 t = PixelType();
  if (t == TWPT_BW) return {1};
  std::vector<double> out;
  for (int d : Depths())
    if (d > 1) out.push_back(t == TWPT_RGB ? 3.0 * d : d);
  if (out.empty()) out.push_back(BitDepth());
  return out;
}

int Device::BitDepth() {
  const TW_UINT16 t = PixelType();
  if (t == TWPT_BW) return 1;
  double depth = 0;
  if (!options_.GetNumber(Option(SANE_NAME_BIT_DEPTH), depth)) {
    SANE_Parameters p{};
    depth = sane_get_parameters(Handle(), &p) == SANE_STATUS_GOOD ? p.depth : 8;
  }
  return t == TWPT_RGB ? 3 * int(depth) : int(depth);
}

Outcome Device::SetPixelType(TW_UINT16 type) {
  std::vector<TW_UINT16> types = PixelTypes();
  if (std::find(types.begin(), types.end(), type) == types.end()) return Fail(TWCC_BADVALUE);
  const std::string mode = ModeFor(type);
  int o = Option(SANE_NAME_SCAN_MODE);
  if (!mode.empty() && o >= 0) {
    std::string now;
    if (!options_.GetString(o, now) || now != mode) {
      SANE_Status s = options_.SetString(o, mode);
      if (s != SANE_STATUS_GOOD) return Fail(MapStatus(s).cc);
    }
  }
  // Grey and colour scan more than one bit deep, the stand-in for lineart exactly one.
  int depth = Option(SANE_NAME_BIT_DEPTH);
  double d = 0, got = 0;
  if (options_.GetNumber(depth, d)) {
    if (type == TWPT_BW && SyntheticBw() && d != 1) options_.SetNumber(depth, 1, got);
    if (type != TWPT_BW && d == 1) {
      std::vector<int> ds = Depths();
      auto more = std::find_if(ds.begin(), ds.end(), [](int x) { return x >= 8; });
      if (more != ds.end()) options_.SetNumber(depth, *more, got);
    }
  }
  return Checked(PixelType() == type);
}

Outcome Device::SetBitDepth(int bits) {
  std::vector<double> offered = BitDepths();
  if (std::find(offered.begin(), offered.end(), double(bits)) == offered.end()) return Fail(TWCC_BADVALUE);
  const TW_UINT16 t = PixelType();
  int o = Option(SANE_NAME_BIT_DEPTH);
  if (t != TWPT_BW && o >= 0 && options_.IsActive(o)) {
    double got = 0;
    SANE_Status s = options_.SetNumber(o, t == TWPT_RGB ? bits / 3 : bits, got);
    if (s != SANE_STATUS_GOOD) return Fail(MapStatus(s).cc);
  }
  return Checked(BitDepth() == bits);
}

// ---- Feeder -------------------------------------------------------------------------------------

bool Device::HasFeeder() {
  int o = Option(SANE_NAME_SCAN_SOURCE);
  if (o < 0 || !options_.IsSettable(o)) return false;
  for (const std::string& s : options_.Strings(o))
    if (ClassifySource(s) == SourceKind::Feeder) return true;
  return false;
}

bool Device::FeederEnabled() {
  std::string s;
  return options_.GetString(Option(SANE_NAME_SCAN_SOURCE), s) && ClassifySource(s) == SourceKind::Feeder;
}

Outcome Device::SetFeeder(bool on) {
  int o = Option(SANE_NAME_SCAN_SOURCE);
  std::vector<std::string> all = options_.Strings(o);
  std::string pick;
  auto first = [&](auto pred) {
    for (const std::string& s : all)
      if (pred(s)) return s;
    return std::string();
  };
  if (on) {
    // A simplex feeder before a duplex one or a back side.
    pick = first([](const std::string& s) {
      std::string l = Lower(s);
      return ClassifySource(s) == SourceKind::Feeder && !Has(l, "duplex") && !Has(l, "back");
    });
    if (pick.empty()) pick = first([](const std::string& s) { return ClassifySource(s) == SourceKind::Feeder; });
  } else {
    pick = first([](const std::string& s) { return ClassifySource(s) == SourceKind::Flatbed; });
    if (pick.empty()) pick = first([](const std::string& s) { return ClassifySource(s) == SourceKind::Other; });
    if (pick.empty()) pick = first([](const std::string& s) { return ClassifySource(s) == SourceKind::Feeder; });
  }
  if (pick.empty()) return Fail(on ? TWCC_BADVALUE : TWCC_CAPUNSUPPORTED);
  SANE_Status s = options_.SetString(o, pick);
  if (s != SANE_STATUS_GOOD) return Fail(MapStatus(s).cc);
  return Checked(FeederEnabled() == on);
}

// ---- Frame --------------------------------------------------------------------------------------

double Device::UnitsPerInch(bool xAxis) {
  switch (units_) {
    case TWUN_CENTIMETERS: return 2.54;
    case TWUN_PICAS: return 6;
    case TWUN_POINTS: return 72;
    case TWUN_TWIPS: return 1440;
    case TWUN_PIXELS: {
      double r = Resolution(xAxis);
      return r > 0 ? r : 1;
    }
    default: return 1;
  }
}

double Device::OptionUnitsPerInch(int option, bool xAxis) {
  const SANE_Option_Descriptor* d = options_.Describe(option);
  if (d && d->unit == SANE_UNIT_PIXEL) {
    double r = Resolution(xAxis);
    return r > 0 ? r : 1;
  }
  return 25.4;  // SANE_UNIT_MM, and the unit a length without one most likely has
}

bool Device::Platen(double& width, double& height) {
  int bx = Option(SANE_NAME_SCAN_BR_X), by = Option(SANE_NAME_SCAN_BR_Y);
  if (bx < 0 || by < 0) return false;
  Constraint cx = options_.NumberConstraint(bx), cy = options_.NumberConstraint(by);
  auto top = [](const Constraint& c) {
    return c.kind == Constraint::Range ? c.max : c.kind == Constraint::List ? *std::max_element(c.list.begin(), c.list.end()) : 0.0;
  };
  width = top(cx) / OptionUnitsPerInch(bx, true);
  height = top(cy) / OptionUnitsPerInch(by, false);
  return width > 0 && height > 0;
}

bool Device::GetFrameInches(Frame& f, bool deflt) {
  const char* names[4] = {SANE_NAME_SCAN_TL_X, SANE_NAME_SCAN_TL_Y, SANE_NAME_SCAN_BR_X, SANE_NAME_SCAN_BR_Y};
  double v[4];
  for (int i = 0; i < 4; ++i) {
    int o = Option(names[i]);
    if (o < 0 || !options_.IsActive(o)) return false;
    if (deflt) {
      auto it = defaultNumbers_.find(names[i]);
      if (it == defaultNumbers_.end()) return false;
      v[i] = it->second;
    } else if (!options_.GetNumber(o, v[i])) {
      return false;
    }
    v[i] /= OptionUnitsPerInch(o, i % 2 == 0);
  }
  f = Frame{std::min(v[0], v[2]), std::min(v[1], v[3]), std::max(v[0], v[2]), std::max(v[1], v[3])};
  return true;
}

Outcome Device::SetFrameInches(const Frame& f) {
  const char* names[4] = {SANE_NAME_SCAN_TL_X, SANE_NAME_SCAN_TL_Y, SANE_NAME_SCAN_BR_X, SANE_NAME_SCAN_BR_Y};
  int o[4];
  for (int i = 0; i < 4; ++i) {
    o[i] = Option(names[i]);
    if (o[i] < 0) return Fail(TWCC_BADPROTOCOL);
    if (!options_.IsSettable(o[i])) return Fail(TWCC_SEQERROR);
  }
  const double want[4] = {f.left, f.top, f.right, f.bottom};
  if (!(f.right > f.left) || !(f.bottom > f.top)) return Fail(TWCC_BADVALUE);
  // Where a new corner would pass the other one, the far edge goes first.
  double now = 0, got = 0;
  bool exact = true;
  auto put = [&](int i) {
    double value = want[i] * OptionUnitsPerInch(o[i], i % 2 == 0);
    options_.SetNumber(o[i], value, got);
    exact &= std::fabs(got - value) < 1e-3;
  };
  for (int axis = 0; axis < 2; ++axis) {
    options_.GetNumber(o[axis + 2], now);
    if (want[axis] * OptionUnitsPerInch(o[axis], axis == 0) > now) put(axis + 2), put(axis);
    else put(axis), put(axis + 2);
  }
  supportedSize_ = TWSS_NONE;
  return Checked(exact);
}

Outcome Device::GetFrame(TW_FRAME& frame, bool deflt) {
  Frame f;
  if (!GetFrameInches(f, deflt)) return Fail(Option(SANE_NAME_SCAN_TL_X) < 0 ? TWCC_BADPROTOCOL : TWCC_SEQERROR);
  const double ux = UnitsPerInch(true), uy = UnitsPerInch(false);
  frame.Left = ds::ToFix32(f.left * ux);
  frame.Top = ds::ToFix32(f.top * uy);
  frame.Right = ds::ToFix32(f.right * ux);
  frame.Bottom = ds::ToFix32(f.bottom * uy);
  return {};
}

Outcome Device::SetFrame(const TW_FRAME& frame) {
  const double ux = UnitsPerInch(true), uy = UnitsPerInch(false);
  Frame f{ds::FromFix32(frame.Left) / ux, ds::FromFix32(frame.Top) / uy, ds::FromFix32(frame.Right) / ux,
          ds::FromFix32(frame.Bottom) / uy};
  return SetFrameInches(f);
}

Outcome Device::ResetFrame() {
  Frame f;
  if (!GetFrameInches(f, true)) return Fail(TWCC_SEQERROR);
  return SetFrameInches(f);
}

// ---- Capabilities -------------------------------------------------------------------------------

std::vector<TW_UINT16> Device::SupportedCaps() {
  static const TW_UINT16 all[] = {CAP_XFERCOUNT, ICAP_PIXELTYPE, ICAP_UNITS, ICAP_XFERMECH, CAP_FEEDERENABLED,
                                  CAP_FEEDERLOADED, CAP_SUPPORTEDCAPS, CAP_AUTOFEED, CAP_INDICATORS,
                                  CAP_UICONTROLLABLE, ICAP_BRIGHTNESS, ICAP_CONTRAST, ICAP_GAMMA, ICAP_HIGHLIGHT,
                                  ICAP_PHYSICALWIDTH, ICAP_PHYSICALHEIGHT, ICAP_SHADOW, ICAP_FRAMES,
                                  ICAP_XRESOLUTION, ICAP_YRESOLUTION, ICAP_SUPPORTEDSIZES, ICAP_THRESHOLD, ICAP_BITDEPTH};
  std::vector<TW_UINT16> out{CAP_SUPPORTEDCAPS};
  for (TW_UINT16 cap : all) {
    if (cap == CAP_SUPPORTEDCAPS) continue;
    if (cap == ICAP_FRAMES) {  // answered by the connection from the frame
      if (Option(SANE_NAME_SCAN_TL_X) >= 0) out.push_back(cap);
      continue;
    }
    CapValue v;
    Outcome o = Describe(cap, v);
    // An inactive option is still the device's: it may become active with other settings.
    if (o.rc == TWRC_SUCCESS || o.cc == TWCC_CAPSEQERROR) out.push_back(cap);
  }
  std::sort(out.begin(), out.end());
  return out;
}

Outcome Device::Describe(TW_UINT16 cap, CapValue& out) {
  const bool feeder = HasFeeder();
  switch (cap) {
    case ICAP_XFERMECH: out = ds::Enumeration(TWTY_UINT16, {TWSX_NATIVE}, TWSX_NATIVE, TWSX_NATIVE); return {};
    case ICAP_UNITS: out = ds::Enumeration(TWTY_UINT16, {0, 1, 2, 3, 4, 5}, units_, TWUN_INCHES); return {};
    case CAP_XFERCOUNT: out = ds::OneValue(TWTY_INT16, double(xferCount_), -1); return {};
    case CAP_INDICATORS: out = ds::OneValue(TWTY_BOOL, indicators_, 1); return {};
    case CAP_UICONTROLLABLE: out = ds::OneValue(TWTY_BOOL, 1, 1); return {};
    case CAP_SUPPORTEDCAPS: {
      out = CapValue{};
      out.itemType = TWTY_UINT16;
      out.conType = TWON_ARRAY;
      for (TW_UINT16 c : SupportedCaps()) out.items.push_back(c);
      return {};
    }
    case ICAP_PIXELTYPE: {
      std::vector<double> items;
      for (TW_UINT16 t : PixelTypes()) items.push_back(t);
      double deflt = PixelType();
      if (auto it = defaultStrings_.find(SANE_NAME_SCAN_MODE); it != defaultStrings_.end()) {
        TW_UINT16 t = ClassifyMode(it->second);
        auto d = defaultNumbers_.find(SANE_NAME_BIT_DEPTH);
        if (t == TWPT_GRAY && d != defaultNumbers_.end() && d->second == 1) t = TWPT_BW;
        if (t != 0xFFFF) deflt = t;
      }
      out = ds::Enumeration(TWTY_UINT16, items, PixelType(), deflt);
      return {};
    }
    case ICAP_BITDEPTH: {
      std::vector<double> items = BitDepths();
      double deflt = items.front();
      if (auto d = defaultNumbers_.find(SANE_NAME_BIT_DEPTH); d != defaultNumbers_.end()) {
        double bits = PixelType() == TWPT_RGB ? 3 * d->second : d->second;
        if (std::find(items.begin(), items.end(), bits) != items.end()) deflt = bits;
      }
      out = ds::Enumeration(TWTY_UINT16, items, BitDepth(), deflt);
      return {};
    }
    case ICAP_XRESOLUTION:
    case ICAP_YRESOLUTION: {
      int o = ResolutionOption(cap == ICAP_XRESOLUTION);
      if (o < 0) return Fail(TWCC_CAPUNSUPPORTED);
      double v = 0;
      if (!options_.GetNumber(o, v)) return Fail(TWCC_CAPSEQERROR);
      const char* name = options_.Describe(o)->name;
      double deflt = defaultNumbers_.count(name) ? defaultNumbers_[name] : v;
      Constraint c = options_.NumberConstraint(o);
      if (c.kind == Constraint::List) {
        std::vector<double> items = c.list;
        std::sort(items.begin(), items.end());
        out = ds::Enumeration(TWTY_FIX32, items, v, deflt);
      } else if (c.kind == Constraint::Range) {
        out = CapValue{};
        out.itemType = TWTY_FIX32;
        out.conType = TWON_RANGE;
        out.min = c.min, out.max = c.max, out.step = c.step > 0 ? c.step : 1.0 / 65536, out.current = v, out.deflt = deflt;
      } else {
        out = ds::OneValue(TWTY_FIX32, v, deflt);
      }
      return {};
    }
    case ICAP_PHYSICALWIDTH:
    case ICAP_PHYSICALHEIGHT: {
      double w = 0, h = 0;
      if (!Platen(w, h)) return Fail(TWCC_CAPUNSUPPORTED);
      double v = cap == ICAP_PHYSICALWIDTH ? w * UnitsPerInch(true) : h * UnitsPerInch(false);
      out = ds::OneValue(TWTY_FIX32, v, v);
      return {};
    }
    case ICAP_SUPPORTEDSIZES: {
      double w = 0, h = 0;
      if (!Platen(w, h)) return Fail(TWCC_CAPUNSUPPORTED);
      std::vector<double> items;
      for (TW_UINT16 s : ds::SizesThatFit(w, h)) items.push_back(s);
      out = ds::Enumeration(TWTY_UINT16, items, supportedSize_, TWSS_NONE);
      return {};
    }
    case CAP_FEEDERENABLED:
      if (!feeder) return Fail(TWCC_CAPUNSUPPORTED);
      out = ds::OneValue(TWTY_BOOL, FeederEnabled(), defaultStrings_.count(SANE_NAME_SCAN_SOURCE) &&
                                                ClassifySource(defaultStrings_[SANE_NAME_SCAN_SOURCE]) == SourceKind::Feeder);
      return {};
    case CAP_FEEDERLOADED: {
      if (!feeder) return Fail(TWCC_CAPUNSUPPORTED);
      // A sensor where the device has one; otherwise the feeder counts as loaded while it is used,
      // and an empty one shows when the scan starts.
      double loaded = 0;
      bool v = options_.GetNumber(Option(SANE_NAME_PAGE_LOADED), loaded) ? loaded != 0 : FeederEnabled();
      out = ds::OneValue(TWTY_BOOL, v, v);
      return {};
    }
    case CAP_AUTOFEED:
      if (!feeder) return Fail(TWCC_CAPUNSUPPORTED);
      out = ds::OneValue(TWTY_BOOL, autoFeed_, 0);
      return {};
    default: break;
  }
  if (IsToneCap(cap)) {
    Scale scale;
    int o = ToneOption(cap, scale);
    if (o < 0) return Fail(TWCC_CAPUNSUPPORTED);
    double v = 0;
    if (!options_.GetNumber(o, v)) return Fail(TWCC_CAPSEQERROR);
    const char* name = options_.Describe(o)->name;
    double deflt = scale.ToTwain(defaultNumbers_.count(name) ? defaultNumbers_[name] : v);
    Constraint c = options_.NumberConstraint(o);
    if (c.kind == Constraint::Range) {
      out = CapValue{};
      out.itemType = TWTY_FIX32;
      out.conType = TWON_RANGE;
      out.min = scale.ToTwain(c.min), out.max = scale.ToTwain(c.max);
      out.step = c.step > 0 ? std::fabs(scale.ToTwain(c.min + c.step) - out.min) : 1;
      out.current = scale.ToTwain(v), out.deflt = deflt;
    } else if (c.kind == Constraint::List) {
      std::vector<double> items;
      for (double x : c.list) items.push_back(scale.ToTwain(x));
      std::sort(items.begin(), items.end());
      out = ds::Enumeration(TWTY_FIX32, items, scale.ToTwain(v), deflt);
    } else {
      out = ds::OneValue(TWTY_FIX32, v, deflt);
    }
    return {};
  }
  return Fail(TWCC_CAPUNSUPPORTED);
}

Outcome Device::Set(TW_UINT16 cap, TW_UINT16 itemType, double value) {
  CapValue now;
  if (Outcome o = Describe(cap, now); o.rc != TWRC_SUCCESS) return o;
  if (IsReadOnly(cap)) return Fail(TWCC_CAPBADOPERATION);
  (void)itemType;
  switch (cap) {
    case ICAP_XFERMECH: return value == TWSX_NATIVE ? Outcome{} : Fail(TWCC_BADVALUE);
    case ICAP_UNITS:
      if (value < 0 || value > 5 || value != std::floor(value)) return Fail(TWCC_BADVALUE);
      units_ = TW_UINT16(value);
      return {};
    case CAP_XFERCOUNT:
      if (value != -1 && (value < 1 || value > 32767)) return Fail(TWCC_BADVALUE);
      xferCount_ = long(value);
      return {};
    case CAP_INDICATORS: indicators_ = value != 0; return {};
    case CAP_AUTOFEED: autoFeed_ = value != 0; return {};
    case CAP_FEEDERENABLED: return SetFeeder(value != 0);
    case ICAP_PIXELTYPE: return SetPixelType(TW_UINT16(value));
    case ICAP_BITDEPTH: return SetBitDepth(int(value));
    case ICAP_SUPPORTEDSIZES: {
      double w = 0, h = 0;
      if (value == TWSS_NONE) {
        supportedSize_ = TWSS_NONE;
        return {};
      }
      std::vector<double> offered = now.items;
      if (std::find(offered.begin(), offered.end(), value) == offered.end() || !ds::PaperSize(TW_UINT16(value), w, h))
        return Fail(TWCC_BADVALUE);
      Outcome o = SetFrameInches(Frame{0, 0, w, h});
      supportedSize_ = TW_UINT16(value);
      return o;
    }
    case ICAP_XRESOLUTION:
    case ICAP_YRESOLUTION: {
      double got = 0;
      SANE_Status s = options_.SetNumber(ResolutionOption(cap == ICAP_XRESOLUTION), value, got);
      if (s != SANE_STATUS_GOOD) return Fail(MapStatus(s).cc);
      return Checked(std::fabs(got - value) < kTolerance);
    }
    default: break;
  }
  if (IsToneCap(cap)) {
    Scale scale;
    int o = ToneOption(cap, scale);
    double got = 0;
    SANE_Status s = options_.SetNumber(o, scale.ToSane(value), got);
    if (s != SANE_STATUS_GOOD) return Fail(MapStatus(s).cc);
    return Checked(std::fabs(scale.ToTwain(got) - value) < kTolerance);
  }
  return Fail(TWCC_CAPUNSUPPORTED);
}

Outcome Device::Reset(TW_UINT16 cap) {
  CapValue now;
  if (Outcome o = Describe(cap, now); o.rc != TWRC_SUCCESS) return o;
  if (IsReadOnly(cap)) return Fail(TWCC_CAPBADOPERATION);
  if (cap == ICAP_PIXELTYPE) {
    // The mode and the depth the device had go back together.
    if (auto m = defaultStrings_.find(SANE_NAME_SCAN_MODE); m != defaultStrings_.end())
      options_.SetString(Option(SANE_NAME_SCAN_MODE), m->second);
    double got = 0;
    if (auto d = defaultNumbers_.find(SANE_NAME_BIT_DEPTH); d != defaultNumbers_.end())
      options_.SetNumber(Option(SANE_NAME_BIT_DEPTH), d->second, got);
    return {};
  }
  if (cap == ICAP_SUPPORTEDSIZES) return Set(cap, TWTY_UINT16, TWSS_NONE);
  Outcome o = Set(cap, now.itemType, now.deflt);
  return o.rc == TWRC_FAILURE ? o : Outcome{};
}

std::string Device::Summary() {
  std::string mode, source;
  options_.GetString(Option(SANE_NAME_SCAN_MODE), mode);
  options_.GetString(Option(SANE_NAME_SCAN_SOURCE), source);
  char text[400];
  std::snprintf(text, sizeof text, "Device: %s\nMode: %s, %d bits per pixel\nResolution: %g x %g dpi\nSource: %s",
                name_.c_str(), mode.empty() ? "-" : mode.c_str(), BitDepth(), Resolution(true), Resolution(false),
                source.empty() ? "-" : source.c_str());
  std::string out = text;
  Frame f;
  if (GetFrameInches(f, false)) {
    std::snprintf(text, sizeof text, "\nArea: %.1f x %.1f mm at %.1f, %.1f mm", (f.right - f.left) * 25.4,
                  (f.bottom - f.top) * 25.4, f.left * 25.4, f.top * 25.4);
    out += text;
  }
  return out;
}

}  // namespace korven::saneds
