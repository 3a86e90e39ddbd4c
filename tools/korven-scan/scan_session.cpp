// The scanning glue: korven-scan's actions done with a TScanner through its published properties,
// Execute, Select, SourceNames, GetSourceInfo and its capability query for the values a source lists.
#include "scan_session.h"

#include <korven/Scanner.h>
#include <strings.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace korven::scan {

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// The command line's enumerations share the component's order.
TScanPixelType ToComponent(PixelType t) { return static_cast<TScanPixelType>(int(t)); }
TScanPaperSize ToComponent(Paper p) { return static_cast<TScanPaperSize>(int(p)); }
// The component's unit for a command-line unit; millimetres have none and are converted here.
std::optional<TScanUnitMode> ComponentUnit(Unit u) {
  if (u == Unit::Mm) return std::nullopt;
  return static_cast<TScanUnitMode>(int(u));
}
Unit FromComponent(TScanUnitMode u) { return static_cast<Unit>(int(u)); }

const char* ComponentPixelTypeName(int t) {
  static const char* names[] = {"bw", "gray", "rgb", "palette", "cmy", "cmyk", "yuv", "yuvk", "ciexyz"};
  return t >= 0 && t < 9 ? names[t] : "?";
}

// Twips per unit; the pixel unit depends on the resolution.
double TwipsPerUnit(Unit unit, double dpi) {
  switch (unit) {
    case Unit::Inch: return 1440;
    case Unit::Cm: return 567;
    case Unit::Pica: return 240;
    case Unit::Point: return 20;
    case Unit::Twips: return 1;
    case Unit::Pixel: return 1440.0 / (dpi == 0 ? 1 : dpi);
    case Unit::Mm: return 1440.0 / 25.4;
  }
  return 1;
}

std::string Seconds(double s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f s", s);
  return buf;
}

std::string Number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

// What a source offers for one numeric setting: a list (an enumeration, such as resolutions of
// 75, 150, 300, 600) or a range from min to max by step.
struct Offered {
  bool list = false;
  std::vector<double> values;
  double min = 0, max = 0, step = 0;

  // Outside every offered value (a little slack for TW_FIX32's rounding).
  bool Outside(double v) const {
    double lo = list ? values.front() : min, hi = list ? values.back() : max;
    return v < lo - 1e-3 || v > hi + 1e-3;
  }
  std::string Text() const {
    if (list) {
      std::string text;
      for (double v : values) text += (text.empty() ? "" : ", ") + Number(v);
      return text;
    }
    return Number(min) + " to " + Number(max) + (step > 0 ? " in steps of " + Number(step) : "");
  }
};

Offered OfferedValues(TScanner& s, TScanRange* r) {
  Offered o;
  o.min = r->GetMin();
  o.max = r->GetMax();
  o.step = r->GetStep();
  // The range object holds an enumeration as its default alone (step 0); the list itself comes
  // from the component's capability query.
  vcl::TList items;
  int32_t current = 0, byDefault = 0;
  if (s.GetActive() && o.step == 0 && s.TWAIN_GetCapEnumeration(r->GetCapability(), TWTY_FIX32, &items, current, byDefault) &&
      items.Count() > 0) {
    o.list = true;
    for (int i = 0; i < items.Count(); ++i) o.values.push_back(double(reinterpret_cast<intptr_t>(items.Get(i))));
    std::sort(o.values.begin(), o.values.end());
    o.values.erase(std::unique(o.values.begin(), o.values.end()), o.values.end());
  }
  return o;
}

// The component keeps pages only until the next one arrives; korven-scan keeps none: each page is
// encoded as it comes. Holds what the two scan events need.
struct Batch {
  PageWriter writer;
  Console& console;
  TScanner& scanner;
  int limit = 0;            // 0: no limit
  int announced = 0;
  int delivered = 0;
  Resolution announcedRes;  // from the image information, for a DIB that carries none
  std::string outputError;
  Clock::time_point pageStart = Clock::now();

  ImageFormat format;

