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
// source, reading its limits and taking its settings, and unloading again.
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
using Clock = std::chrono::steady_clock;

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

// The same pages straight from the source: A4 at 300 dpi in colour, one enable per page.
class RawSource {
 public:
  explicit RawSource(const fs::path& ds) {
    module_ = LoadLibraryA(ds.string().c_str());
    if (!module_) throw std::runtime_error("cannot load " + ds.string());
    entry_ = reinterpret_cast<DSENTRYPROC>(reinterpret_cast<void (*)()>(GetProcAddress(module_, "DS_Entry")));
    app_.Id = 4712;
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "KorvenBenchExecute";
    RegisterClassA(&wc);
    parent_ = CreateWindowExA(0, "KorvenBenchExecute", "bench", 0, 0, 0, 10, 10, 0, 0, 0, nullptr);
    TW_IDENTITY source{};
    Check(Call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source), TWRC_SUCCESS, "MSG_OPENDS");
    SetOne(ICAP_UNITS, TWTY_UINT16, TWUN_CENTIMETERS);
    TW_UINT32 item = 300u;  // TW_FIX32 {Whole 300, Frac 0}
    SetOne(ICAP_XRESOLUTION, TWTY_FIX32, item);
    SetOne(ICAP_YRESOLUTION, TWTY_FIX32, item);
    TW_IMAGELAYOUT layout{};
    layout.Frame.Right = korven::SingleToFix32(21.0f);
    layout.Frame.Bottom = korven::SingleToFix32(29.7f);
    Check(Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS, "DAT_IMAGELAYOUT");
  }
  ~RawSource() {
    Call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, nullptr);
    DestroyWindow(parent_);
    FreeLibrary(module_);
  }
  // The DIB's size in bytes.
  size_t Page() {
    TW_USERINTERFACE ui{0, 0, parent_};
    Check(Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS, "MSG_ENABLEDS");
    MSG msg{};
    if (!PeekMessageA(&msg, 0, 0, 0, PM_REMOVE)) throw std::runtime_error("no announcement");
    TW_EVENT event{&msg, MSG_NULL};
    Check(Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_DSEVENT, "MSG_PROCESSEVENT");
    TW_HANDLE dib = 0;
    Check(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE, "DAT_IMAGENATIVEXFER");
    TW_PENDINGXFERS pending{};
    Check(Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS, "MSG_ENDXFER");
    Check(Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS, "MSG_DISABLEDS");
    size_t size = GlobalSize(dib);
    GlobalFree(dib);
    return size;
  }

 private:
  TW_UINT16 Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) { return entry_(&app_, dg, dat, msg, data); }
  static void Check(TW_UINT16 rc, TW_UINT16 want, const char* what) {
    if (rc != want) throw std::runtime_error(std::string(what) + " answered " + std::to_string(rc));
  }
  void SetOne(TW_UINT16 cap, TW_UINT16 type, TW_UINT32 item) {
    HGLOBAL h = GlobalAlloc(GHND, sizeof(TW_ONEVALUE));
    auto* one = static_cast<TW_ONEVALUE*>(GlobalLock(h));
    one->ItemType = type;
    one->Item = item;
    GlobalUnlock(h);
    TW_CAPABILITY c{cap, TWON_ONEVALUE, h};
    TW_UINT16 rc = Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &c);
    GlobalFree(h);
    Check(rc, TWRC_SUCCESS, "MSG_SET");
  }

  HMODULE module_ = 0;
  DSENTRYPROC entry_ = nullptr;
  HWND parent_ = 0;
  TW_IDENTITY app_{};
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
  RawSource raw(windows.Source());

  double executeSeconds = 0, renderSeconds = 0;
  for (auto _ : state) {
    pages = 0;
    auto t0 = Clock::now();
    bool ok = scanner.Execute();
    auto t1 = Clock::now();
    for (int i = 0; i < kPages; ++i) rawBytes += int64_t(raw.Page());
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
BENCHMARK(BM_ExecuteTenPageFeederBatch)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ActivateDeactivate(benchmark::State& state) {
  BenchWindowsDir windows;
  korven::TScanner scanner(nullptr);
  scanner.SetShowUI(false);
  for (auto _ : state) {
    scanner.SetActive(true);
    scanner.SetActive(false);
  }
}
BENCHMARK(BM_ActivateDeactivate)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
