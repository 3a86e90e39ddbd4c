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

// The one line a usage error prints. The reason may quote an argument holding line breaks or other
// control characters: they are shown escaped (\n, \x1b), so the message stays one line and says
// what was typed.
std::string UsageLine(const std::string& reason) {
  std::string line = std::string(kProgram) + ": ";
  for (char c : reason) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\n') {
      line += "\\n";
    } else if (u < 0x20 || u == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", u);
      line += hex;
    } else {
      line += c;
    }
  }
  return line + " (see " + kProgram + " --help)\n";
}

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
                                                   {"point", Unit::Point}, {"twips", Unit::Twips}, {"pixel", Unit::Pixel},
                                                   {"mm", Unit::Mm}};
constexpr std::pair<const char*, Paper> kPapers[] = {{"a5", Paper::A5}, {"a4", Paper::A4},         {"a3", Paper::A3},
                                                     {"b5", Paper::B5}, {"b4", Paper::B4},         {"letter", Paper::Letter},
                                                     {"postcard", Paper::PostCard}};
constexpr std::pair<const char*, ImageFormat> kFormats[] = {{"pnm", ImageFormat::Pnm},  {"tiff", ImageFormat::Tiff},
                                                            {"png", ImageFormat::Png},  {"jpeg", ImageFormat::Jpeg},
                                                            {"pdf", ImageFormat::Pdf},  {"bmp", ImageFormat::Bmp},
                                                            {"tif", ImageFormat::Tiff}, {"jpg", ImageFormat::Jpeg}};

// Only letters and digits count when --mode and --source are matched ("Color", "colour",
// "True Gray", "ADF Front" all find their kind).
std::string Letters(const std::string& text) {
  std::string out;
  for (char c : Lower(text))
    if (std::isalnum(static_cast<unsigned char>(c))) out += c;
  return out;
}

// scanimage's --mode, matched loosely: the names SANE backends use for their modes.
PixelType Mode(const std::string& text) {
  std::string key = Letters(text);
  auto has = [&](const char* word) { return key.find(word) != std::string::npos; };
  if (has("color") || has("colour") || has("rgb")) return PixelType::RGB;
  if (has("gray") || has("grey")) return PixelType::Gray;
  if (has("lineart") || has("binary") || has("halftone") || has("blackwhite") || key == "bw" || key == "mono")
    return PixelType::BlackWhite;
  if (has("palette") || has("indexed")) return PixelType::Palette;
  throw Usage{"--mode " + Quote(text) + " is not one of Color, Gray, Lineart, Halftone"};
}

// scanimage's --source: Flatbed or ADF, matched loosely. Nothing when the text names neither (it is
// then taken as a device name, which is what --source meant in earlier korven-scan).
std::optional<Feed> FeedNamed(const std::string& text) {
  std::string key = Letters(text);
  if (key.find("flatbed") != std::string::npos || key == "normal" || key == "platen") return Feed::Flatbed;
  if (key.find("adf") != std::string::npos || key.find("feeder") != std::string::npos ||
      key.find("automaticdocument") != std::string::npos)
    return Feed::Adf;
  return std::nullopt;
}

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

// A problem of the file system rather than of the command line: exit 4.
struct OutputProblem {
  std::string reason;
};

// The extension a batch pattern gets by default, as scanimage names its files (out%d.pnm).
const char* DefaultExtension(ImageFormat format) {
  switch (format) {
    case ImageFormat::Pnm: return "pnm";
    case ImageFormat::Tiff: return "tif";
    case ImageFormat::Png: return "png";
    case ImageFormat::Jpeg: return "jpg";
    case ImageFormat::Pdf: return "pdf";
    case ImageFormat::Bmp: return "bmp";
  }
  return "pnm";
}

