// The scanning glue: korven-scan's actions done with a TScanner through its published properties,
// Execute, Select, SourceNames and GetSourceInfo. No TWAIN call of its own.
#include "scan_session.h"

#include <korven/Scanner.h>
#include <windows.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

namespace korven::scan {

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// The command line's enumerations share the component's order.
TScanPixelType ToComponent(PixelType t) { return static_cast<TScanPixelType>(int(t)); }
TScanUnitMode ToComponent(Unit u) { return static_cast<TScanUnitMode>(int(u)); }
TScanPaperSize ToComponent(Paper p) { return static_cast<TScanPaperSize>(int(p)); }

const char* ComponentPixelTypeName(int t) {
  static const char* names[] = {"bw", "gray", "rgb", "palette", "cmy", "cmyk", "yuv", "yuvk", "ciexyz"};
  return t >= 0 && t < 9 ? names[t] : "?";
}

// Twips per unit; the pixel unit depends on the resolution.
double TwipsPerUnit(int unit, double dpi) {
  switch (unit) {
    case 0: return 1440;
    case 1: return 567;
    case 2: return 240;
    case 3: return 20;
    case 4: return 1;
    case 5: return 1440.0 / (dpi == 0 ? 1 : dpi);
  }
  return 1;
}

std::string Number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
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

  Batch(const Options& o, Console& c, TScanner& s) : writer(o.output, o.format), console(c), scanner(s) {}
};


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
    vcl::TStrings* names = s.GetSourceNames();
    if (names->IndexOf(o.source) < 0) {
      console.Error("no source named '" + o.source + "' is installed (korven-scan --list shows them)");
      return kExitScanner;
    }
    s.SetSourceName(o.source);
  }
  return -1;
}

// Activates; returns an exit code, or -1 to go on.
int Activate(const Options& o, Console& console, TScanner& s) {
  if (!s.Open()) {
    console.Error("no source was opened");
    return kExitNoPage;
  }
  if (!o.source.empty() && s.GetSourceName() != o.source) {
    console.Error("the source '" + o.source + "' could not be opened");
    return kExitScanner;
  }
  return -1;
}

// Sets one numeric setting, telling the person when the source does not have it or holds another
// range.
void SetRange(Console& console, TScanRange* range, const char* option, const std::optional<double>& value) {
  if (!value) return;
  if (!range->GetSupported()) {
    console.Warning(std::string("the source has no ") + option + " setting; " + option + " " + Number(*value) + " is ignored");
    return;
  }
  float v = float(*value);
  if (range->GetMax() > range->GetMin() && (v < range->GetMin() || v > range->GetMax()))
    console.Warning(std::string(option) + " " + Number(*value) + " lies outside the source's range " +
                    Number(range->GetMin()) + " to " + Number(range->GetMax()) + "; the source decides");
  range->SetValue(v);
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
  if (o.bitDepth) {
    s.SetBitDepth(*o.bitDepth);
    if (s.GetBitDepth() != *o.bitDepth) {
      console.Error("the source does not scan " + std::string(ComponentPixelTypeName(s.GetPixelType())) + " in " +
                    std::to_string(*o.bitDepth) + " bits");
      return kExitScanner;
    }
  }
  SetRange(console, s.GetResolution(), "--resolution", o.resolution);
  SetRange(console, s.GetScaling(), "--scaling", o.scaling);
  SetRange(console, s.GetBrightness(), "--brightness", o.brightness);
  SetRange(console, s.GetContrast(), "--contrast", o.contrast);
  SetRange(console, s.GetGamma(), "--gamma", o.gamma);
  SetRange(console, s.GetHighlight(), "--highlight", o.highlight);
  SetRange(console, s.GetShadow(), "--shadow", o.shadow);
  SetRange(console, s.GetThreshold(), "--threshold", o.threshold);
  if (o.autoBright) {
    s.SetAutoBright(true);
    if (!s.GetAutoBright()) console.Warning("the source has no automatic brightness; --auto-bright is ignored");
  }
  if (o.unitGiven) s.SetUnitMode(ToComponent(o.unit));
  if (o.paper) {
    s.SetPaperSize(ToComponent(*o.paper));
    if (s.GetPaperSize() != ToComponent(*o.paper))
      console.Warning(std::string("--paper ") + PaperName(*o.paper) + " is larger than the platen; the platen's part of it is scanned");
  }
  if (o.frame) {
    // The source may refuse the unit asked for; the frame is converted into whatever unit the
    // component ends up with, so it means the same area either way.
    double dpi = s.GetResolution()->GetValue();
    double k = TwipsPerUnit(int(o.unit), dpi) / TwipsPerUnit(int(s.GetUnitMode()), dpi);
    s.SetBounds(float(o.frame->left * k), float(o.frame->top * k), float(o.frame->width * k), float(o.frame->height * k));
    // A source clamps a frame its platen cannot hold, or drops it for the whole platen: say so, and
    // which area is scanned instead. A pixel's difference is rounding, not a change.
    const double want[4] = {o.frame->left, o.frame->top, o.frame->width, o.frame->height};
    const double got[4] = {s.GetFrameLeft() / k, s.GetFrameTop() / k, s.GetFrameWidth() / k, s.GetFrameHeight() / k};
    const double pixel = dpi > 0 ? TwipsPerUnit(5, dpi) / TwipsPerUnit(int(o.unit), dpi) : 0;
    bool changed = false;
    for (int i = 0; i < 4; ++i) changed |= std::fabs(got[i] - want[i]) > pixel + 1e-4 * std::fabs(want[i]);
    if (changed) {
      std::string unit = UnitName(o.unit);
      // An area wholly off the platen is clamped to nothing; the source then scans what it likes.
      std::string instead = got[2] > 0 && got[3] > 0
                                ? Number(got[0]) + "," + Number(got[1]) + "," + Number(got[2]) + "," + Number(got[3]) +
                                      " " + unit + " is scanned"
                                : "no area of it is left, so the source decides what it scans";
      console.Warning("--frame " + Number(want[0]) + "," + Number(want[1]) + "," + Number(want[2]) + "," + Number(want[3]) +
                      " does not fit the source's platen (" + Number(s.GetMaxFrameWidth() / k) + " x " +
                      Number(s.GetMaxFrameHeight() / k) + " " + unit + "); " + instead);
    }
  }
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
    if (!s.GetFeederLoaded()) {
      console.Error("the document feeder is empty");
      return kExitNoPage;
    }
  }
  return -1;
}

