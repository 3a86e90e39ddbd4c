// korven-scan's command line: the options, their parsing and the checks that run before any scanner
// is asked anything. The command line speaks scanimage's common options with scanimage's meaning
// (-d, -L, -l -t -x -y in millimetres, --mode, --depth, --format, -o, -p, -n, -A, -b and the batch
// options, --source Flatbed|ADF) besides korven-scan's own long options.
#ifndef KORVEN_SCAN_OPTIONS_H
#define KORVEN_SCAN_OPTIONS_H

#include "image_writer.h"

#include <optional>
#include <string>

namespace korven::scan {

// The wait for the scanner that ends an unattended scan (seconds), unless --timeout says otherwise.
constexpr double kDefaultTimeout = 60;

// Exit codes a script can rely on.
enum ExitCode : int {
  kExitPages = 0,     // at least one page written (or --list / --info / --help / --version done)
  kExitNoPage = 1,    // no page: cancelled, or the source delivered nothing
  kExitUsage = 2,     // bad usage
  kExitScanner = 3,   // the component or the source failed
  kExitOutput = 4,    // a file could not be written
};

enum class Action { Scan, List, Info };
// The order of each enumeration is the component's (ptBlackWhite.., umInch.., psA5..); Unit adds
// millimetres, which the component handles as centimetres.
enum class PixelType { BlackWhite, Gray, RGB, Palette };
enum class Unit { Inch, Cm, Pica, Point, Twips, Pixel, Mm };
enum class Paper { A5 = 1, A4, A3, B5, B4, Letter, PostCard };
// scanimage's --source: where the pages come from.
enum class Feed { Flatbed, Adf };
// Progress on standard error: on when standard error is a terminal (Auto), or as asked (-p, -q).
enum class Progress { Auto, On, Off };

// Left, top, width and height in Options::unit.
struct Frame {
  double left = 0, top = 0, width = 0, height = 0;
};

// scanimage's -l -t -x -y: any of the four edges, in millimetres; the others follow from the platen
// (left and top 0, width and height up to the platen's far edges).
struct Edges {
  std::optional<double> left, top, width, height;
  bool Any() const { return left || top || width || height; }
};

// scanimage's batch: one file per page, named by a pattern with the page number (%d), numbered from
// start by increment; count pages at most (none: as long as pages come).
struct BatchOptions {
  std::string pattern;
  int start = 1;
  int increment = 1;
  std::optional<int> count;
  bool prompt = false;
};

// A checked command line. Unset optionals leave the source's own value alone.
struct Options {
  Action action = Action::Scan;
  std::string source;  // the device (-d): empty for the manager's default source
  bool select = false;
  std::optional<double> resolution;
  std::optional<PixelType> pixelType;
  std::optional<int> bitDepth;        // bits per pixel (--bit-depth)
  std::optional<int> depthPerSample;  // bits per sample (scanimage's --depth): times 3 for colour
  Unit unit = Unit::Inch;
  bool unitGiven = false;
  std::optional<Paper> paper;
  std::optional<Frame> frame;
  Edges edges;
  std::optional<double> brightness, contrast, gamma, highlight, shadow, threshold, scaling;
  bool autoBright = false;
  bool feeder = false;            // --feeder or --source ADF
  bool flatbed = false;           // --source Flatbed: the feeder is switched off
  std::optional<int> pages;
  std::optional<BatchOptions> batch;
  bool showUI = false;
  // How long a wait for the scanner may last (to announce a page, or the next page of a batch) before
  // the scan is cancelled: --timeout, else kDefaultTimeout without the source's dialog; none (0) with
  // it, where a person decides.
  double timeoutSeconds = 0;
  std::string output;             // empty: standard output
  ImageFormat format = ImageFormat::Pnm;
  Progress progress = Progress::Auto;
  bool dontScan = false;          // -n: set the options, scan nothing
  bool verbose = false;

  // More than one page may come: --pages above 1, a batch, or the feeder without --pages.
  bool ManyPages() const {
    if (pages) return *pages > 1;
    if (batch) return !batch->count || *batch->count > 1;
    return feeder;
  }
  bool ToStandardOutput() const { return output.empty(); }
};

// What parsing decided: go on with options (exitCode < 0), or stop with exitCode after printing
// text (to standard output for --help and --version, to standard error for a usage error; a usage
// error is one line naming the bad value, ending with a pointer to --help).
struct ParseOutcome {
  int exitCode = -1;
  std::string text;
  Options options;
};

// Parses and checks argv. Never talks to a scanner; the only things it looks at are the output
// folder (that it exists and is a folder) and whether standard output is a terminal.
ParseOutcome ParseCommandLine(int argc, const char* const* argv);

// Names the command-line words use for the enumerations ("bw", "mm", "a4", ...).
const char* PixelTypeName(PixelType t);
const char* UnitName(Unit u);
const char* PaperName(Paper p);

// "korven-scan 5.0.2".
std::string VersionText();

}  // namespace korven::scan

#endif
