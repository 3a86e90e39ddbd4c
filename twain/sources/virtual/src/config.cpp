#include "config.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <sstream>

namespace korven::virtualds {

namespace {

struct CapName {
  TW_UINT16 cap;
  const char* name;
};

// The capabilities this source knows; knobs name them by these names.
constexpr CapName kCapNames[] = {
    {CAP_XFERCOUNT, "CAP_XFERCOUNT"},
    {ICAP_PIXELTYPE, "ICAP_PIXELTYPE"},
    {ICAP_UNITS, "ICAP_UNITS"},
    {ICAP_XFERMECH, "ICAP_XFERMECH"},
    {CAP_FEEDERENABLED, "CAP_FEEDERENABLED"},
    {CAP_FEEDERLOADED, "CAP_FEEDERLOADED"},
    {CAP_SUPPORTEDCAPS, "CAP_SUPPORTEDCAPS"},
    {CAP_AUTOFEED, "CAP_AUTOFEED"},
    {CAP_INDICATORS, "CAP_INDICATORS"},
    {CAP_UICONTROLLABLE, "CAP_UICONTROLLABLE"},
    {ICAP_AUTOBRIGHT, "ICAP_AUTOBRIGHT"},
    {ICAP_BRIGHTNESS, "ICAP_BRIGHTNESS"},
    {ICAP_CONTRAST, "ICAP_CONTRAST"},
    {ICAP_GAMMA, "ICAP_GAMMA"},
    {ICAP_HIGHLIGHT, "ICAP_HIGHLIGHT"},
    {ICAP_PHYSICALWIDTH, "ICAP_PHYSICALWIDTH"},
    {ICAP_PHYSICALHEIGHT, "ICAP_PHYSICALHEIGHT"},
    {ICAP_SHADOW, "ICAP_SHADOW"},
    {ICAP_XNATIVERESOLUTION, "ICAP_XNATIVERESOLUTION"},
    {ICAP_YNATIVERESOLUTION, "ICAP_YNATIVERESOLUTION"},
    {ICAP_XRESOLUTION, "ICAP_XRESOLUTION"},
    {ICAP_YRESOLUTION, "ICAP_YRESOLUTION"},
    {ICAP_SUPPORTEDSIZES, "ICAP_SUPPORTEDSIZES"},
    {ICAP_THRESHOLD, "ICAP_THRESHOLD"},
    {ICAP_XSCALING, "ICAP_XSCALING"},
    {ICAP_YSCALING, "ICAP_YSCALING"},
    {ICAP_BITDEPTH, "ICAP_BITDEPTH"},
};

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::vector<std::string> SplitList(const std::string& s) {
  std::vector<std::string> out;
  std::string item;
  std::istringstream in(s);
  while (std::getline(in, item, ',')) {
    item = Trim(item);
    if (!item.empty()) out.push_back(item);
  }
  return out;
}

bool ParseDouble(const std::string& s, double& out) {
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(s.c_str(), &end);
  if (errno != 0 || end == s.c_str() || Trim(end) != "" || !std::isfinite(v)) return false;
  out = v;
  return true;
}

bool ParseInt(const std::string& s, long long lo, long long hi, long long& out) {
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(s.c_str(), &end, 0);
  if (errno != 0 || end == s.c_str() || Trim(end) != "" || v < lo || v > hi) return false;
  out = v;
  return true;
}

bool ParseBool(const std::string& s, bool& out) {
  std::string v = Lower(s);
  if (v == "yes" || v == "true" || v == "on" || v == "1") return out = true, true;
  if (v == "no" || v == "false" || v == "off" || v == "0") return out = false, true;
  return false;
}

// Copies a text into a TW_STR32 field later; here only its length is checked.
bool FitsStr32(const std::string& s) { return s.size() <= 33; }

}  // namespace

TW_UINT16 CapabilityFromName(const std::string& raw) {
  std::string name = Trim(raw);
  for (const auto& c : kCapNames)
    if (Lower(name) == Lower(c.name)) return c.cap;
  long long v = 0;
  if (ParseInt(name, 1, 0xFFFF, v)) return static_cast<TW_UINT16>(v);
  return 0;
}

const char* CapabilityName(TW_UINT16 cap) {
  for (const auto& c : kCapNames)
    if (c.cap == cap) return c.name;
  return "capability";
}

Config ParseConfig(const std::string& text, std::vector<std::string>& warnings) {
  Config c;
  std::istringstream in(text);
  std::string line;
  int lineNo = 0;
  auto warn = [&](const std::string& what) { warnings.push_back("line " + std::to_string(lineNo) + ": " + what); };

  while (std::getline(in, line)) {
    ++lineNo;
    std::string t = Trim(line);
    if (t.empty() || t[0] == '#' || t[0] == ';' || t[0] == '[') continue;  // sections are for the reader only
    size_t eq = t.find('=');
    if (eq == std::string::npos) {
      warn("no '=' in \"" + t + "\"");
      continue;
    }
    std::string key = Lower(Trim(t.substr(0, eq)));
    std::string value = Trim(t.substr(eq + 1));
    std::string lv = Lower(value);
    auto bad = [&]() { warn("bad value \"" + value + "\" for " + Trim(t.substr(0, eq))); };
    auto str32 = [&](std::string& field) {
      if (FitsStr32(value)) field = value;
      else warn("text longer than 33 characters for " + Trim(t.substr(0, eq)));
    };
    auto boolean = [&](bool& field) {
      if (!ParseBool(value, field)) bad();
    };
    auto caps = [&](std::set<TW_UINT16>& field) {
      for (const auto& name : SplitList(value)) {
        TW_UINT16 cap = CapabilityFromName(name);
        if (cap) field.insert(cap);
        else warn("unknown capability " + name);
      }
    };
    // "CAP:word" pairs; `word` returns false for an unknown word.
    auto pairs = [&](const std::function<bool(TW_UINT16, const std::string&)>& word) {
      for (const auto& item : SplitList(value)) {
        size_t colon = item.find(':');
        TW_UINT16 cap = colon == std::string::npos ? 0 : CapabilityFromName(item.substr(0, colon));
        std::string kind = colon == std::string::npos ? "" : Lower(Trim(item.substr(colon + 1)));
        if (!cap || !word(cap, kind)) warn("bad item \"" + item + "\" for " + Trim(t.substr(0, eq)));
      }
    };
    long long n = 0;
    double d = 0;

    if (key == "productname") str32(c.productName);
    else if (key == "manufacturer") str32(c.manufacturer);
    else if (key == "productfamily") str32(c.productFamily);
    else if (key == "versioninfo") str32(c.versionInfo);
    else if (key == "version") {
      size_t dot = value.find('.');
      long long major = 0, minor = 0;
      if (ParseInt(value.substr(0, dot), 0, 0xFFFF, major) &&
          (dot == std::string::npos || ParseInt(value.substr(dot + 1), 0, 0xFFFF, minor))) {
        c.versionMajor = static_cast<TW_UINT16>(major);
        c.versionMinor = static_cast<TW_UINT16>(minor);
      } else bad();
    } else if (key == "language") {
      if (ParseInt(value, 0, 0xFFFF, n)) c.language = static_cast<TW_UINT16>(n); else bad();
    } else if (key == "country") {
      if (ParseInt(value, 0, 0xFFFF, n)) c.country = static_cast<TW_UINT16>(n); else bad();
    } else if (key == "platenwidth") {
      if (ParseDouble(value, d) && d >= 0.5 && d <= 100) c.platenWidth = d; else bad();
    } else if (key == "platenheight") {
      if (ParseDouble(value, d) && d >= 0.5 && d <= 100) c.platenHeight = d; else bad();
    } else if (key == "nativexresolution") {
      if (ParseDouble(value, d) && d > 0 && d <= 32767) c.nativeXResolution = d; else bad();
    } else if (key == "nativeyresolution") {
      if (ParseDouble(value, d) && d > 0 && d <= 32767) c.nativeYResolution = d; else bad();
    } else if (key == "resolutions") {
      size_t dots = value.find("..");
      if (dots != std::string::npos) {
        std::string lo = value.substr(0, dots), rest = value.substr(dots + 2), step = "1";
        size_t slash = rest.find('/');
        if (slash != std::string::npos) step = rest.substr(slash + 1), rest = rest.substr(0, slash);
        double a = 0, b = 0, s = 0;
        if (ParseDouble(Trim(lo), a) && ParseDouble(Trim(rest), b) && ParseDouble(Trim(step), s) && a > 0 &&
            b >= a && b <= 32767 && s > 0) {
          c.resolutionIsList = false;
          c.resolutionMin = a, c.resolutionMax = b, c.resolutionStep = s;
        } else bad();
      } else {
        std::vector<double> list;
        bool ok = true;
        for (const auto& item : SplitList(value)) {
          if (ParseDouble(item, d) && d > 0 && d <= 32767) list.push_back(d);
          else ok = false;
        }
        if (ok && !list.empty()) {
          std::sort(list.begin(), list.end());
          list.erase(std::unique(list.begin(), list.end()), list.end());
          c.resolutionIsList = true;
          c.resolutionList = list;
        } else bad();
      }
    } else if (key == "defaultresolution") {
      if (ParseDouble(value, d) && d > 0) c.defaultResolution = d; else bad();
    } else if (key == "feeder") boolean(c.feeder);
    else if (key == "pagesloaded") {
      if (ParseInt(value, 0, 65534, n)) c.pagesLoaded = static_cast<int>(n); else bad();
    } else if (key == "maxconnections") {
      if (ParseInt(value, 1, 64, n)) c.maxConnections = static_cast<int>(n); else bad();
    } else if (key == "maximagemb") {
      if (ParseInt(value, 1, 4095, n)) c.maxImageBytes = uint64_t(n) << 20; else bad();
    } else if (key == "refuseget") caps(c.refuseGet);
    else if (key == "refuseset") caps(c.refuseSet);
    else if (key == "unsupported") caps(c.unsupported);
    else if (key == "container") {
      pairs([&](TW_UINT16 cap, const std::string& kind) {
        TW_UINT16 con = kind == "onevalue" ? TWON_ONEVALUE : kind == "enumeration" ? TWON_ENUMERATION
                       : kind == "range" ? TWON_RANGE : 0;
        if (con) c.containerOverride[cap] = con;
        return con != 0;
      });
    } else if (key == "containerlie") {
      pairs([&](TW_UINT16 cap, const std::string& kind) {
        unsigned lie = kind == "numitems" ? kLieNumItems : kind == "currentindex" ? kLieCurrentIndex
                      : kind == "defaultindex" ? kLieDefaultIndex : kind == "short" ? kLieShortBlock : 0;
        if (lie) c.containerLies[cap] |= lie;
        return lie != 0;
      });
    } else if (key == "emptyenumeration") caps(c.emptyEnumeration);
    else if (key == "enumerationtype") {
      pairs([&](TW_UINT16 cap, const std::string& kind) {
        TW_UINT16 type = kind == "bool" ? TWTY_BOOL : kind == "fix32" ? TWTY_FIX32 : kind == "uint32" ? TWTY_UINT32 : 0;
        if (type) c.enumerationType[cap] = type;
        return type != 0;
      });
    } else if (key == "failwithcontainer") caps(c.failWithContainer);
    else if (key == "defaultasrange") caps(c.defaultAsRange);
    else if (key == "enableresult") {
      if (lv == "success") c.enableCheckStatus = false;
      else if (lv == "checkstatus") c.enableCheckStatus = true;
      else bad();
    } else if (key == "refuseimageinfo") boolean(c.refuseImageInfo);
    else if (key == "transferresult") {
      if (lv == "xferdone") c.transferResult = TransferResult::XferDone;
      else if (lv == "cancel") c.transferResult = TransferResult::Cancel;
      else if (lv == "failure") c.transferResult = TransferResult::Failure;
      else bad();
    } else if (key == "imagesperscan") {
      if (ParseInt(value, 1, 65534, n)) c.imagesPerScan = static_cast<uint32_t>(n); else bad();
    } else if (key == "pendingcount") {
      if (lv == "exact") c.unknownCount = false;
      else if (lv == "unknown") c.unknownCount = true;
      else bad();
    } else if (key == "dibheader") {
      if (lv == "info") c.dibHeader = DibHeader::Info;
      else if (lv == "core") c.dibHeader = DibHeader::Core;
      else bad();
    } else if (key == "dibcolortable") {
      if (lv == "full") c.shortColorTable = false;
      else if (lv == "short") c.shortColorTable = true;
      else bad();
    } else if (key == "dibsizeimage") {
      if (lv == "set") c.zeroSizeImage = false;
      else if (lv == "zero") c.zeroSizeImage = true;
      else bad();
    } else if (key == "dibtruncate") boolean(c.truncateDib);
    else if (key == "refuseendxfer") boolean(c.refuseEndXfer);
    else if (key == "refuseendxfercount") {
      if (ParseInt(value, 0, 1000000, n)) c.refuseEndXferCount = static_cast<uint32_t>(n); else bad();
    } else if (key == "refuseendxferat") {
      if (ParseInt(value, 0, 1000000, n)) c.refuseEndXferAt = static_cast<uint32_t>(n); else bad();
    } else if (key == "refuseenableafter") {
      if (ParseInt(value, 0, 1000000, n)) c.refuseEnableAfter = static_cast<uint32_t>(n); else bad();
    } else if (key == "announceafter") {
      if (lv == "never") c.announceAfterMs = -1;
      else if (ParseInt(value, 0, 3600000, n)) c.announceAfterMs = n;
      else bad();
    } else if (key == "deliverdelay") {
      if (ParseInt(value, 0, 3600000, n)) c.deliverDelayMs = static_cast<uint32_t>(n); else bad();
    } else if (key == "stopansweringafter") {
      if (ParseInt(value, 0, 1000000, n)) c.stopAnsweringAfter = static_cast<uint32_t>(n); else bad();
    } else if (key == "closewhendone") boolean(c.closeWhenDone);
    else if (key == "closeafter") {
      if (ParseInt(value, 0, 1000000, n)) c.closeAfter = static_cast<uint32_t>(n); else bad();
    } else if (key == "refusenative") boolean(c.refuseNative);
    else if (key == "refuseimagelayout") {
      bool b = false;
      if (lv == "get") c.refuseLayout = LayoutRefusal::Get;
      else if (lv == "set") c.refuseLayout = LayoutRefusal::Set;
      else if (ParseBool(value, b)) c.refuseLayout = b ? LayoutRefusal::All : LayoutRefusal::None;
      else bad();
    } else if (key == "physicalsize") boolean(c.physicalSize);
    else warn("unknown key " + Trim(t.substr(0, eq)));
  }

  // A limited number of refusals means refusing.
  if (c.refuseEndXferCount > 0) c.refuseEndXfer = true;

  // The default resolution must be one the device offers.
  if (c.resolutionIsList) {
    if (std::find(c.resolutionList.begin(), c.resolutionList.end(), c.defaultResolution) == c.resolutionList.end()) {
      double best = c.resolutionList.front();
      for (double r : c.resolutionList)
        if (std::fabs(r - c.defaultResolution) < std::fabs(best - c.defaultResolution)) best = r;
      c.defaultResolution = best;
    }
  } else {
    c.defaultResolution = std::clamp(c.defaultResolution, c.resolutionMin, c.resolutionMax);
  }
  return c;
}

}  // namespace korven::virtualds