void PrintRange(const char* name, TScanRange* r) {
  if (!r->GetSupported()) {
    std::printf("  %-12s not supported\n", name);
    return;
  }
  std::printf("  %-12s %s (from %s to %s, step %s, default %s)\n", name, Number(r->GetValue()).c_str(),
              Number(r->GetMin()).c_str(), Number(r->GetMax()).c_str(), Number(r->GetStep()).c_str(),
              Number(r->GetDefault()).c_str());
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
  if (o.unitGiven) s.SetUnitMode(ToComponent(o.unit));
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
  const char* unitName = UnitName(static_cast<Unit>(int(s.GetUnitMode())));
  std::printf("Units:         %s (now %s)\n", units.c_str(), unitName);
  std::printf("Platen:        %s x %s %s\n", Number(s.GetMaxFrameWidth()).c_str(), Number(s.GetMaxFrameHeight()).c_str(), unitName);
  std::printf("Frame:         %s, %s, %s x %s %s\n", Number(s.GetFrameLeft()).c_str(), Number(s.GetFrameTop()).c_str(),
              Number(s.GetFrameWidth()).c_str(), Number(s.GetFrameHeight()).c_str(), unitName);
  std::printf("Native dpi:    %s x %s\n", Number(s.GetXNativeResolution()).c_str(), Number(s.GetYNativeResolution()).c_str());
  bool feeder = s.GetHasFeeder();
  std::printf("Feeder:        %s\n", feeder ? (s.GetFeederLoaded() ? "yes, loaded" : "yes, empty") : "no");
  std::printf("Auto bright:   %s\n", s.GetAutoBright() ? "on" : "off");
  std::printf("Settings:\n");
  PrintRange("resolution", s.GetResolution());
  PrintRange("scaling", s.GetScaling());
  PrintRange("brightness", s.GetBrightness());
  PrintRange("contrast", s.GetContrast());
  PrintRange("gamma", s.GetGamma());
  PrintRange("highlight", s.GetHighlight());
  PrintRange("shadow", s.GetShadow());
  PrintRange("threshold", s.GetThreshold());
  s.Close();
  return kExitPages;
}

int RunScan(const Options& o, Console& console) {
  TScanner s(nullptr);
  if (int rc = ChooseSource(o, console, s); rc >= 0) return rc;
  if (int rc = Activate(o, console, s); rc >= 0) return rc;
  if (int rc = ApplyOptions(o, console, s); rc >= 0) return rc;

  Batch batch(o, console, s);
  batch.limit = o.pages.value_or(0);
  if (!HoldsManyPages(o.format) && !HasPageNumber(o.output)) batch.limit = 1;
  bool many = batch.limit != 1 && o.Batch();
  s.SetMultiTransfer(many);

  s.SetOnBeforeScan([&batch](vcl::TObject*, const TScanImageInfo& info, bool&) {
    ++batch.announced;
    batch.announcedRes = {info.XResolution, info.YResolution};
  });
  s.SetOnAfterScan([&batch](vcl::TObject*, vcl::TBitmap* bitmap, bool& cancel) {
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

  s.Execute();
  s.SetOnAfterScan(nullptr);
  s.SetOnBeforeScan(nullptr);
  s.Close();

  if (!batch.outputError.empty()) {
    batch.writer.Discard();
    console.Error(batch.outputError);
    return kExitOutput;
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