  Batch(const Options& o, Console& c, TScanner& s)
      : writer(o.output, o.format), console(c), scanner(s), format(o.format) {}
};

// Finds the installed source the person means: the manager opens a source only by its exact name,
// so a name given in another case is replaced by the installed spelling (an exact match wins).
std::optional<std::string> InstalledName(TScanner& s, const std::string& wanted) {
  vcl::TStrings* names = s.GetSourceNames();
  std::optional<std::string> found;
  for (int i = 0; i < names->GetCount(); ++i) {
    std::string name = names->Strings(i);
    if (name == wanted) return name;
    if (!found && strcasecmp(name.c_str(), wanted.c_str()) == 0) found = name;
  }
  return found;
}

// Picks the source: an installed name (the component would fall back to the default source for a
// name it cannot open, so it is checked first), the manager's dialog, or the default source.
// Returns an exit code, or -1 to go on.
int ChooseSource(const Options& o, Console& console, TScanner& s) {
  s.SetUseDefaultSource(true);  // never the selection dialog unless --select asks for it
  s.SetShowUI(o.showUI);
  if (o.select) {
    if (!s.Select()) {
      console.Error("no source chosen");
      return kExitNoPage;
    }
  }
  if (!o.source.empty()) {
    auto name = InstalledName(s, o.source);
    if (!name) {
      console.Error("no source named '" + o.source + "' is installed (korven-scan --list shows them)");
      return kExitScanner;
    }
    s.SetSourceName(*name);
  }
  return -1;
}

// Activates; returns an exit code, or -1 to go on.
int Activate(const Options& o, Console& console, TScanner& s) {
  std::string wanted = s.GetSourceName();
  if (!s.Open()) {
    console.Error("no source was opened");
    return kExitNoPage;
  }
  if (!o.source.empty() && s.GetSourceName() != wanted) {
    console.Error("the source '" + wanted + "' could not be opened");
    return kExitScanner;
  }
  return -1;
}

// Sets one numeric setting. A value outside everything the source offers is refused (exit 2) with
// what it offers; a value the source moves (rounds, snaps to a listed value) is reported, as
// scanimage reports it. Returns an exit code, or -1 to go on.
int SetRange(Console& console, TScanner& s, TScanRange* range, const char* name, const std::optional<double>& value) {
  if (!value) return -1;
  if (!range->GetSupported()) {
    console.Warning(std::string("the source has no --") + name + " setting; --" + name + " " + Number(*value) + " is ignored");
    return -1;
  }
  Offered offered = OfferedValues(s, range);
  if (offered.Outside(*value)) {
    console.Error(std::string(name) + " " + Number(*value) + " is not offered by the source '" + s.GetSourceName() +
                  "'; it offers " + offered.Text());
    return kExitUsage;
  }
  range->SetValue(float(*value));
  double got = range->GetValue();
  if (std::fabs(got - *value) > 1e-3 * std::max(1.0, std::fabs(*value)))
    console.Note(std::string("rounded value of ") + name + " from " + Number(*value) + " to " + Number(got));
  return -1;
}

// The scan area asked for, in twips: --frame in --unit, or scanimage's -l -t -x -y in millimetres
// (an edge not given reaches to the platen's far side).
struct Area {
  double left, top, width, height;  // twips
  Unit unit;                        // how the command line gave it
  std::string option;               // "--frame" or "-l/-t/-x/-y"
};

std::optional<Area> AskedArea(const Options& o, double platenW, double platenH, double dpi) {
  if (o.frame) {
    double k = TwipsPerUnit(o.unit, dpi);
    return Area{o.frame->left * k, o.frame->top * k, o.frame->width * k, o.frame->height * k, o.unit, "--frame"};
  }
  if (!o.edges.Any()) return std::nullopt;
  double mm = TwipsPerUnit(Unit::Mm, dpi);
  double left = o.edges.left.value_or(0) * mm, top = o.edges.top.value_or(0) * mm;
  double width = o.edges.width ? *o.edges.width * mm : platenW - left;
  double height = o.edges.height ? *o.edges.height * mm : platenH - top;
  return Area{left, top, width, height, Unit::Mm, "-l/-t/-x/-y"};
}

