#include "sane_support.h"

#include <png.h>
#include <sane/sane.h>
#include <tiffio.h>

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

namespace fs = std::filesystem;

// ---- Counting the SANE calls of this process ----------------------------------------------------
// sane.ds is loaded after the program and finds these definitions first (the program exports them);
// each counts and hands on to libsane's own.
namespace {

std::atomic<int> nInit, nExit, nOpen, nClose, nStart, nCancel;
std::mutex openedMutex;
std::string lastOpened;

void* Real(const char* name) {
  static void* lib = nullptr;
  static std::once_flag once;
  std::call_once(once, [] { lib = dlopen("libsane.so.1", RTLD_NOW | RTLD_GLOBAL); });
  return lib ? dlsym(lib, name) : nullptr;
}

template <typename F>
F RealFn(const char* name) {
  return reinterpret_cast<F>(Real(name));
}

}  // namespace

extern "C" {
// LeakSanitizer's switches, present only in sanitizer builds.
__attribute__((weak)) void __lsan_disable();
__attribute__((weak)) void __lsan_enable();

// The test backend's reader thread loses its line buffer when a scan is cancelled under it; that is
// the backend's, not ours (it stays loaded, see KeepTestBackendLoaded, so its frames can be named).
__attribute__((visibility("default"))) const char* __lsan_default_suppressions() { return "leak:libsane-test.so\n"; }

__attribute__((visibility("default"))) SANE_Status sane_init(SANE_Int* version, SANE_Auth_Callback cb) {
  static auto real = RealFn<SANE_Status (*)(SANE_Int*, SANE_Auth_Callback)>("sane_init");
  SANE_Status s = real(version, cb);
  if (s == SANE_STATUS_GOOD) ++nInit;
  return s;
}
__attribute__((visibility("default"))) void sane_exit(void) {
  static auto real = RealFn<void (*)()>("sane_exit");
  ++nExit;
  real();
}
__attribute__((visibility("default"))) SANE_Status sane_open(SANE_String_Const name, SANE_Handle* h) {
  static auto real = RealFn<SANE_Status (*)(SANE_String_Const, SANE_Handle*)>("sane_open");
  SANE_Status s = real(name, h);
  if (s == SANE_STATUS_GOOD) {
    ++nOpen;
    std::lock_guard lock(openedMutex);
    lastOpened = name ? name : "";
  }
  return s;
}
__attribute__((visibility("default"))) void sane_close(SANE_Handle h) {
  static auto real = RealFn<void (*)(SANE_Handle)>("sane_close");
  ++nClose;
  real(h);
}
__attribute__((visibility("default"))) SANE_Status sane_start(SANE_Handle h) {
  static auto real = RealFn<SANE_Status (*)(SANE_Handle)>("sane_start");
  ++nStart;
  return real(h);
}
__attribute__((visibility("default"))) void sane_cancel(SANE_Handle h) {
  static auto real = RealFn<void (*)(SANE_Handle)>("sane_cancel");
  ++nCancel;
  real(h);
}
}