// The file name (or batch pattern) of o.output: its format, its page-number pattern and its folder.
void CheckOutput(Options& o, const std::string& option, std::optional<ImageFormat> asked) {
  const std::string& name = o.output;
  const std::string bad = option + " " + Quote(name);
  if (name.empty()) throw Usage{option + " needs a file name"};
  auto format = FormatForPath(name);
  if (!format && !asked) {
    size_t dot = name.find_last_of('.');
    size_t slash = name.find_last_of('/');
    std::string ext = (dot == std::string::npos || (slash != std::string::npos && dot < slash)) ? "" : name.substr(dot);
    throw Usage{bad + (ext.empty() ? " has no extension" : ": unknown extension " + Quote(ext)) +
                "; use .pnm, .pgm, .ppm, .pbm, .png, .jpg, .jpeg, .tif, .tiff, .pdf or .bmp, or give --format"};
  }
  o.format = asked ? *asked : *format;  // --format wins over the extension, as in scanimage
  std::string why = CheckNamePattern(name);
  if (!why.empty()) throw Usage{bad + ": " + why};
  fs::path first = PageFileName(name, 1);  // the name written: page 1, and '%' for "%%"
  fs::path folder = first.parent_path();
  if (HasPageNumber(name) && folder != fs::path(name).parent_path())
    throw Usage{bad + ": the page number belongs in the file name, not in a folder"};
  if (first.filename().empty() || first.filename() == "." || first.filename() == "..")
    throw Usage{bad + " names no file"};
  if (o.ManyPages() && !HoldsManyPages(o.format) && !HasPageNumber(name))
    throw Usage{bad + ": a " + FormatName(o.format) +
                " file holds one page; for several pages use .tif or .pdf, or put %d in the name (one file per page)"};
  // What the file system says is an output problem, not bad usage.
  if (folder.empty()) folder = ".";
  std::error_code ec;
  auto st = fs::status(folder, ec);
  if (!fs::exists(st)) throw OutputProblem{bad + ": folder " + Quote(folder.string()) + " does not exist"};
  if (!fs::is_directory(st)) throw OutputProblem{bad + ": " + Quote(folder.string()) + " is not a folder"};
  if (access(folder.c_str(), W_OK | X_OK) != 0)
    throw OutputProblem{bad + ": folder " + Quote(folder.string()) + " is not writable"};
  if (fs::is_directory(fs::status(first, ec))) throw OutputProblem{bad + " is a folder"};
}

// Options that take a value, as written on the command line; filled from the parser's options.
struct ValueOptions {
  std::vector<std::string> names;  // "-r", "--resolution", ...
  std::vector<std::string> shown;  // the option's name as messages show it, for each entry of names
};

bool LooksLikeNumber(const std::string& s) {
  double v = 0;
  return ToNumber(s, v) || (s.size() > 1 && s[0] == '-' && std::isdigit(static_cast<unsigned char>(s[1])));
}

// A value option at the end of the command line, or followed by another option, lacks its value:
// say so for that option (CLI11 would take the next option as the value, or complain about a
// word further on).
void CheckValuesPresent(int argc, const char* const* argv, const ValueOptions& known) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--") break;
    auto it = std::find(known.names.begin(), known.names.end(), arg);
    if (it == known.names.end()) continue;
    const std::string& shown = known.shown[size_t(it - known.names.begin())];
    if (i + 1 >= argc) throw Usage{shown + " needs a value"};
    std::string next = argv[i + 1];
    if (next.size() > 1 && next[0] == '-' && !LooksLikeNumber(next))
      throw Usage{shown + " needs a value (found the option " + next + " instead)"};
    ++i;
  }
}

// scanimage's -b/--batch takes its pattern only as --batch=PATTERN or -bPATTERN, never from the
// next word; the parser gets kDefaultPattern for a bare -b or --batch (and for an empty pattern).
const std::string kDefaultPattern = "\x01";

std::vector<std::string> NormaliseBatch(int argc, const char* const* argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
    if (i > 0 && (a == "-b" || a == "--batch" || a == "--batch=")) a = "--batch=" + kDefaultPattern;
    else if (i > 0 && a.size() > 2 && a.compare(0, 2, "-b") == 0) a = "--batch=" + a.substr(2);
    args.push_back(a);
  }
  return args;
}

int WholeNumber(const std::string& option, const std::string& text, int min) {
  int n = 0;
  if (!ToInteger(text, n) || n < min)
    throw Usage{option + " " + Quote(text) + " must be a whole number of at least " + std::to_string(min)};
  return n;
}

double Millimetres(const std::string& option, const std::string& text) {
  double v = 0;
  if (!ToNumber(text, v)) throw Usage{option + " " + Quote(text) + " is not a number of millimetres"};
  if (v < 0) throw Usage{option + " " + Quote(text) + " must not be negative"};
  return v;
}

}  // namespace

const char* PixelTypeName(PixelType t) { return kPixelTypes[int(t)].first; }
const char* UnitName(Unit u) { return kUnits[int(u)].first; }
const char* PaperName(Paper p) { return kPapers[int(p) - 1].first; }

