// End-to-end scanning with TScanner against the virtual scanner, next to the virtual scanner's own
// rendering rate for the same pages measured in the same run.
//
// BM_ExecuteTenPageFeederBatch: one iteration is Execute on an active component that scans a
// ten-page feeder batch (A4, 300 dpi, 24-bit colour: 2480 x 3508, 26 MB a page) through the
// manager, the native transfer, the DIB-to-bitmap conversion and OnAfterScan; the same iteration
// also has the source render ten such pages straight through DS_Entry (enable, transfer, end,
// disable). Counters: "pages/s" of Execute, "render_pages/s" of the source alone, and
// "execute/render", the share of the source's own rate that the component keeps (1.0: the
// component costs nothing beyond rendering).
// BM_ActivateDeactivate: SetActive(true) then SetActive(false): loading the manager, opening the
// source, reading its limits and taking its settings, and unloading again. Its goal is absolute
// (0.1 ms): x_goal is the time as a multiple of it (<= 1 meets it).
#include "direct_source.h"

#include "memcpy_reference.h"

#include <benchmark/benchmark.h>
#include <korven/Scanner.h>
#include <korven/platform.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace {

namespace fs = std::filesystem;
using Clock = korven::bench::ThreadClock;

constexpr int kPages = 10;

// A Windows directory of its own with the built manager and a virtual scanner loaded with ten pages.
class BenchWindowsDir {
 public:
  BenchWindowsDir() {
    char pattern[] = "/tmp/korven-bench-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    fs::path build = KORVEN_BUILD_WINDOWS_DIR;
    fs::create_directories(dir_ / "twain_32");
    fs::copy_file(build / "TWAIN_32.DLL", dir_ / "TWAIN_32.DLL");
    fs::copy_file(build / "twain_32" / "virtual.ds", dir_ / "twain_32" / "virtual.ds");
    std::ofstream(dir_ / "twain_32" / "virtual.ini") << "ProductName = Bench Scanner\nPagesLoaded = "
                                                       << kPages << "\n";
    korven::platform::SetWindowsDirectory(dir_.string());
    korven::platform::SetProfilePath((dir_ / "win.ini").string());
  }
  ~BenchWindowsDir() {
    korven::platform::SetWindowsDirectory("");
    korven::platform::SetProfilePath("");
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  fs::path Source() const { return dir_ / "twain_32" / "virtual.ds"; }

 private:
  fs::path dir_;
};

// A component set up for the batch: the component's settings pushed, feeder on, several images.
void SetUpForBatch(korven::TScanner& s, int& pages, int64_t& bytes) {
  s.SetShowUI(false);
  s.SetUseCurrentValue(false);
  s.SetMultiTransfer(true);
  s.SetFeederEnabled(true);
  s.SetPixelType(korven::ptRGB);
  s.GetResolution()->SetValue(300);
  s.SetPaperSize(korven::psA4);
  s.SetOnAfterScan([&pages, &bytes](vcl::TObject*, vcl::TBitmap* bitmap, bool& cancel) {
    bytes += int64_t(bitmap->BytesPerScanLine()) * bitmap->GetHeight();
    // The batch ends with its last page rather than with the source's close request.
    if (++pages == kPages) cancel = true;
  });
}

void BM_ExecuteTenPageFeederBatch(benchmark::State& state) {
  BenchWindowsDir windows;
  int pages = 0;
  int64_t bytes = 0, rawBytes = 0;
  korven::TScanner scanner(nullptr);
  SetUpForBatch(scanner, pages, bytes);
  scanner.SetActive(true);
  // The same pages straight from the source: A4 at 300 dpi in colour, one enable per page.
  korven::bench::DirectSource raw(windows.Source().string(), TWPT_RGB);

  // One batch each before timing, as a program's second batch: the first pays for its fresh pages once.
  pages = 0;
  scanner.Execute();
  for (int i = 0; i < kPages; ++i) GlobalFree(raw.Scan());
  bytes = 0;

  double executeSeconds = 0, renderSeconds = 0;
  for (auto _ : state) {
    pages = 0;
    auto t0 = Clock::now();
    bool ok = scanner.Execute();
    auto t1 = Clock::now();
    for (int i = 0; i < kPages; ++i) {
      HGLOBAL dib = raw.Scan();
      rawBytes += int64_t(GlobalSize(dib));
      GlobalFree(dib);
    }
    auto t2 = Clock::now();
    if (!ok || pages != kPages) {
      state.SkipWithError("the batch did not deliver ten pages");
      break;
    }
    executeSeconds += std::chrono::duration<double>(t1 - t0).count();
    renderSeconds += std::chrono::duration<double>(t2 - t1).count();
  }
  const double total = double(kPages) * state.iterations();
  state.counters["pages/s"] = total / executeSeconds;
  state.counters["render_pages/s"] = total / renderSeconds;
  state.counters["execute/render"] = renderSeconds / executeSeconds;
  // Pixel bytes per page of both paths, to show that they are the same pages (the DIB adds its header).
  state.counters["page_MB"] = double(bytes) / total / 1e6;
  state.counters["dib_MB"] = double(rawBytes) / total / 1e6;
}
BENCHMARK(BM_ExecuteTenPageFeederBatch)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_ActivateDeactivate(benchmark::State& state) {
  BenchWindowsDir windows;
  korven::TScanner scanner(nullptr);
  scanner.SetShowUI(false);
  auto t0 = Clock::now();
  for (auto _ : state) {
    scanner.SetActive(true);
    scanner.SetActive(false);
  }
  double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count() / double(state.iterations());
  state.counters["ms"] = ms;
  state.counters["x_goal"] = ms / 0.1;
}
BENCHMARK(BM_ActivateDeactivate)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
