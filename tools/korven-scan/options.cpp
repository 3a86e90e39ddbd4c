// Command-line parsing (CLI11) and every check that can be made without a scanner.
//
// All values are taken as text and converted here, so that each refusal names the option and the
// value in the same one-line form, whatever went wrong.
#include "options.h"

#include <CLI/CLI.hpp>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <vector>

namespace korven::scan {

namespace {

namespace fs = std::filesystem;

constexpr const char* kProgram = "korven-scan";

// A usage error: one line, naming the bad value.
struct Usage {
  std::string reason;
};

std::string Quote(const std::string& s) { return "'" + s + "'"; }

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The whole text as a finite number.
bool ToNumber(const std::string& text, double& value) {
  std::string s = text;
  if (!s.empty() && s[0] == '+') s.erase(0, 1);
  if (s.empty()) return false;
  const char* end = s.data() + s.size();
  auto [p, ec] = std::from_chars(s.data(), end, value, std::chars_format::general);
  return ec == std::errc() && p == end && std::isfinite(value);
}

bool ToInteger(const std::string& text, int& value) {
  std::string s = text;
  if (!s.empty() && s[0] == '+') s.erase(0, 1);
  if (s.empty()) return false;
  const char* end = s.data() + s.size();
  auto [p, ec] = std::from_chars(s.data(), end, value);
  return ec == std::errc() && p == end;
}

// TWAIN carries these values as TW_FIX32: a signed 16-bit whole part.
constexpr double kFix32Max = 32767.0;

double Number(const std::string& option, const std::string& text, double min, double max, bool minOpen,
              const std::string& what) {
  double v = 0;
  if (!ToNumber(text, v)) throw Usage{option + " " + Quote(text) + " is not a number"};
  if (v < min || v > max || (minOpen && v == min)) throw Usage{option + " " + Quote(text) + ": " + what};
  return v;
}

template <class E, size_t N>
E Choice(const std::string& option, const std::string& text, const std::pair<const char*, E> (&table)[N]) {
  std::string key = Lower(text);
  std::string names;
  for (const auto& [name, value] : table) {
    if (key == name) return value;
    names += names.empty() ? "" : ", ";
    names += name;
  }
  throw Usage{option + " " + Quote(text) + " is not one of " + names};
}

constexpr std::pair<const char*, PixelType> kPixelTypes[] = {
    {"bw", PixelType::BlackWhite}, {"gray", PixelType::Gray}, {"rgb", PixelType::RGB}, {"palette", PixelType::Palette}};
constexpr std::pair<const char*, Unit> kUnits[] = {{"inch", Unit::Inch},   {"cm", Unit::Cm},       {"pica", Unit::Pica},
                                                   {"point", Unit::Point}, {"twips", Unit::Twips}, {"pixel", Unit::Pixel}};
constexpr std::pair<const char*, Paper> kPapers[] = {{"a5", Paper::A5}, {"a4", Paper::A4},         {"a3", Paper::A3},
                                                     {"b5", Paper::B5}, {"b4", Paper::B4},         {"letter", Paper::Letter},
                                                     {"postcard", Paper::PostCard}};

// The bit depths a pixel type can come in, as the component's bitmap can hold them.
bool DepthFits(PixelType t, int depth) {
  switch (t) {
    case PixelType::BlackWhite: return depth == 1;
    case PixelType::Gray:
    case PixelType::Palette: return depth == 4 || depth == 8;
    case PixelType::RGB: return depth == 16 || depth == 24 || depth == 32;
  }
  return false;
}

Frame ParseFrame(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t comma = text.find(',', start);
    parts.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  const std::string bad = "--frame " + Quote(text);
  if (parts.size() != 4) throw Usage{bad + " is not LEFT,TOP,WIDTH,HEIGHT (four numbers separated by commas)"};
  double v[4];
  static const char* names[4] = {"LEFT", "TOP", "WIDTH", "HEIGHT"};
  for (int i = 0; i < 4; ++i) {
    if (!ToNumber(parts[i], v[i])) throw Usage{bad + ": " + names[i] + " " + Quote(parts[i]) + " is not a number"};
    if (i < 2 && v[i] < 0) throw Usage{bad + ": " + names[i] + " must not be negative"};
    if (i >= 2 && v[i] <= 0) throw Usage{bad + ": " + names[i] + " must be greater than 0"};
  }
  return {v[0], v[1], v[2], v[3]};
}

void CheckOutput(Options& o) {
  const std::string& name = o.output;
  const std::string bad = "--output " + Quote(name);
  if (name.empty()) throw Usage{"--output needs a file name"};
  auto format = FormatForPath(name);
  if (!format) {
    size_t dot = name.find_last_of('.');
    size_t slash = name.find_last_of('/');
    std::string ext = (dot == std::string::npos || (slash != std::string::npos && dot < slash)) ? "" : name.substr(dot);
    throw Usage{bad + (ext.empty() ? " has no extension" : ": unknown extension " + Quote(ext)) +
                "; use .bmp, .png, .jpg, .jpeg, .tif, .tiff or .pdf"};
  }
  o.format = *format;
  std::string why = CheckNamePattern(name);
  if (!why.empty()) throw Usage{bad + ": " + why};
  fs::path first = PageFileName(name, 1);  // the name written: page 1, and '%' for "%%"
  fs::path folder = first.parent_path();
  if (HasPageNumber(name) && folder != fs::path(name).parent_path())
    throw Usage{bad + ": the page number belongs in the file name, not in a folder"};
  if (first.filename().empty() || first.filename() == "." || first.filename() == "..")
    throw Usage{bad + " names no file"};
  if (folder.empty()) folder = ".";
  std::error_code ec;
  auto st = fs::status(folder, ec);
  if (!fs::exists(st)) throw Usage{bad + ": folder " + Quote(folder.string()) + " does not exist"};
  if (!fs::is_directory(st)) throw Usage{bad + ": " + Quote(folder.string()) + " is not a folder"};
  if (access(folder.c_str(), W_OK | X_OK) != 0) throw Usage{bad + ": folder " + Quote(folder.string()) + " is not writable"};
  if (fs::is_directory(fs::status(first, ec))) throw Usage{bad + " is a folder"};
  if (o.Batch() && !HoldsManyPages(o.format) && !HasPageNumber(name))
    throw Usage{bad + ": a " + FormatName(o.format) +
                " file holds one page; for several pages use .tif or .pdf, or put %d in the name (one file per page)"};
}

}  // namespace

const char* PixelTypeName(PixelType t) { return kPixelTypes[int(t)].first; }
const char* UnitName(Unit u) { return kUnits[int(u)].first; }
const char* PaperName(Paper p) { return kPapers[int(p) - 1].first; }

std::string VersionText() { return std::string(kProgram) + " " KORVEN_SCAN_VERSION; }

ParseOutcome ParseCommandLine(int argc, const char* const* argv) {
  ParseOutcome out;
  Options& o = out.options;

  CLI::App app{"Scans with a TWAIN source through korven's TScanner and writes the pages to image files.", kProgram};
  app.set_version_flag("--version,-V", VersionText(), "Print the program's version and exit");
  app.get_formatter()->column_width(34);
  app.footer(
      "The output format follows the extension: .bmp .png .jpg/.jpeg .tif/.tiff .pdf. TIFF and PDF hold a whole\n"
      "batch; a name with %d (or %03d) writes one file per page.\n"
      "Exit codes: 0 pages written, 1 no page (cancelled or nothing delivered), 2 bad usage, 3 scanner error,\n"
      "4 output error.\n"
      "Examples:\n"
      "  korven-scan -o page.png\n"
      "  korven-scan --feeder --pixel-type gray --resolution 300 -o batch.pdf\n"
      "  korven-scan --unit cm --frame 1,1,10,15 -o photo.jpg\n"
      "  korven-scan --list");

  std::string source, resolution, pixelType, bitDepth, unit, paper, frame, pages, output;
  std::string brightness, contrast, gamma, highlight, shadow, threshold, scaling;
  bool list = false, info = false;

  app.add_flag("--list,-l", list, "List the installed sources, one per line, the default marked with *");
  app.add_flag("--info,-i", info, "Show the source's identity, settings with their ranges, units, pixel types, platen and feeder");
  auto* oSource = app.add_option("--source,-s", source, "Use the source with this product name")->type_name("NAME");
  auto* oSelect = app.add_flag("--select", o.select, "Choose the source in the manager's selection dialog");
  auto* oRes = app.add_option("--resolution,-r", resolution, "Resolution in dots per inch")->type_name("DPI");
  auto* oPixel = app.add_option("--pixel-type,-t", pixelType, "bw, gray, rgb or palette")->type_name("TYPE");
  auto* oDepth = app.add_option("--bit-depth,-b", bitDepth, "Bits per pixel (bw 1; gray, palette 4 or 8; rgb 16, 24 or 32)")->type_name("N");
  auto* oUnit = app.add_option("--unit,-u", unit, "Unit of --frame and of --info's sizes: inch, cm, pica, point, twips, pixel")->type_name("UNIT");
  auto* oPaper = app.add_option("--paper,-p", paper, "Scan a page of this size at the platen's corner: a5, a4, a3, b5, b4, letter, postcard")->type_name("SIZE");
  auto* oFrame = app.add_option("--frame,-f", frame, "Scan this area, in --unit")->type_name("LEFT,TOP,WIDTH,HEIGHT");
  auto* oBright = app.add_option("--brightness", brightness, "Brightness, -1000 to 1000")->type_name("N");
  auto* oContrast = app.add_option("--contrast", contrast, "Contrast, -1000 to 1000")->type_name("N");
  auto* oGamma = app.add_option("--gamma", gamma, "Gamma correction, above 0")->type_name("N");
  auto* oHigh = app.add_option("--highlight", highlight, "Highlight, 0 to 255")->type_name("N");
  auto* oShadow = app.add_option("--shadow", shadow, "Shadow, 0 to 255")->type_name("N");
  auto* oThresh = app.add_option("--threshold", threshold, "Black-and-white threshold, 0 to 255")->type_name("N");
  auto* oScale = app.add_option("--scaling", scaling, "Scaling factor, above 0 (1 = 100 %)")->type_name("N");
  auto* oAuto = app.add_flag("--auto-bright", o.autoBright, "Let the source choose the brightness");
  auto* oFeeder = app.add_flag("--feeder,-F", o.feeder, "Scan every page loaded in the document feeder");
  auto* oPages = app.add_option("--pages,-n", pages, "Scan at most N pages")->type_name("N");
  auto* oUI = app.add_flag("--show-ui", o.showUI, "Show the source's own dialog");
  auto* oOutput = app.add_option("--output,-o", output, "Write the pages to FILE")->type_name("FILE");
  app.add_flag("--quiet,-q", o.quiet, "Write no progress");
  app.add_flag("--verbose,-v", o.verbose, "Also write the component's diagnostics to standard error");

  try {
    app.parse(argc, const_cast<char**>(argv));
  } catch (const CLI::CallForHelp&) {
    out.exitCode = kExitPages;
    out.text = app.help();
    return out;
  } catch (const CLI::CallForVersion& e) {
    out.exitCode = kExitPages;
    out.text = std::string(e.what()) + "\n";
    return out;
  } catch (const CLI::ParseError& e) {
    out.exitCode = kExitUsage;
    std::string what = e.what();
    std::replace(what.begin(), what.end(), '\n', ' ');
    out.text = std::string(kProgram) + ": " + what + " (see " + kProgram + " --help)\n";
    return out;
  }

  try {
    if (list && info) throw Usage{"--list and --info exclude each other"};
    o.action = list ? Action::List : info ? Action::Info : Action::Scan;

    // What each action accepts besides --quiet and --verbose.
    std::vector<CLI::Option*> scanOnly = {oRes,   oPixel,  oDepth, oPaper, oFrame, oBright, oContrast, oGamma,
                                          oHigh,  oShadow, oThresh, oScale, oAuto,  oFeeder, oPages,    oUI,
                                          oOutput};
    if (o.action == Action::List) {
      for (auto* opt : scanOnly)
        if (opt->count()) throw Usage{"--list takes no " + opt->get_name()};
      for (auto* opt : {oSource, oSelect, oUnit})
        if (opt->count()) throw Usage{"--list takes no " + opt->get_name()};
    } else if (o.action == Action::Info) {
      for (auto* opt : scanOnly)
        if (opt->count()) throw Usage{"--info does not scan, so it takes no " + opt->get_name()};
    }

    if (oSource->count()) {
      if (source.empty()) throw Usage{"--source needs a name"};
      // TW_IDENTITY keeps 33 characters; a longer name would match another source.
      if (source.size() > 33) throw Usage{"--source " + Quote(source) + " is longer than a source name can be (33 characters)"};
      o.source = source;
    }
    if (oSource->count() && o.select) throw Usage{"--source and --select exclude each other"};
    if (oUnit->count()) {
      o.unit = Choice("--unit", unit, kUnits);
      o.unitGiven = true;
    }
    if (oRes->count())
      o.resolution = Number("--resolution", resolution, 0, kFix32Max, true, "must be a number of dots per inch above 0 and at most 32767");
    if (oPixel->count()) o.pixelType = Choice("--pixel-type", pixelType, kPixelTypes);
    if (oDepth->count()) {
      int d = 0;
      if (!ToInteger(bitDepth, d) || (d != 1 && d != 4 && d != 8 && d != 16 && d != 24 && d != 32))
        throw Usage{"--bit-depth " + Quote(bitDepth) + " is not one of 1, 4, 8, 16, 24, 32"};
      if (o.pixelType && !DepthFits(*o.pixelType, d))
        throw Usage{"--bit-depth " + Quote(bitDepth) + " does not fit --pixel-type " + PixelTypeName(*o.pixelType)};
      o.bitDepth = d;
    }
    if (oPaper->count() && oFrame->count()) throw Usage{"--paper and --frame exclude each other"};
    if (oPaper->count()) o.paper = Choice("--paper", paper, kPapers);
    if (oFrame->count()) o.frame = ParseFrame(frame);
    if (oBright->count()) o.brightness = Number("--brightness", brightness, -1000, 1000, false, "must lie from -1000 to 1000");
    if (oContrast->count()) o.contrast = Number("--contrast", contrast, -1000, 1000, false, "must lie from -1000 to 1000");
    if (oGamma->count()) o.gamma = Number("--gamma", gamma, 0, kFix32Max, true, "must be above 0 and at most 32767");
    if (oHigh->count()) o.highlight = Number("--highlight", highlight, 0, 255, false, "must lie from 0 to 255");
    if (oShadow->count()) o.shadow = Number("--shadow", shadow, 0, 255, false, "must lie from 0 to 255");
    if (o.highlight && o.shadow && *o.shadow >= *o.highlight)
      throw Usage{"--shadow " + Quote(shadow) + " must be below --highlight " + Quote(highlight)};
    if (oThresh->count()) o.threshold = Number("--threshold", threshold, 0, 255, false, "must lie from 0 to 255");
    if (oScale->count()) o.scaling = Number("--scaling", scaling, 0, kFix32Max, true, "must be above 0 and at most 32767");
    if (oPages->count()) {
      int n = 0;
      if (!ToInteger(pages, n) || n < 1) throw Usage{"--pages " + Quote(pages) + " must be a whole number of at least 1"};
      o.pages = n;
    }
    if (o.action == Action::Scan) {
      if (!oOutput->count()) throw Usage{"nothing to do: give --output FILE to scan, or --list or --info"};
      o.output = output;
      CheckOutput(o);
    }
  } catch (const Usage& u) {
    out.exitCode = kExitUsage;
    out.text = std::string(kProgram) + ": " + u.reason + " (see " + kProgram + " --help)\n";
  }
  return out;
}

}  // namespace korven::scan