std::string VersionText() { return std::string(kProgram) + " " KORVEN_SCAN_VERSION; }

ParseOutcome ParseCommandLine(int argc, const char* const* argv) {
  ParseOutcome out;
  Options& o = out.options;

  CLI::App app{"Scans with a TWAIN source through korven's TScanner and writes the pages to image files.\n"
               "Speaks scanimage's common options with scanimage's meaning.",
               kProgram};
  app.set_version_flag("--version,-V", VersionText(), "Print the program's version and exit");
  app.get_formatter()->column_width(36);
  app.footer(
      "The output format follows --format, else the file's extension: .pnm/.pgm/.ppm/.pbm .png .jpg/.jpeg\n"
      ".tif/.tiff .pdf .bmp. Without -o (or with -o -) one page, or a TIFF or PDF batch, goes to standard\n"
      "output (PNM unless --format says otherwise). TIFF and PDF hold a whole batch; a name with %d (or %03d)\n"
      "writes one file per page.\n"
      "Exit codes: 0 pages written, 1 no page (cancelled or nothing delivered), 2 bad usage, 3 scanner error,\n"
      "4 output error.\n"
      "Examples:\n"
      "  korven-scan --mode Gray --resolution 300 -o page.png\n"
      "  korven-scan -l 10 -t 20 -x 100 -y 150 --format=tiff > area.tif\n"
      "  korven-scan --source ADF --batch=page-%03d.pnm\n"
      "  korven-scan --feeder --resolution 200 -o batch.pdf\n"
      "  korven-scan -L");

  std::string device, sourceKind, resolution, pixelType, mode, bitDepth, depth, unit, paper, frame, pages, output;
  std::string format, left, top, width, height, batch, batchStart, batchCount, batchIncrement;
  std::string brightness, contrast, gamma, highlight, shadow, threshold, scaling;
  bool list = false, info = false, quiet = false, progress = false;

  app.add_flag("--list,--list-devices,-L", list,
                             "List the installed sources, one per line, the default marked with *");
  app.add_flag("--info,--all-options,-i,-A", info,
                             "Show the source's identity, settings (after the ones given) with their offered values, "
                             "units, pixel types, platen and feeder");
  auto* oDevice = app.add_option("--device-name,-d,-s", device, "Use the source with this product name")->type_name("NAME");
  auto* oSelect = app.add_flag("--select", o.select, "Choose the source in the manager's selection dialog");
  auto* oSource = app.add_option("--source", sourceKind, "Flatbed or ADF (the document feeder)")->type_name("Flatbed|ADF");
  auto* oRes = app.add_option("--resolution,-r", resolution, "Resolution in dots per inch")->type_name("DPI");
  auto* oMode = app.add_option("--mode", mode, "Color, Gray, Lineart or Halftone (loosely matched)")->type_name("MODE");
  auto* oPixel = app.add_option("--pixel-type", pixelType, "bw, gray, rgb or palette")->type_name("TYPE");
  auto* oDepth = app.add_option("--depth", depth, "Bits per sample: 1 (lineart), 4 or 8 (gray, palette), 8 (color)")->type_name("N");
  auto* oBits = app.add_option("--bit-depth", bitDepth, "Bits per pixel (bw 1; gray, palette 4 or 8; rgb 16, 24 or 32)")->type_name("N");
  auto* oUnit = app.add_option("--unit,-u", unit, "Unit of --frame and of --info's sizes: mm, cm, inch, pica, point, twips, pixel")->type_name("UNIT");
  auto* oLeft = app.add_option("-l", left, "Left edge of the scan area in mm")->type_name("MM");
  auto* oTop = app.add_option("-t", top, "Top edge of the scan area in mm")->type_name("MM");
  auto* oWidth = app.add_option("-x", width, "Width of the scan area in mm")->type_name("MM");
  auto* oHeight = app.add_option("-y", height, "Height of the scan area in mm")->type_name("MM");
  auto* oPaper = app.add_option("--paper", paper, "Scan a page of this size at the platen's corner: a5, a4, a3, b5, b4, letter, postcard")->type_name("SIZE");
  auto* oFrame = app.add_option("--frame,-f", frame, "Scan this area, in --unit")->type_name("LEFT,TOP,WIDTH,HEIGHT");
  auto* oBright = app.add_option("--brightness", brightness, "Brightness, -1000 to 1000")->type_name("N");
  auto* oContrast = app.add_option("--contrast", contrast, "Contrast, -1000 to 1000")->type_name("N");
  auto* oGamma = app.add_option("--gamma", gamma, "Gamma correction, above 0")->type_name("N");
  auto* oHigh = app.add_option("--highlight", highlight, "Highlight, 0 to 255")->type_name("N");
  auto* oShadow = app.add_option("--shadow", shadow, "Shadow, 0 to 255")->type_name("N");
  auto* oThresh = app.add_option("--threshold", threshold, "Black-and-white threshold, 0 to 255")->type_name("N");
  auto* oScale = app.add_option("--scaling", scaling, "Scaling factor, above 0 (1 = 100 %)")->type_name("N");
  auto* oAuto = app.add_flag("--auto-bright", o.autoBright, "Let the source choose the brightness");
  auto* oFeeder = app.add_flag("--feeder,-F", o.feeder, "Scan every page loaded in the document feeder (as --source ADF)");
  auto* oPages = app.add_option("--pages", pages, "Scan at most N pages")->type_name("N");
  auto* oBatch = app.add_option("--batch,-b", batch, "Scan page after page, one file each, named by PATTERN (default out%d.pnm)")->type_name("[=PATTERN]");
  auto* oBatchStart = app.add_option("--batch-start", batchStart, "Number of the batch's first page (1)")->type_name("N");
  auto* oBatchCount = app.add_option("--batch-count", batchCount, "Scan N pages in the batch")->type_name("N");
  auto* oBatchIncrement = app.add_option("--batch-increment", batchIncrement, "Step between page numbers (1)")->type_name("N");
  bool batchPrompt = false;
  auto* oBatchPrompt = app.add_flag("--batch-prompt", batchPrompt, "Ask before each scan of the batch (place the page, load the feeder)");
  auto* oUI = app.add_flag("--show-ui", o.showUI, "Show the source's own dialog");
  std::string timeout;
  auto* oTimeout = app.add_option("--timeout", timeout,
                                  "Cancel the scan when the scanner keeps it waiting this long (default 60 without "
                                  "--show-ui, none with it; 0: no limit)")->type_name("SECONDS");
  auto* oOutput = app.add_option("--output-file,--output,-o", output, "Write the pages to FILE ('-': standard output)")->type_name("FILE");
  auto* oFormat = app.add_option("--format", format, "pnm, tiff, png, jpeg, pdf or bmp")->type_name("FORMAT");
  auto* oDont = app.add_flag("--dont-scan,-n", o.dontScan, "Only set the options (and report what the source made of them)");
  app.add_flag("--progress,-p", progress, "Show progress on standard error also when it is no terminal");
  app.add_flag("--quiet,-q", quiet, "Write no progress");
  app.add_flag("--verbose,-v", o.verbose, "Also write the component's diagnostics to standard error");

  std::vector<std::string> args = NormaliseBatch(argc, argv);
  std::vector<const char*> argp;
  for (const auto& a : args) argp.push_back(a.c_str());
  try {
    ValueOptions known;
    for (const CLI::Option* opt : app.get_options()) {
      if (opt->get_expected_min() < 1 || opt == oBatch) continue;
      std::string shown = opt->get_name();
      for (const auto& s : opt->get_snames()) known.names.push_back("-" + s), known.shown.push_back(shown);
      for (const auto& l : opt->get_lnames()) known.names.push_back("--" + l), known.shown.push_back(shown);
    }
    CheckValuesPresent(argc, argv, known);
    app.parse(int(argp.size()), const_cast<char**>(argp.data()));
  } catch (const Usage& u) {
    out.exitCode = kExitUsage;
    out.text = UsageLine(u.reason);
    return out;
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
    std::replace(what.begin(), what.end(), '\n', ' ');  // CLI11's own line breaks
    out.text = UsageLine(what);
    return out;
  }

  try {
    if (list && info) throw Usage{"--list and --info exclude each other"};
    o.action = list ? Action::List : info ? Action::Info : Action::Scan;
    if (quiet && progress) throw Usage{"--quiet and --progress exclude each other"};
    o.progress = quiet ? Progress::Off : progress ? Progress::On : Progress::Auto;

    // What each action accepts besides --quiet, --progress and --verbose.
    std::vector<CLI::Option*> settings = {oRes,   oMode,    oPixel,  oDepth,  oBits,  oPaper, oFrame, oLeft,
                                          oTop,   oWidth,   oHeight, oBright, oContrast, oGamma, oHigh, oShadow,
                                          oThresh, oScale,  oAuto,   oSource, oFeeder};
    std::vector<CLI::Option*> scanning = {oPages, oUI, oOutput, oFormat, oBatch, oBatchStart, oBatchCount,
                                          oBatchIncrement, oBatchPrompt, oDont, oTimeout};
    if (o.action == Action::List) {
      for (auto* group : {&settings, &scanning})
        for (auto* opt : *group)
          if (opt->count()) throw Usage{"--list takes no " + opt->get_name()};
      for (auto* opt : {oDevice, oSelect, oUnit})
        if (opt->count()) throw Usage{"--list takes no " + opt->get_name()};
    } else if (o.action == Action::Info) {
      for (auto* opt : scanning)
        if (opt->count()) throw Usage{"--info does not scan, so it takes no " + opt->get_name()};
    }

    if (oDevice->count()) {
      if (device.empty()) throw Usage{"--device-name needs a name"};
      o.source = device;
    }
    if (oSource->count()) {
      if (auto feed = FeedNamed(sourceKind)) {
        o.feeder = *feed == Feed::Adf;
        o.flatbed = *feed == Feed::Flatbed;
      } else if (sourceKind.empty()) {
        throw Usage{"--source needs Flatbed or ADF"};
      } else if (oDevice->count()) {
        throw Usage{"--source " + Quote(sourceKind) + " is not one of Flatbed, ADF"};
      } else {
        o.source = sourceKind;  // earlier korven-scan's --source NAME: the device
      }
    }
    // TW_IDENTITY keeps 33 characters; a longer name would match another source.
    if (o.source.size() > 33)
      throw Usage{"--device-name " + Quote(o.source) + " is longer than a source name can be (33 characters)"};
    if (!o.source.empty() && o.select) throw Usage{"--device-name and --select exclude each other"};
    if (o.flatbed && oFeeder->count()) throw Usage{"--source Flatbed and --feeder exclude each other"};
    if (oUnit->count()) {
      o.unit = Choice("--unit", unit, kUnits);
      o.unitGiven = true;
    }
    if (oRes->count())
      o.resolution = Number("--resolution", resolution, 0, kFix32Max, true, "must be a number of dots per inch above 0 and at most 32767");
    if (oMode->count() && oPixel->count()) throw Usage{"--mode and --pixel-type exclude each other"};
    if (oMode->count()) o.pixelType = Mode(mode);
    if (oPixel->count()) o.pixelType = Choice("--pixel-type", pixelType, kPixelTypes);
    if (oDepth->count() && oBits->count()) throw Usage{"--depth and --bit-depth exclude each other"};
    if (oBits->count()) {
      int d = 0;
      if (!ToInteger(bitDepth, d) || (d != 1 && d != 4 && d != 8 && d != 16 && d != 24 && d != 32))
        throw Usage{"--bit-depth " + Quote(bitDepth) + " is not one of 1, 4, 8, 16, 24, 32"};
      if (o.pixelType && !DepthFits(*o.pixelType, d))
        throw Usage{"--bit-depth " + Quote(bitDepth) + " does not fit --pixel-type " + PixelTypeName(*o.pixelType)};
      o.bitDepth = d;
    }
    if (oDepth->count()) {
      // Bits per sample, as in scanimage: a colour pixel has three samples.
      int d = 0;
      if (!ToInteger(depth, d) || (d != 1 && d != 4 && d != 8))
        throw Usage{"--depth " + Quote(depth) + " is not one of 1, 4, 8 (bits per sample)"};
      // One bit of grey is black and white (scanimage's line-art through --mode Gray --depth 1).
      if (d == 1 && (!o.pixelType || *o.pixelType == PixelType::Gray)) o.pixelType = PixelType::BlackWhite;
      if (o.pixelType && !DepthFits(*o.pixelType, *o.pixelType == PixelType::RGB ? 3 * d : d))
        throw Usage{"--depth " + Quote(depth) + " does not fit --mode " + PixelTypeName(*o.pixelType)};
      o.depthPerSample = d;
    }
    int areaWays = int(oPaper->count() > 0) + int(oFrame->count() > 0) +
                   int(oLeft->count() + oTop->count() + oWidth->count() + oHeight->count() > 0);
    if (areaWays > 1) throw Usage{"--paper, --frame and -l/-t/-x/-y exclude each other"};
    if (oPaper->count()) o.paper = Choice("--paper", paper, kPapers);
    if (oFrame->count()) o.frame = ParseFrame(frame);
    if (oLeft->count()) o.edges.left = Millimetres("-l", left);
    if (oTop->count()) o.edges.top = Millimetres("-t", top);
    if (oWidth->count()) o.edges.width = Millimetres("-x", width);
    if (oHeight->count()) o.edges.height = Millimetres("-y", height);
    if ((o.edges.width && *o.edges.width == 0) || (o.edges.height && *o.edges.height == 0))
      throw Usage{std::string(o.edges.width && *o.edges.width == 0 ? "-x" : "-y") + " '0' must be greater than 0"};
    if (oBright->count()) o.brightness = Number("--brightness", brightness, -1000, 1000, false, "must lie from -1000 to 1000");
    if (oContrast->count()) o.contrast = Number("--contrast", contrast, -1000, 1000, false, "must lie from -1000 to 1000");
    if (oGamma->count()) o.gamma = Number("--gamma", gamma, 0, kFix32Max, true, "must be above 0 and at most 32767");
    if (oHigh->count()) o.highlight = Number("--highlight", highlight, 0, 255, false, "must lie from 0 to 255");
    if (oShadow->count()) o.shadow = Number("--shadow", shadow, 0, 255, false, "must lie from 0 to 255");
    if (o.highlight && o.shadow && *o.shadow >= *o.highlight)
      throw Usage{"--shadow " + Quote(shadow) + " must be below --highlight " + Quote(highlight)};
    if (oThresh->count()) o.threshold = Number("--threshold", threshold, 0, 255, false, "must lie from 0 to 255");
    if (oScale->count()) o.scaling = Number("--scaling", scaling, 0, kFix32Max, true, "must be above 0 and at most 32767");
    if (oPages->count()) o.pages = WholeNumber("--pages", pages, 1);
    o.timeoutSeconds = o.showUI ? 0 : kDefaultTimeout;
    if (oTimeout->count())
      o.timeoutSeconds = Number("--timeout", timeout, 0, 7 * 24 * 3600, false, "must be a number of seconds from 0 to 604800");

    bool batchOption = oBatchStart->count() || oBatchCount->count() || oBatchIncrement->count() || oBatchPrompt->count();
    if (batchOption && !oBatch->count()) throw Usage{"--batch-start, --batch-count, --batch-increment and --batch-prompt need --batch"};
    if (oBatch->count()) {
      if (oPages->count()) throw Usage{"--batch and --pages exclude each other (use --batch-count)"};
      if (oOutput->count()) throw Usage{"--batch names its own files; give the name as --batch=PATTERN, not -o"};
      BatchOptions b;
      if (oBatchStart->count()) b.start = WholeNumber("--batch-start", batchStart, 0);
      if (oBatchCount->count()) b.count = WholeNumber("--batch-count", batchCount, 1);
      if (oBatchIncrement->count()) b.increment = WholeNumber("--batch-increment", batchIncrement, 1);
      b.prompt = oBatchPrompt->count() > 0;
      b.pattern = batch;
      o.batch = b;
    }

    if (o.action == Action::Scan && !o.dontScan) {
      std::optional<ImageFormat> asked;
      if (oFormat->count()) asked = Choice("--format", format, kFormats);
      if (o.batch) {
        if (o.batch->pattern == kDefaultPattern)
          o.batch->pattern = std::string("out%d.") + DefaultExtension(asked.value_or(ImageFormat::Pnm));
        o.output = o.batch->pattern;
        CheckOutput(o, "--batch", asked);
      } else if (!oOutput->count() || output == "-") {
        o.output.clear();
        o.format = asked.value_or(ImageFormat::Pnm);
        if (o.ManyPages() && !HoldsManyPages(o.format))
          throw Usage{std::string("standard output takes one ") + FormatName(o.format) +
                      " page; for several pages use --format tiff or pdf, or -o with %d in the name"};
        if (isatty(STDOUT_FILENO))
          throw Usage{"standard output is a terminal; give -o FILE, or send standard output to a file or a program"};
      } else {
        o.output = output;
        CheckOutput(o, "--output-file", asked);
      }
    }
  } catch (const Usage& u) {
    out.exitCode = kExitUsage;
    out.text = UsageLine(u.reason);
  } catch (const OutputProblem& p) {
    out.exitCode = kExitOutput;
    out.text = std::string(kProgram) + ": " + p.reason + "\n";
  }
  return out;
}

}  // namespace korven::scan
