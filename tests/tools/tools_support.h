// Helpers of the korven-scan suites: test pages, a scratch folder, running a program and reading
// what it wrote.
#ifndef KORVEN_TOOLS_SUPPORT_H
#define KORVEN_TOOLS_SUPPORT_H

#include <vcl/Graphics.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace korven::tools_test {

// A scratch folder, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::filesystem::path& Path() const { return dir_; }
  std::string File(const std::string& name) const { return (dir_ / name).string(); }
  // Names of the entries, hidden ones included, sorted.
  std::vector<std::string> Entries() const;

 private:
  std::filesystem::path dir_;
};

// A test page: pixels that differ from row to row and column to column, so that a swapped, shifted
// or mirrored row shows. Formats: pf1bit, pf4bit, pf8bit (palette as given), pf16bit, pf24bit.
// ppm: pels per metre of both axes (11811 = 300 dpi), or x and y apart.
std::unique_ptr<vcl::TBitmap> MakePage(vcl::TPixelFormat format, int width, int height,
                                       const std::vector<vcl::TColor>& palette, int ppmX, int ppmY);
// Palettes: black/white, white/black, a grey ramp of n entries, n colours that are not grey.
std::vector<vcl::TColor> BlackWhite();
std::vector<vcl::TColor> WhiteBlack();
std::vector<vcl::TColor> GreyRamp(int n);
std::vector<vcl::TColor> Colours(int n);

// The colour of a pixel as the framework sees it (0x00BBGGRR).
vcl::TColor PixelOf(vcl::TBitmap& bitmap, int x, int y);

// What a finished program left.
struct RunResult {
  int exitCode = -1;
  std::string out, err;
};
// Runs program with args (argv[0] is added) and extra environment variables, standard input from
// /dev/null; waits for it.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
              const std::map<std::string, std::string>& env = {});

// The output of a command line run by the shell; empty when it could not run.
std::string Shell(const std::string& command);
bool HaveTool(const std::string& name);

}  // namespace korven::tools_test

#endif