// Unit and scan area; returns an exit code, or -1 to go on.
int ApplyArea(const Options& o, Console& console, TScanner& s) {
  if (o.unitGiven)
    if (auto u = ComponentUnit(o.unit)) s.SetUnitMode(*u);
  if (o.paper) {
    s.SetPaperSize(ToComponent(*o.paper));
    if (s.GetPaperSize() != ToComponent(*o.paper))
      console.Warning(std::string("--paper ") + PaperName(*o.paper) + " is larger than the platen; the platen's part of it is scanned");
  }
  double dpi = s.GetResolution()->GetValue();
  double perUnit = TwipsPerUnit(FromComponent(s.GetUnitMode()), dpi);  // twips per component unit
  double platenW = s.GetMaxFrameWidth() * perUnit, platenH = s.GetMaxFrameHeight() * perUnit;
  auto area = AskedArea(o, platenW, platenH, dpi);
  if (!area) return -1;
  double k = TwipsPerUnit(area->unit, dpi);  // twips per unit the person used
  auto shown = [&](double a, double b, double c, double d) {
    return Number(a / k) + "," + Number(b / k) + "," + Number(c / k) + "," + Number(d / k);
  };
  const std::string platen = Number(platenW / k) + " x " + Number(platenH / k) + " " + UnitName(area->unit);
  // A tolerance of a pixel: rounding, not a change.
  const double pixel = dpi > 0 ? 1440.0 / dpi : 1;
  if (area->left >= platenW - pixel / 2 || area->top >= platenH - pixel / 2 || area->width <= 0 || area->height <= 0) {
    console.Error(area->option + " " + shown(area->left, area->top, area->width, area->height) + " " +
                  UnitName(area->unit) + " has no area on the source's platen (" + platen + ")");
    return kExitUsage;
  }
  s.SetBounds(float(area->left / perUnit), float(area->top / perUnit), float(area->width / perUnit),
              float(area->height / perUnit));
  // A source clamps a frame its platen cannot hold: say so, and which area is scanned instead.
  const double want[4] = {area->left, area->top, area->width, area->height};
  const double got[4] = {s.GetFrameLeft() * perUnit, s.GetFrameTop() * perUnit, s.GetFrameWidth() * perUnit,
                         s.GetFrameHeight() * perUnit};
  bool changed = false;
  for (int i = 0; i < 4; ++i) changed |= std::fabs(got[i] - want[i]) > pixel + 1e-4 * std::fabs(want[i]);
  if (changed)
    console.Warning(area->option + " " + shown(want[0], want[1], want[2], want[3]) + " does not fit the source's platen (" +
                    platen + "); " + shown(got[0], got[1], got[2], got[3]) + " " + UnitName(area->unit) + " is scanned");
  return -1;
}

