// Support of the SANE source's suites: a private SANE configuration made per test (dll.conf naming
// `test`, a test.conf with every value the test backend reads, so nothing leaks from one test to the
// next), a private Windows directory with sane.ds, counters of the SANE calls this process makes
// (the test program interposes sane_init, sane_exit, sane_open, sane_close, sane_start and
// sane_cancel), and readers of the pages korven-scan and scanimage write.
#ifndef KORVEN_SANE_SUPPORT_H
#define KORVEN_SANE_SUPPORT_H

#include "testsupport.h"
#include "tools_support.h"

#include <korven/desktop.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace korven::test {

struct SaneCalls {
  int init = 0, exit = 0, open = 0, close = 0, start = 0, cancel = 0;
};
// What this process has called so far.
SaneCalls SaneCallCounts();
// The device name of the last sane_open that succeeded.
std::string LastOpenedDevice();

// The device names of the test backend: "test:0", "test:1", ...; and the TWAIN names sane.ds gives them.
std::string TestDeviceName(int n);
std::string TestSourceName(int n);

// Where scanimage is ("" when it is not on the PATH).
std::string ScanimagePath();
// Why SANE's test backend cannot be used here ("" when it can): libsane, with the private
// configuration, must list test:0.
std::string TestBackendUnavailable();
// Why the tests that compare with scanimage cannot run ("" when they can).
std::string ScanimageMissing();

// The process's SANE configuration folder (SANE_CONFIG_DIR: SANE reads it once per process, so all
// tests share it): dll.conf naming `test`, and a test.conf each SaneConfig writes anew.
class SaneConfig {
 public:
  SaneConfig();
  ~SaneConfig();
  SaneConfig(const SaneConfig&) = delete;
  SaneConfig& operator=(const SaneConfig&) = delete;
  const std::filesystem::path& Path() const { return dir_; }
  // Writes test.conf: the backend's defaults (two devices, grey 8 bits, 75 dpi, an 80 x 100 mm area,
  // the colour pattern) with `overrides` ("key value" lines of test.conf) replacing them.
  void Write(const std::map<std::string, std::string>& overrides = {});
  std::map<std::string, std::string> Environment() const { return {{"SANE_CONFIG_DIR", dir_.string()}}; }

 private:
  std::filesystem::path dir_;
};

// The fixture of every SANE test: skips when the test backend cannot be used, gives each test its
// own SANE configuration, Windows directory (sane.ds, and the virtual scanner when asked) and
// scripted desktop, and checks afterwards that every sane_open was closed and sane_exit balanced
// sane_init.
class SaneTest : public KorvenTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Installs sane.ds with `ini` as its sane.ini.
  void InstallSane(const std::string& ini = "");
  SaneConfig& Sane() { return *sane_; }
  PrivateWindowsDir& Windows() { return windows_; }
  korven::platform::ScriptedDesktop& Desktop() { return desktop_; }

 private:
  std::unique_ptr<SaneConfig> sane_;
  PrivateWindowsDir windows_;
  korven::platform::ScriptedDesktop desktop_;
  std::unique_ptr<korven::platform::ScopedDesktop> scoped_;
  SaneCalls before_;
};

// A page reduced to 8-bit samples: 1 (grey) or 3 (RGB) channels, rows top-down.
struct Pixels {
  int width = 0, height = 0, channels = 0;
  std::vector<unsigned char> data;
  bool operator==(const Pixels&) const = default;
};
// scanimage's PNM (P4, P5, P6; 16-bit samples reduced to their high byte; PBM's 1 is black).
Pixels ReadPnm(const std::string& file);
// A PNG as its own format holds it (grey or RGB), through libpng's simplified reader.
Pixels ReadPng(const std::string& file);
// The pages of a TIFF file (directory count), and one page's pixels.
int TiffPages(const std::string& file);
Pixels ReadTiffPage(const std::string& file, int page);
// Where two pages first differ, for a failure message ("" when equal).
std::string FirstDifference(const Pixels& a, const Pixels& b);

}  // namespace korven::test

#endif