namespace korven::test {

SaneCalls SaneCallCounts() { return {nInit, nExit, nOpen, nClose, nStart, nCancel}; }

std::string LastOpenedDevice() {
  std::lock_guard lock(openedMutex);
  return lastOpened;
}

std::string TestDeviceName(int n) { return "test:" + std::to_string(n); }
std::string TestSourceName(int n) { return "Noname frontend-tester (test:" + std::to_string(n) + ")"; }

std::string ScanimagePath() {
  static std::string path = [] {
    std::string dirs = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin";
    for (size_t at = 0; at <= dirs.size();) {
      size_t end = dirs.find(':', at);
      if (end == std::string::npos) end = dirs.size();
      fs::path candidate = fs::path(dirs.substr(at, end - at)) / "scanimage";
      if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
      at = end + 1;
    }
    return std::string();
  }();
  return path;
}

// SANE unloads its backends at sane_exit; kept loaded, what they leave behind is still theirs by name.
void KeepTestBackendLoaded() {
  Dl_info info{};
  void* init = Real("sane_init");
  if (!init || !dladdr(init, &info) || !info.dli_fname) return;
  fs::path backend = fs::path(info.dli_fname).parent_path() / "sane" / "libsane-test.so.1";
  dlopen(backend.c_str(), RTLD_NOW | RTLD_NODELETE);
}

std::string TestBackendUnavailable() {
  static std::string why = [] {
    KeepTestBackendLoaded();
    SaneConfig config;
    if (!Real("sane_init")) return std::string("libsane.so.1 cannot be loaded (libsane1; scripts/deps.sh installs it)");
    // What SANE's backends keep of this look is theirs, as sane.ds treats it.
    if (__lsan_disable) __lsan_disable();
    struct Enable {
      ~Enable() {
        if (__lsan_enable) __lsan_enable();
      }
    } enable;
    SANE_Int version = 0;
    if (sane_init(&version, nullptr) != SANE_STATUS_GOOD) return std::string("sane_init failed");
    const SANE_Device** list = nullptr;
    bool found = false;
    auto getDevices = RealFn<SANE_Status (*)(const SANE_Device***, SANE_Bool)>("sane_get_devices");
    if (getDevices(&list, SANE_TRUE) == SANE_STATUS_GOOD)
      for (size_t i = 0; list && list[i]; ++i) found |= list[i]->name && TestDeviceName(0) == list[i]->name;
    sane_exit();
    return found ? std::string() : std::string("SANE's test backend cannot be loaded (libsane1 carries it; scripts/deps.sh installs it)");
  }();
  return why;
}

std::string ScanimageMissing() {
  return ScanimagePath().empty() ? "scanimage is not installed (sane-utils; scripts/deps.sh installs it)" : "";
}

// ---- SANE configuration -------------------------------------------------------------------------

namespace {

// SANE reads SANE_CONFIG_DIR once per process (and keeps it), so the whole program shares one
// folder; each test writes its own test.conf there, which the test backend reads at every sane_init.
const fs::path& SharedConfigDir() {
  static const fs::path dir = [] {
    fs::path d = MakeTempDir("korven-sane-config");
    std::ofstream(d / "dll.conf") << "test\n";
    setenv("SANE_CONFIG_DIR", d.c_str(), 1);
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(SharedConfigDir(), ec);
    });
    return d;
  }();
  return dir;
}

}  // namespace

SaneConfig::SaneConfig() : dir_(SharedConfigDir()) { Write(); }

SaneConfig::~SaneConfig() { Write(); }

void SaneConfig::Write(const std::map<std::string, std::string>& overrides) {
  // Every value the backend reads, since a backend that stays loaded keeps what an earlier test set.
  std::map<std::string, std::string> v = {
      {"number_of_devices", "2"}, {"mode", "Gray"}, {"depth", "8"}, {"hand-scanner", "false"},
      {"three-pass", "false"}, {"three-pass-order", "RGB"}, {"resolution_min", "1.0"}, {"resolution_max", "1200.0"},
      {"resolution_quant", "1.0"}, {"resolution", "75.0"}, {"scan-source", "Flatbed"},
      {"test-picture", "\"Color pattern\""}, {"invert-endianess", "false"}, {"read-limit", "false"},
      {"read-limit-size", "1"}, {"read-delay", "false"}, {"read-delay-duration", "1000"},
      {"read-status-code", "\"Default\""}, {"fuzzy-parameters", "false"}, {"ppl-loss", "0"}, {"non-blocking", "false"},
      {"select-fd", "false"}, {"enable-test-options", "false"}, {"geometry_min", "0.0"}, {"geometry_max", "200.0"},
      {"geometry_quant", "1.0"}, {"tl_x", "0.0"}, {"tl_y", "0.0"}, {"br_x", "80.0"}, {"br_y", "100.0"}};
  for (const auto& [k, value] : overrides) v[k] = value;
  std::ofstream out(dir_ / "test.conf");
  for (const auto& [k, value] : v) out << k << " " << value << "\n";
}

// ---- Fixture ------------------------------------------------------------------------------------

void SaneTest::SetUp() {
  if (std::string why = TestBackendUnavailable(); !why.empty()) GTEST_SKIP() << why;
  KorvenTest::SetUp();
  sane_ = std::make_unique<SaneConfig>();
  scoped_ = std::make_unique<korven::platform::ScopedDesktop>(desktop_);
  before_ = SaneCallCounts();
}

void SaneTest::TearDown() {
  if (!sane_) return;  // skipped
  SaneCalls now = SaneCallCounts();
  EXPECT_EQ(now.open - before_.open, now.close - before_.close) << "a SANE device was left open";
  EXPECT_EQ(now.init - before_.init, now.exit - before_.exit) << "sane_init was not balanced by sane_exit";
  scoped_.reset();
  sane_.reset();
  KorvenTest::TearDown();
}

void SaneTest::InstallSane(const std::string& ini) { windows_.AddSource("sane", "sane", ini.empty() ? "ReadTimeout = 20\n" : ini); }

// ---- Reading pages ------------------------------------------------------------------------------