// Sends every setting of the command line; returns an exit code, or -1 to go on.
int ApplyOptions(const Options& o, Console& console, TScanner& s) {
  if (o.pixelType) {
    TScanPixelType want = ToComponent(*o.pixelType);
    if (!s.GetPixelTypes().Contains(want)) {
      std::string offered;
      for (int t = 0; t < 9; ++t)
        if (s.GetPixelTypes().Contains(static_cast<TScanPixelType>(t))) offered += std::string(offered.empty() ? "" : ", ") + ComponentPixelTypeName(t);
      console.Error(std::string("the source offers no pixel type ") + PixelTypeName(*o.pixelType) + " (it offers " +
                    (offered.empty() ? "none it names" : offered) + ")");
      return kExitScanner;
    }
    s.SetPixelType(want);
  }
  std::optional<int> bits = o.bitDepth;
  if (o.depthPerSample) bits = s.GetPixelType() == ptRGB ? 3 * *o.depthPerSample : *o.depthPerSample;
  if (bits) {
    s.SetBitDepth(*bits);
    if (s.GetBitDepth() != *bits) {
      console.Error("the source does not scan " + std::string(ComponentPixelTypeName(s.GetPixelType())) + " in " +
                    std::to_string(*bits) + " bits");
      return kExitScanner;
    }
  }
  const std::pair<TScanRange*, const std::optional<double>*> ranges[] = {
      {s.GetResolution(), &o.resolution}, {s.GetScaling(), &o.scaling},     {s.GetBrightness(), &o.brightness},
      {s.GetContrast(), &o.contrast},     {s.GetGamma(), &o.gamma},         {s.GetHighlight(), &o.highlight},
      {s.GetShadow(), &o.shadow},         {s.GetThreshold(), &o.threshold}};
  static const char* names[] = {"resolution", "scaling", "brightness", "contrast", "gamma", "highlight", "shadow", "threshold"};
  for (size_t i = 0; i < std::size(ranges); ++i)
    if (int rc = SetRange(console, s, ranges[i].first, names[i], *ranges[i].second); rc >= 0) return rc;
  if (o.autoBright) {
    s.SetAutoBright(true);
    if (!s.GetAutoBright()) console.Warning("the source has no automatic brightness; --auto-bright is ignored");
  }
  if (int rc = ApplyArea(o, console, s); rc >= 0) return rc;
  if (o.flatbed && s.GetHasFeeder()) s.SetFeederEnabled(false);
  if (o.feeder) {
    if (!s.GetHasFeeder()) {
      console.Error("the source '" + s.GetSourceName() + "' has no document feeder");
      return kExitScanner;
    }
    s.SetFeederEnabled(true);
    if (!s.GetFeederEnabled()) {
      console.Error("the source's document feeder cannot be switched on");
      return kExitScanner;
    }
    if (!s.GetFeederLoaded() && !(o.batch && o.batch->prompt)) {
      console.Error("the document feeder is empty");
      return kExitNoPage;
    }
  }
  return -1;
}

void PrintRange(TScanner& s, const char* name, TScanRange* r) {
  if (!r->GetSupported()) {
    std::printf("  %-12s not supported\n", name);
    return;
  }
  Offered offered = OfferedValues(s, r);
  if (offered.list) {
    std::printf("  %-12s %s (one of %s, default %s)\n", name, Number(r->GetValue()).c_str(), offered.Text().c_str(),
                Number(r->GetDefault()).c_str());
    return;
  }
  std::printf("  %-12s %s (from %s to %s, step %s, default %s)\n", name, Number(r->GetValue()).c_str(),
              Number(r->GetMin()).c_str(), Number(r->GetMax()).c_str(), Number(r->GetStep()).c_str(),
              Number(r->GetDefault()).c_str());
}

// Asks the person before each scan of a --batch-prompt batch; false ends the batch. Without a
// terminal nobody can answer, so the box's default button is Cancel there (scanimage likewise ends
// the batch when its input ends).
bool AskForNextPage(const Options& o, TScanner& s, int number) {
  std::string text = o.feeder ? "Load the document feeder (page " + std::to_string(number) + " comes next)."
                              : "Place document no. " + std::to_string(number) + " on the scanner.";
  text += " OK scans; Cancel ends the batch.";
  UINT type = MB_OKCANCEL | (PersonAtTerminal() ? MB_DEFBUTTON1 : MB_DEFBUTTON2);
  return MessageBoxA(s.GetHandle(), text.c_str(), "korven-scan", type) == IDOK;
}

}  // namespace

std::string DescribeScannerError(const std::string& message) {
  char dir[MAX_PATH] = "";
  GetWindowsDirectoryA(dir, sizeof dir);
  const std::string windows = dir;
  if (message == vcl::LoadStr(SCannotLoadManager))
    return "cannot load the TWAIN Data Source Manager " + windows + "/TWAIN_32.DLL (set $KORVEN_WINDOWS_DIR to the folder that holds it)";
  if (message == vcl::LoadStr(SNoScannerInstalled)) return "no TWAIN source is installed (no *.ds in " + windows + "/twain_32)";
  if (message == vcl::LoadStr(SScannerDoesNotWork)) return "the default TWAIN source does not open";
  if (message == vcl::LoadStr(SScannerNotActive)) return "the scanner is not active";
  return message;
}

