// Support shared by korven's test suites.
//
//  - KorvenTest: a fixture base that fails a test which leaves a global memory block, a window, a
//    timer or a loaded module behind that it did not account for (Allow...).
//  - PrivateWindowsDir: a fresh Windows directory per test, with the manager and chosen data sources
//    copied from the build tree and its own win.ini, so tests never see the user's settings.
//  - DebugCapture: collects every OutputDebugStringA text while it lives.
#ifndef KORVEN_TESTSUPPORT_H
#define KORVEN_TESTSUPPORT_H

#include <gtest/gtest.h>
#include <korven/platform.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace korven::test {

struct LiveCounts {
  size_t blocks = 0, bytes = 0, windows = 0, timers = 0, modules = 0;
  static LiveCounts Now();
};

class KorvenTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // The test intends to leave this many more blocks (for instance a DIB it handed on).
  void AllowBlocks(long n) { allowedBlocks_ += n; }

 private:
  LiveCounts before_;
  long allowedBlocks_ = 0;
};

class PrivateWindowsDir {
 public:
  // Copies TWAIN_32.DLL unless withManager is false; no data source until AddSource.
  explicit PrivateWindowsDir(bool withManager = true);
  ~PrivateWindowsDir();
  PrivateWindowsDir(const PrivateWindowsDir&) = delete;
  PrivateWindowsDir& operator=(const PrivateWindowsDir&) = delete;

  const std::filesystem::path& Path() const { return dir_; }
  std::filesystem::path SourcesDir() const { return dir_ / "twain_32"; }
  // Installs the built data source `kind` (e.g. "virtual") as twain_32/<name>.ds and writes
  // `config` (the source's configuration text) beside it as twain_32/<name>.ini when not empty.
  std::filesystem::path AddSource(const std::string& kind, const std::string& name, const std::string& config = "");
  // Installs any file as TWAIN_32.DLL (e.g. a stand-in manager built for a test).
  void SetManager(const std::filesystem::path& file);
  void RemoveManager();

 private:
  std::filesystem::path dir_;
};

class DebugCapture {
 public:
  DebugCapture();
  ~DebugCapture();
  const std::vector<std::string>& Lines() const { return lines_; }
  std::string All() const;
  bool Contains(const std::string& text) const;
  void Clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  korven::platform::DebugSink previous_;
};

// The build tree's Windows directory (with TWAIN_32.DLL and twain_32/ as built).
std::filesystem::path BuildWindowsDir();
// A fresh empty temporary folder, removed by the caller.
std::filesystem::path MakeTempDir(const std::string& prefix);

// A readable name for a parameterised case (GoogleTest and CTest show it): the case's number, then
// the words of text joined by '_', separators spelled out ("3_A_bar_star_dot_a" for case 3 with
// "A|*.a", "0_empty" for ""). The number keeps cases with the same text apart.
std::string CaseName(size_t index, const std::string& text);

}  // namespace korven::test

#endif