Pixels ReadPnm(const std::string& file) {
  Pixels p;
  std::ifstream in(file, std::ios::binary);
  // Header tokens, skipping comments ("# SANE data follows").
  auto token = [&in]() {
    std::string t;
    for (;;) {
      int c = in.get();
      if (c == EOF) return t;
      if (c == '#' && t.empty()) {
        while (c != EOF && c != '\n') c = in.get();
        continue;
      }
      if (std::isspace(c)) {
        if (!t.empty()) return t;  // the one whitespace after the last token is consumed too
        continue;
      }
      t += char(c);
    }
  };
  const std::string magic = token();
  p.width = std::atoi(token().c_str());
  p.height = std::atoi(token().c_str());
  const int maxval = magic == "P4" ? 1 : std::atoi(token().c_str());
  if (!in || p.width <= 0 || p.height <= 0) return Pixels{};
  p.channels = magic == "P6" ? 3 : 1;
  const size_t n = size_t(p.width) * size_t(p.height) * size_t(p.channels);
  p.data.resize(n);
  if (magic == "P4") {
    const size_t row = (size_t(p.width) + 7) / 8;
    std::vector<unsigned char> bits(row);
    for (int y = 0; y < p.height; ++y) {
      in.read(reinterpret_cast<char*>(bits.data()), std::streamsize(row));
      for (int x = 0; x < p.width; ++x) p.data[size_t(y) * p.width + x] = (bits[x / 8] >> (7 - x % 8)) & 1 ? 0 : 255;
    }
  } else if (maxval > 255) {
    std::vector<unsigned char> raw(2 * n);
    in.read(reinterpret_cast<char*>(raw.data()), std::streamsize(raw.size()));
    for (size_t i = 0; i < n; ++i) p.data[i] = raw[2 * i];  // big-endian: the high byte first
  } else {
    in.read(reinterpret_cast<char*>(p.data.data()), std::streamsize(n));
  }
  if (!in) return Pixels{};
  return p;
}

Pixels ReadPng(const std::string& file) {
  Pixels p;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, file.c_str())) return p;
  const bool colour = image.format & PNG_FORMAT_FLAG_COLOR;
  image.format = colour ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY;
  p.width = int(image.width), p.height = int(image.height), p.channels = colour ? 3 : 1;
  p.data.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, p.data.data(), 0, nullptr)) return Pixels{};
  return p;
}

int TiffPages(const std::string& file) {
  TIFF* t = TIFFOpen(file.c_str(), "r");
  if (!t) return 0;
  int n = 0;
  do ++n;
  while (TIFFReadDirectory(t));
  TIFFClose(t);
  return n;
}

Pixels ReadTiffPage(const std::string& file, int page) {
  Pixels p;
  TIFF* t = TIFFOpen(file.c_str(), "r");
  if (!t) return p;
  if (TIFFSetDirectory(t, tdir_t(page))) {
    uint32_t w = 0, h = 0;
    uint16_t spp = 1, bps = 8, photometric = PHOTOMETRIC_MINISBLACK;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric);
    std::vector<uint32_t> rgba(size_t(w) * h);
    if (TIFFReadRGBAImageOriented(t, w, h, rgba.data(), ORIENTATION_TOPLEFT, 0)) {
      p.width = int(w), p.height = int(h), p.channels = spp >= 3 ? 3 : 1;
      for (uint32_t px : rgba) {
        if (p.channels == 1) {
          p.data.push_back(static_cast<unsigned char>(TIFFGetR(px)));
        } else {
          p.data.push_back(static_cast<unsigned char>(TIFFGetR(px)));
          p.data.push_back(static_cast<unsigned char>(TIFFGetG(px)));
          p.data.push_back(static_cast<unsigned char>(TIFFGetB(px)));
        }
      }
    }
  }
  TIFFClose(t);
  return p;
}

std::string FirstDifference(const Pixels& a, const Pixels& b) {
  std::ostringstream out;
  if (a.width != b.width || a.height != b.height || a.channels != b.channels) {
    out << a.width << " x " << a.height << " x " << a.channels << " against " << b.width << " x " << b.height << " x " << b.channels;
    return out.str();
  }
  for (size_t i = 0; i < a.data.size(); ++i)
    if (a.data[i] != b.data[i]) {
      const size_t px = i / size_t(a.channels);
      out << "pixel (" << px % size_t(a.width) << ", " << px / size_t(a.width) << ") channel " << i % size_t(a.channels)
          << ": " << int(a.data[i]) << " against " << int(b.data[i]);
      return out.str();
    }
  return "";
}

}  // namespace korven::test