int RunList(const Options&, Console& console) {
  TScanner s(nullptr);
  vcl::TStrings* names = s.GetSourceNames();
  if (names->GetCount() == 0) {
    // An empty list also comes from a manager that does not load: activating tells which.
    s.SetUseDefaultSource(true);
    s.Open();
    s.Close();
    console.Error("no TWAIN source is installed");
    return kExitScanner;
  }
  // The manager's default source is the one an activation without a name opens.
  std::string byDefault;
  s.SetUseDefaultSource(true);
  try {
    if (s.Open()) byDefault = s.GetSourceName();
    s.Close();
  } catch (const EScanner&) {
  }
  for (int i = 0; i < names->GetCount(); ++i) {
    std::string name = names->Strings(i);
    std::printf("%s%s\n", name.c_str(), name == byDefault ? " *" : "");
  }
  return kExitPages;
}

int RunInfo(const Options& o, Console& console) {
  TScanner s(nullptr);
  if (int rc = ChooseSource(o, console, s); rc >= 0) return rc;
  if (int rc = Activate(o, console, s); rc >= 0) return rc;
  // Settings given with --info (-A) are applied first, so the listing shows what the source made of them.
  if (int rc = ApplyOptions(o, console, s); rc >= 0) return rc;
  TScanSourceInfo info = s.GetSourceInfo();
  std::printf("Source:        %s\n", info.ProductName.c_str());
  std::printf("Manufacturer:  %s\n", info.Manufacturer.c_str());
  std::printf("Family:        %s\n", info.ProductFamily.c_str());
  std::printf("Version:       %d.%d (%s)\n", int(info.MajorNum), int(info.MinorNum), info.VersionInfo.c_str());
  std::printf("Component:     %s\n", s.GetVersion().c_str());
  std::string types;
  for (int t = 0; t < 9; ++t)
    if (s.GetPixelTypes().Contains(static_cast<TScanPixelType>(t)))
      types += std::string(types.empty() ? "" : ", ") + ComponentPixelTypeName(t);
  std::printf("Pixel types:   %s (now %s, %d bits)\n", types.c_str(), ComponentPixelTypeName(s.GetPixelType()),
              int(s.GetBitDepth()));
  std::string units;
  for (int u = 0; u < 6; ++u)
    if (s.GetUnitModes().Contains(static_cast<TScanUnitMode>(u)))
      units += std::string(units.empty() ? "" : ", ") + UnitName(static_cast<Unit>(u));
  std::printf("Units:         %s (now %s)\n", units.c_str(), UnitName(FromComponent(s.GetUnitMode())));
  // Sizes in --unit (millimetres are converted here), else in the source's unit.
  Unit shown = o.unitGiven ? o.unit : FromComponent(s.GetUnitMode());
  double dpi = s.GetResolution()->GetValue();
  double k = TwipsPerUnit(FromComponent(s.GetUnitMode()), dpi) / TwipsPerUnit(shown, dpi);
  auto n = [&](float v) { return Number(v * k); };
  const char* unitName = UnitName(shown);
  std::printf("Platen:        %s x %s %s\n", n(s.GetMaxFrameWidth()).c_str(), n(s.GetMaxFrameHeight()).c_str(), unitName);
  std::printf("Frame:         %s, %s, %s x %s %s\n", n(s.GetFrameLeft()).c_str(), n(s.GetFrameTop()).c_str(),
              n(s.GetFrameWidth()).c_str(), n(s.GetFrameHeight()).c_str(), unitName);
  std::printf("Native dpi:    %s x %s\n", Number(s.GetXNativeResolution()).c_str(), Number(s.GetYNativeResolution()).c_str());
  bool feeder = s.GetHasFeeder();
  std::printf("Feeder:        %s\n", feeder ? (s.GetFeederLoaded() ? "yes, loaded" : "yes, empty") : "no");
  std::printf("Auto bright:   %s\n", s.GetAutoBright() ? "on" : "off");
  std::printf("Settings:\n");
  PrintRange(s, "resolution", s.GetResolution());
  PrintRange(s, "scaling", s.GetScaling());
  PrintRange(s, "brightness", s.GetBrightness());
  PrintRange(s, "contrast", s.GetContrast());
  PrintRange(s, "gamma", s.GetGamma());
  PrintRange(s, "highlight", s.GetHighlight());
  PrintRange(s, "shadow", s.GetShadow());
  PrintRange(s, "threshold", s.GetThreshold());
  s.Close();
  return kExitPages;
}

