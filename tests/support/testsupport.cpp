#include <cctype>
#include "testsupport.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace fs = std::filesystem;

namespace korven::test {

LiveCounts LiveCounts::Now() {
  LiveCounts c;
  c.blocks = korven::platform::GlobalLiveBlocks();
  c.bytes = korven::platform::GlobalLiveBytes();
  c.windows = korven::platform::LiveWindowCount();
  c.timers = korven::platform::LiveTimerCount();
  c.modules = korven::platform::LoadedModuleCount();
  return c;
}

void KorvenTest::SetUp() { before_ = LiveCounts::Now(); }

void KorvenTest::TearDown() {
  LiveCounts after = LiveCounts::Now();
  EXPECT_EQ(long(after.blocks) - long(before_.blocks), allowedBlocks_) << "global memory blocks left behind";
  if (allowedBlocks_ == 0) {
    EXPECT_EQ(after.bytes, before_.bytes) << "global memory bytes left behind";
  }
  EXPECT_EQ(after.windows, before_.windows) << "windows left behind";
  EXPECT_EQ(after.timers, before_.timers) << "timers left behind";
  EXPECT_EQ(after.modules, before_.modules) << "modules left loaded";
}

fs::path BuildWindowsDir() { return fs::path(KORVEN_BUILD_WINDOWS_DIR); }

fs::path MakeTempDir(const std::string& prefix) {
  std::string tmpl = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed for " + tmpl);
  return fs::path(tmpl);
}

std::string CaseName(size_t index, const std::string& text) {
  // Separators that tell cases apart are spelled out; other characters only separate words.
  static const std::pair<char, const char*> kSpelled[] = {{'|', "bar"},  {'*', "star"},  {'.', "dot"},
                                                          {';', "semi"}, {'/', "slash"}, {'\\', "backslash"},
                                                          {':', "colon"}, {'%', "percent"}};
  std::string name = std::to_string(index);
  bool gap = true;
  auto word = [&](const std::string& w) {
    if (gap || !std::isalnum(static_cast<unsigned char>(w[0]))) name += '_';
    name += w;
    gap = false;
  };
  for (char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      if (gap) name += '_';
      name += c;
      gap = false;
      continue;
    }
    gap = true;
    for (const auto& [ch, spelled] : kSpelled)
      if (c == ch) {
        word(spelled);
        gap = true;
      }
  }
  if (text.empty()) name += "_empty";
  return name;
}

PrivateWindowsDir::PrivateWindowsDir(bool withManager) {
  dir_ = MakeTempDir("korven-windows");
  fs::create_directories(dir_ / "twain_32");
  if (withManager) {
    fs::path dsm = BuildWindowsDir() / "TWAIN_32.DLL";
    if (fs::exists(dsm)) fs::copy_file(dsm, dir_ / "TWAIN_32.DLL");
  }
  korven::platform::SetWindowsDirectory(dir_.string());
  korven::platform::SetProfilePath((dir_ / "win.ini").string());
}

PrivateWindowsDir::~PrivateWindowsDir() {
  korven::platform::SetWindowsDirectory("");
  korven::platform::SetProfilePath("");
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

fs::path PrivateWindowsDir::AddSource(const std::string& kind, const std::string& name, const std::string& config) {
  fs::path src = BuildWindowsDir() / "twain_32" / (kind + ".ds");
  fs::path dst = SourcesDir() / (name + ".ds");
  fs::copy_file(src, dst, fs::copy_options::overwrite_existing);
  if (!config.empty()) {
    std::ofstream(SourcesDir() / (name + ".ini")) << config;
  }
  return dst;
}

void PrivateWindowsDir::SetManager(const fs::path& file) {
  fs::copy_file(file, dir_ / "TWAIN_32.DLL", fs::copy_options::overwrite_existing);
}

void PrivateWindowsDir::RemoveManager() {
  std::error_code ec;
  fs::remove(dir_ / "TWAIN_32.DLL", ec);
}

DebugCapture::DebugCapture() {
  // The sink may be called from any thread (a data source's worker, for instance).
  previous_ = korven::platform::SetDebugSink([this](const std::string& s) {
    std::lock_guard lock(mutex_);
    lines_.push_back(s);
  });
}

DebugCapture::~DebugCapture() { korven::platform::SetDebugSink(previous_); }

std::string DebugCapture::All() const {
  std::lock_guard lock(mutex_);
  std::string all;
  for (auto& l : lines_) all += l + "\n";
  return all;
}

bool DebugCapture::Contains(const std::string& text) const {
  std::lock_guard lock(mutex_);
  for (auto& l : lines_)
    if (l.find(text) != std::string::npos) return true;
  return false;
}

}  // namespace korven::test
