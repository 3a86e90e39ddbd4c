// korven-scan's command line: the options, their parsing and the checks that run before any scanner
// is asked anything.
#ifndef KORVEN_SCAN_OPTIONS_H
#define KORVEN_SCAN_OPTIONS_H

#include "image_writer.h"

#include <optional>
#include <string>

namespace korven::scan {

// Exit codes a script can rely on.
enum ExitCode : int {
  kExitPages = 0,     // at least one page written (or --list / --info / --help / --version done)
  kExitNoPage = 1,    // no page: cancelled, or the source delivered nothing
  kExitUsage = 2,     // bad usage
  kExitScanner = 3,   // the component or the source failed
  kExitOutput = 4,    // a file could not be written
};

enum class Action { Scan, List, Info };
// The order of each enumeration is the component's (ptBlackWhite.., umInch.., psA5..).
enum class PixelType { BlackWhite, Gray, RGB, Palette };
enum class Unit { Inch, Cm, Pica, Point, Twips, Pixel };
enum class Paper { A5 = 1, A4, A3, B5, B4, Letter, PostCard };

// Left, top, width and height in Options::unit.
struct Frame {
  double left = 0, top = 0, width = 0, height = 0;
};

// A checked command line. Unset optionals leave the source's own value alone.
struct Options {
  Action action = Action::Scan;
  std::string source;  // empty: the manager's default source
  bool select = false;
  std::optional<double> resolution;
  std::optional<PixelType> pixelType;
  std::optional<int> bitDepth;
  Unit unit = Unit::Inch;
  bool unitGiven = false;
  std::optional<Paper> paper;
  std::optional<Frame> frame;
  std::optional<double> brightness, contrast, gamma, highlight, shadow, threshold, scaling;
  bool autoBright = false;
  bool feeder = false;
  std::optional<int> pages;
  bool showUI = false;
  std::string output;
  ImageFormat format = ImageFormat::Png;
  bool quiet = false;
  bool verbose = false;

  // More than one page may come: --pages above 1, or the feeder without --pages.
  bool Batch() const { return pages ? *pages > 1 : feeder; }
};

// What parsing decided: go on with options (exitCode < 0), or stop with exitCode after printing
// text (to standard output for --help and --version, to standard error for a usage error; a usage
// error is one line naming the bad value, ending with a pointer to --help).
struct ParseOutcome {
  int exitCode = -1;
  std::string text;
  Options options;
};

// Parses and checks argv. Never talks to a scanner; the only thing it touches on disk is the
// output folder, to see that it exists and may be written.
ParseOutcome ParseCommandLine(int argc, const char* const* argv);

// Names the command-line words use for the enumerations ("bw", "cm", "a4", ...).
const char* PixelTypeName(PixelType t);
const char* UnitName(Unit u);
const char* PaperName(Paper p);

// "korven-scan 5.0.2".
std::string VersionText();

}  // namespace korven::scan

#endif