// Ends a scan that waits for the scanner past --timeout: it asks the component to stop waiting
// (Abort) and to take no further page (MultiTransfer off), so the acquisition ends as if cancelled and
// the session goes down cleanly. Armed for each wait, re-armed when a page comes; a transfer under
// way is not interrupted (the timer only fires while the component waits for messages).
class Watchdog {
 public:
  Watchdog(TScanner& s, double seconds) : s_(s), ms_(seconds > 0 ? UINT(std::min(seconds * 1000, 4.0e9)) : 0) {
    current_ = this;
  }
  ~Watchdog() {
    Disarm();
    current_ = nullptr;
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

  void Arm(const char* waitingFor) {
    Disarm();
    waitingFor_ = waitingFor;
    if (ms_) timer_ = SetTimer(0, 0, ms_, &Watchdog::Expired);
  }
  void Disarm() {
    if (timer_) KillTimer(0, timer_);
    timer_ = 0;
  }
  bool Fired() const { return fired_; }
  const std::string& WaitingFor() const { return waitingFor_; }

 private:
  static void CALLBACK Expired(HWND, UINT, UINT_PTR, DWORD) {
    Watchdog* w = current_;
    if (!w) return;
    w->Disarm();
    w->fired_ = true;
    w->s_.SetMultiTransfer(false);
    w->s_.Abort();
  }
  static inline Watchdog* current_ = nullptr;
  TScanner& s_;
  UINT ms_;
  UINT_PTR timer_ = 0;
  bool fired_ = false;
  std::string waitingFor_;
};

int RunScan(const Options& o, Console& console) {
  TScanner s(nullptr);
  if (int rc = ChooseSource(o, console, s); rc >= 0) return rc;
  if (int rc = Activate(o, console, s); rc >= 0) return rc;
  if (int rc = ApplyOptions(o, console, s); rc >= 0) return rc;
  if (o.dontScan) {
    s.Close();
    return kExitPages;
  }

  Batch batch(o, console, s);
  if (o.batch) batch.writer.SetNumbering(o.batch->start, o.batch->increment);
  if (console.MeterOn())
    batch.writer.SetProgress([&batch](int row, int rows) {
      batch.console.Meter("page " + std::to_string(batch.delivered + 1) + ": writing " + FormatName(batch.format) + " " +
                              std::to_string(int(100.0 * row / rows)) + "% (" + std::to_string(row) + " of " +
                              std::to_string(rows) + " rows), " + Seconds(Since(batch.pageStart)),
                          row == rows);
    });
  batch.limit = o.pages ? *o.pages : o.batch && o.batch->count ? *o.batch->count : 0;
  if (!HoldsManyPages(o.format) && !HasPageNumber(o.output)) batch.limit = 1;
  const bool prompt = o.batch && o.batch->prompt;
  // The feeder gives all its pages in one acquisition. The flatbed gives one page per acquisition:
  // a batch scans it again for each page (after asking, with --batch-prompt).
  int rounds = 1;
  if (!o.feeder) {
    if (prompt) rounds = 0;  // as long as the person goes on
    else if (o.batch && o.batch->count) rounds = *o.batch->count;
    if (o.pages && *o.pages > 1)
      console.Warning("--pages " + std::to_string(*o.pages) + ": the flatbed holds one page, so one page is scanned; "
                      "--feeder (--source ADF) scans up to " + std::to_string(*o.pages) + " pages from the feeder");
    else if (o.batch && !o.batch->count && !prompt)
      console.Warning("--batch on the flatbed scans one page; --batch-count N scans it N times, --batch-prompt asks "
                      "before each page, --source ADF takes the feeder's pages");
  } else if (prompt) {
    rounds = 0;
  }
  s.SetMultiTransfer(o.feeder && batch.limit != 1);

  Watchdog watchdog(s, o.timeoutSeconds);
  s.SetOnBeforeScan([&batch, &watchdog](vcl::TObject*, const TScanImageInfo& info, bool&) {
    watchdog.Disarm();  // the page is on its way
    ++batch.announced;
    batch.announcedRes = {info.XResolution, info.YResolution};
  });
  s.SetOnAfterScan([&batch, &watchdog](vcl::TObject*, vcl::TBitmap* bitmap, bool& cancel) {
    watchdog.Arm("the scanner to announce the next page");
    // Nothing may leave this handler: the component would show it in a message box.
    try {
      Resolution res = ResolutionOf(*bitmap);
      batch.writer.AddPage(*bitmap, res.Known() ? res : batch.announcedRes);
      ++batch.delivered;
      batch.console.Progress(PageLine(batch.delivered, *bitmap, Since(batch.pageStart)));
    } catch (const std::exception& e) {
      batch.outputError = e.what();
      cancel = true;
      return;
    }
    batch.pageStart = Clock::now();
    if ((batch.limit && batch.delivered >= batch.limit) || !batch.writer.AcceptsMorePages()) cancel = true;
  });

  for (int round = 0; rounds == 0 || round < rounds; ++round) {
    if (prompt) {
      int number = (o.batch ? o.batch->start + batch.delivered * o.batch->increment : batch.delivered + 1);
      if (!AskForNextPage(o, s, number)) break;
    }
    int before = batch.delivered;
    batch.pageStart = Clock::now();
    console.Meter("page " + std::to_string(batch.delivered + 1) + ": scanning...", true);
    watchdog.Arm("the scanner to announce a page");
    s.Execute();
    watchdog.Disarm();
    if (watchdog.Fired()) break;
    if (!batch.outputError.empty()) break;
    if (batch.limit && batch.delivered >= batch.limit) break;
    if (!batch.writer.AcceptsMorePages()) break;
    if (batch.delivered == before && !prompt) break;  // nothing came: an empty feeder, a failure
  }
  s.SetOnAfterScan(nullptr);
  s.SetOnBeforeScan(nullptr);
  s.Close();

  if (!batch.outputError.empty()) {
    batch.writer.Discard();
    console.Error(batch.outputError);
    return kExitOutput;
  }
  if (watchdog.Fired()) {
    // Pages already put in place (one file each) stay; a file of several pages is not completed.
    batch.writer.Discard();
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", o.timeoutSeconds);
    console.Error("cancelled after waiting " + std::string(seconds) + " s for " + watchdog.WaitingFor() +
                  " (--timeout)" + (batch.delivered ? "; " + std::to_string(batch.delivered) + " page(s) came before" : ""));
    return kExitScanner;
  }
  if (batch.delivered == 0) {
    if (batch.announced > 0) {
      std::string why = console.LastDiagnostic();
      console.Error("the source announced a page but did not transfer it" + (why.empty() ? "" : " (" + why + ")"));
      return kExitScanner;
    }
    console.Error("no page scanned (cancelled, or the source delivered nothing)");
    return kExitNoPage;
  }
  batch.writer.Commit();
  const auto& files = batch.writer.Files();
  std::string where = files.size() == 1 ? files.front() : files.front() + " ... " + files.back();
  console.Progress(std::to_string(batch.delivered) + (batch.delivered == 1 ? " page" : " pages") + " written to " + where);
  return kExitPages;
}

}  // namespace korven::scan
